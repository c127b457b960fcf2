// Driving the tool's dialogs from a test without a user: messages posted to
// them, their texts read back, a script of steps that runs inside whatever
// modal loop is current, and pictures of the windows. Only the .cpp includes
// the system's headers, so the tests can include the dialog logic beside it.
#pragma once

#include "tool/win32/dialog_window_win32.h"

#include <functional>
#include <string>
#include <vector>

namespace tooltest {

using dravel::win32::WindowHandle;

void PostClick(WindowHandle dialog, int id);
// The button pressed as a mouse presses it: a check box or radio button
// changes its state, then the dialog hears of the click.
void PressButton(WindowHandle dialog, int id);
void PostRightDoubleClick(WindowHandle dialog);
// A key pressed in the dialog (in its control that has the focus, if any):
// the dialog manager's keyboard handling (Enter, Escape) then acts on it.
void PostKey(WindowHandle dialog, unsigned virtualKey);
std::string DialogItemText(WindowHandle dialog, int id);
void SetDialogItemText(WindowHandle dialog, int id, const std::string& text);
std::string Caption(WindowHandle window);
// The window's class name ("Button", "#32770").
std::string WindowClass(WindowHandle window);
// UTF-8 of a system text; "" when it is not valid UTF-16.
std::string Utf8(const std::wstring& wide);
bool HasItem(WindowHandle dialog, int id);
// The texts of a message box's static controls, joined.
std::string MessageBoxText(WindowHandle box);

// The dialog that takes input now: the thread's visible, enabled dialog
// window (a modal dialog disables its owner); null when there is none.
WindowHandle ActiveDialog();

// The same for another process (a program the test started): its visible,
// enabled dialog window, null when it has none.
WindowHandle ActiveDialogOfProcess(unsigned long processId);

// How many dialogs another process has, shown or not.
std::size_t DialogCountOfProcess(unsigned long processId);

// A program the test starts, ended when the object goes if it still runs.
// With noStandardHandles it gets none (null), as cmd.exe starts a windowed
// program.
class CStartedProgram {
  public:
    bool Start(const std::wstring& path, const std::wstring& words = L"",
               bool noStandardHandles = false);
    ~CStartedProgram();
    unsigned long Id() const { return m_nId; }
    // The exit status once it has ended within `ms`; -1 while it runs.
    long WaitForExit(unsigned ms) const;

  private:
    void* m_hProcess = nullptr;
    unsigned long m_nId = 0;
};

// The path an environment variable names ("" when unset), for the system.
std::wstring PathFromEnvironment(const char* name);

// Which of the tool's dialogs `d` is; a message box is none of the four.
bool IsWarning(WindowHandle d);
bool IsMain(WindowHandle d);
bool IsPassword(WindowHandle d);
bool IsForceSetup(WindowHandle d);
bool IsMessage(WindowHandle d);

// A step of a script: when the active dialog is the one `isIt` knows, `act`
// on it.
std::function<bool()> When(std::function<bool(WindowHandle)> isIt,
                           std::function<void(WindowHandle)> act);

// Removes the tool's settings from the registry of the test's prefix.
void ClearToolSettings();
// A value of the tool's settings as a number; -1 when there is none.
int StoredSetting(const char* name);

// Saves a picture of the window (its painted surface copied into a 32 bpp
// DIB) as <DRAVEL_PICTURE_DIR>/<name>.png and prints where, with the
// picture's size and the display's dots per inch; false when it could not.
bool SavePicture(WindowHandle window, const std::string& name);

// Steps that run one after another on a 20 ms thread timer, inside whatever
// modal loop runs. A step returns true when it is done; the script then goes
// on with the next. When the time is up, every dialog of the thread is ended
// so a failing test cannot hang.
class CDialogScript {
  public:
    explicit CDialogScript(unsigned timeoutMs) : m_nTimeoutMs(timeoutMs) {}
    CDialogScript& Then(std::function<bool()> step) {
        m_steps.push_back(std::move(step));
        return *this;
    }
    // Runs `modal` (which returns when its dialog has closed) with the
    // script ticking; true when every step was done in time.
    bool Run(const std::function<void()>& modal);
    // The step that was running when the time ran out.
    std::size_t StepsDone() const { return m_nNext; }

    void Tick(); // for the timer

  private:
    std::vector<std::function<bool()>> m_steps;
    std::size_t m_nNext = 0;
    unsigned m_nTimeoutMs;
    unsigned long long m_nStart = 0;
    bool m_bTimedOut = false;
};

} // namespace tooltest
