// A C# host of the Palvex control, late-bound through its ProgID and
// `dynamic`: it opens a serial port, sets the screen, reads the card's
// property text and closes the port.
//
//   csc PalvexExample.cs     (.NET Framework; or in a .NET 6+ project with
//                             <UseWindowsForms> off, any console project)
//   PalvexExample.exe [COM port number, default 3]
//
// A 64-bit process uses the 64-bit Palvex.ocx, a 32-bit one (x86, or
// "Prefer 32-bit") the 32-bit module; the installer registers both.
using System;
using System.Runtime.InteropServices;

static class PalvexExample
{
    // The control is apartment-threaded: Main runs in a single-threaded
    // apartment.
    [STAThread]
    static int Main(string[] args)
    {
        short port = args.Length > 0 ? short.Parse(args[0]) : (short)3;

        Type type = Type.GetTypeFromProgID("PALVEX.PalvexCtrl.1");
        if (type == null)
        {
            Console.Error.WriteLine("the control is not registered");
            return 2;
        }
        dynamic ctrl = Activator.CreateInstance(type);
        try
        {
            // ComInitial(ComPort, BaudRate, WaitTime in ms): true when the
            // port opened.
            if (!ctrl.ComInitial(port, (short)9600, (short)1000))
            {
                Console.Error.WriteLine("COM{0} could not be opened", port);
                return 1;
            }
            // SetLedProperty(LedNum, LedWidth, LedHeight): screen 1,
            // 256 x 64 dots.
            ctrl.SetLedProperty((short)1, (short)256, (short)64);

            // QKGetProperty(ref string): the control replaces the string
            // with the card's property text, in hex digits.
            string text = "";
            bool answered = ctrl.QKGetProperty(ref text);
            ctrl.QKClose();
            if (!answered)
            {
                Console.Error.WriteLine("COM{0}: the card did not answer", port);
                return 1;
            }
            Console.WriteLine("card: " + text);
            return 0;
        }
        finally
        {
            Marshal.FinalReleaseComObject(ctrl);
        }
    }
}
