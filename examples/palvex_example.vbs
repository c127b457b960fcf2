' A VBScript host of the Palvex control: it opens a serial port, sets the
' screen, reads the card's property text and closes the port.
'
'   cscript //nologo palvex_example.vbs [COM port number, default 3]
'
' On 64-bit Windows, C:\Windows\System32\cscript.exe runs the script with the
' 64-bit Palvex.ocx and C:\Windows\SysWOW64\cscript.exe with the 32-bit one;
' the installer registers both. Exit code 0 when the card answered.
Option Explicit

Dim port, ctrl, text
port = 3
If WScript.Arguments.Count > 0 Then port = CInt(WScript.Arguments(0))

' The control by its ProgID.
Set ctrl = CreateObject("PALVEX.PalvexCtrl.1")

' ComInitial(ComPort, BaudRate, WaitTime in ms): True when the port opened.
If Not ctrl.ComInitial(port, 9600, 1000) Then
    WScript.Echo "COM" & port & " could not be opened"
    WScript.Quit 1
End If

' SetLedProperty(LedNum, LedWidth, LedHeight): screen 1, 256 x 64 dots.
ctrl.SetLedProperty 1, 256, 64

' QKGetProperty(bStr): the control puts the card's property text (hex
' digits) into the variable passed to it.
text = ""
If ctrl.QKGetProperty(text) Then
    WScript.Echo "card: " & text
Else
    WScript.Echo "COM" & port & ": the card did not answer"
End If

ctrl.QKClose
If text = "" Then WScript.Quit 1
