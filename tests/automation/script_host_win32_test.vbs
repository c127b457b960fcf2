' A script host's view of the registered control: created by its ProgID,
' it opens COM3 (a simulated card's pty, at 9600 bit/s: Wine sets a pty's
' speed through the classic termios constants, which have no 14400 or
' 28800), reads the card's property text through QKGetProperty into a
' script variable, then reaches the same card over TCP. Prints one line per
' check; any failure ends the script with exit code 1.
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
Check ctrl.ComInitial(3, 9600, 2000), "ComInitial 3, 9600, 2000"
Check ctrl.SetLedProperty(1, 256, 64), "SetLedProperty 1, 256, 64"
text = Empty
Check ctrl.QKGetProperty(text), "QKGetProperty over COM3"
Check VarType(text) = vbString, "the property text is a string (" & TypeName(text) & ")"
Check IsPropertyText(text), "the property text is hex digits: " & text
Dim serialText
serialText = text
ctrl.QKClose

' A number that does not fit a short is refused, not cut.
Dim refused
On Error Resume Next
ctrl.SetBrightness 70000
refused = (Err.Number <> 0)
Err.Clear
On Error GoTo 0
Check refused, "SetBrightness 70000 is refused (overflow)"

' TCP: the card's loopback port, as the short the method takes.
Set shell = CreateObject("WScript.Shell")
port = CLng(shell.Environment("PROCESS")("PALVEX_TEST_TCP_PORT"))
If port > 32767 Then port = port - 65536
Check ctrl.NetInitial(0, &H7F000001, CInt(port), 2000), "NetInitial 127.0.0.1"
Check ctrl.SetLedProperty(1, 256, 64), "SetLedProperty 1, 256, 64"
text = Empty
Check ctrl.QKGetProperty(text), "QKGetProperty over TCP"
Check text = serialText, "the same card answers over TCP: " & text
ctrl.QKClose

If failures > 0 Then WScript.Quit 1
WScript.Echo "all checks passed"
