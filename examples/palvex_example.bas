Attribute VB_Name = "PalvexExample"
' A VBA host of the Palvex control (Excel, Access, Word): import this module
' (Visual Basic editor: File > Import File) and run ReadCardProperty. It
' opens a serial port, sets the screen, reads the card's property text and
' closes the port.
'
' Late-bound (CreateObject), so no reference is needed. With the reference
' "PALVEXLib" (Tools > References) the control can be declared instead:
' Dim ctrl As New PALVEXLib.Palvex. 32-bit Office uses the 32-bit
' Palvex.ocx, 64-bit Office the 64-bit one; the installer registers both.
Option Explicit

Public Sub ReadCardProperty()
    Const ComPort As Integer = 3

    Dim ctrl As Object
    Set ctrl = CreateObject("PALVEX.PalvexCtrl.1")

    ' ComInitial(ComPort, BaudRate, WaitTime in ms): True when the port opened.
    If Not ctrl.ComInitial(ComPort, 9600, 1000) Then
        MsgBox "COM" & ComPort & " could not be opened", vbExclamation
        Exit Sub
    End If

    ' SetLedProperty(LedNum, LedWidth, LedHeight): screen 1, 256 x 64 dots.
    ctrl.SetLedProperty 1, 256, 64

    ' QKGetProperty(bStr): the control replaces the string in the variable
    ' passed to it (ByRef) with the card's property text, in hex digits.
    Dim text As String
    If ctrl.QKGetProperty(text) Then
        Debug.Print "card: " & text
        MsgBox "card: " & text, vbInformation
    Else
        MsgBox "COM" & ComPort & ": the card did not answer", vbExclamation
    End If

    ctrl.QKClose
    Set ctrl = Nothing
End Sub
