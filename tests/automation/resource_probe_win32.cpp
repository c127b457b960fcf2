// A module that holds the control module's resources and no code of its own,
// for the resource tests until they read the control module itself.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
