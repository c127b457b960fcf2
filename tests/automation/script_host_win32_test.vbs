' A script host's view of the registered control: created by its ProgID,
' it opens COM3 (a simulated card's pty, at 57600 bit/s, written as it is:
' the script passes a Long), reads the card's property text through
' QKGetProperty into a script variable, then reaches the same card over TCP
' at its port as written (an ephemeral port, above 32767). Prints one line
' per check; any failure ends the script with exit code 1.
Option Explicit

Dim failures
failures = 0

Sub Check(ok, what)
    If ok Then
        WScript.Echo "ok   " & what
    Else
        WScript.Echo "FAIL " & what
        failures = failures + 1
    End If
End Sub

Function IsPropertyText(text)
    Dim re
    Set re = New RegExp
    re.Pattern = "^([0-9A-F]{2})+$"
    IsPropertyText = re.Test(text)
End Function

Dim ctrl, text, port, shell
Set ctrl = CreateObject("PALVEX.PalvexCtrl.1")
Check IsObject(ctrl), "CreateObject(""PALVEX.PalvexCtrl.1"")"

' Serial: a variable passed for the string is VT_BYREF|VT_VARIANT.
Check ctrl.ComInitial(3, 57600, 2000), "ComInitial 3, 57600, 2000"
Check ctrl.SetLedProperty(1, 256, 64), "SetLedProperty 1, 256, 64"
text = Empty
Check ctrl.QKGetProperty(text), "QKGetProperty over COM3"
Check VarType(text) = vbString, "the property text is a string (" & TypeName(text) & ")"
Check IsPropertyText(text), "the property text is hex digits: " & text
Dim serialText
serialText = text
ctrl.QKClose

' A number that does not fit a short is refused, not cut; a Double is
' rounded as Automation rounds.
Check ctrl.SetLedProperty(1, 255.6, 64.4), "SetLedProperty 1, 255.6, 64.4"
Check ctrl.GetSendStepNum() = 64, "the height came as 64"
Dim refused
On Error Resume Next
ctrl.SetBrightness 70000
refused = (Err.Number <> 0)
Err.Clear
On Error GoTo 0
Check refused, "SetBrightness 70000 is refused (overflow)"

' TCP: the card's loopback port as it is, 127.0.0.1 as its decimal value.
Set shell = CreateObject("WScript.Shell")
port = CLng(shell.Environment("PROCESS")("PALVEX_TEST_TCP_PORT"))
Check ctrl.NetInitial(0, 2130706433, port, 2000), "NetInitial 0, 2130706433, " & port & ", 2000"
Check ctrl.SetLedProperty(1, 256, 64), "SetLedProperty 1, 256, 64"
text = Empty
Check ctrl.QKGetProperty(text), "QKGetProperty over TCP"
Check text = serialText, "the same card answers over TCP: " & text
ctrl.QKClose

If failures > 0 Then WScript.Quit 1
WScript.Echo "all checks passed"
