#include "tool/console/console_run.h"

#include "control/palvex_facts.h"
#include "tool/console/terminal.h"
#include "tool/dialog_exchange.h"
#include "tool/dravel_dlg.h"
#include "tool/force_setup_dlg.h"
#include "tool/memory_view.h"
#include "tool/password_dlg.h"
#include "tool/resources/console_texts.h"
#include "tool/resources/dravel_texts.h"
#include "tool/resources/resource_ids.h"
#include "tool/settings_key.h"
#include "tool/simulation_run.h"

#include "palvex_version.h"

#include <cstdio>
#include <istream>
#include <ostream>

namespace dravel {

namespace {

enum ExitStatus { kExitDone = 0, kExitFailed = 1 };

std::string SizeItem(int size) {
    char item[16];
    std::snprintf(item, sizeof item, text::kSizeItemFormat, size);
    return item;
}

bool PassWarningGate(const CommandLine& line, ConsoleIo& io) {
    io.err << text::kWarningMessage << '\n';
    if (line.yes || !io.interactive) return true;
    io.err << text::kEnterPrompt << std::flush;
    std::string answer;
    if (!std::getline(io.in, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "进入";
}

void PrintMessages(CMemoryView& view, ConsoleIo& io) {
    view.m_onMessage = [&io](const CMemoryView::Message& m) { io.out << m.text << '\n'; };
}

// The found card's settings as the dialog now shows them.
void PrintSettings(const CDravelDlg& dlg, ConsoleIo& io) {
    io.out << "width=" << dlg.m_nWidth << " height=" << dlg.m_nHeight
           << " module=" << (dlg.m_nColor == 0 ? "8x8" : "8x4")
           << " wiring=" << WiringNames(dlg.m_nFlags) << '\n';
}

// Puts the requested changes into the main dialog's controls, as a user
// would pick them, before "配置" reads them.
void ApplyChanges(const CommandLine& line, CMemoryView& view) {
    if (line.width)
        view.SetListSelection(IDC_WIDTH, FindListPrefix(view, IDC_WIDTH, SizeItem(*line.width)));
    if (line.height)
        view.SetListSelection(IDC_HEIGHT, FindListPrefix(view, IDC_HEIGHT, SizeItem(*line.height)));
    if (line.module) {
        view.SetChecked(IDC_MODULE_8X8, *line.module == 0);
        view.SetChecked(IDC_MODULE_8X4, *line.module == 1);
    }
    if (line.wiring) {
        const int ids[] = {IDC_LEFT_TO_RIGHT,    IDC_BLANK_INVERT,    IDC_DATA_INVERT,
                           IDC_EVEN_COL_REVERSE, IDC_ODD_COL_REVERSE, IDC_ROW8_REVERSE,
                           IDC_ROW_SWAP};
        for (int i = 0; i < 7; ++i)
            view.SetChecked(ids[i], ((*line.wiring >> (7 - i)) & 1) != 0);
    }
}

int RunSearch(const CommandLine& line, ConsoleIo& io, const ControlFactory& makeControl) {
    CMemoryView view;
    view.m_onWarning = [&] { return PassWarningGate(line, io); };
    PrintMessages(view, io);
    CDravelDlg dlg(view, makeControl());
    if (line.verbose) io.err << "dravel: " << DescribeControlModule() << '\n';
    dlg.OnInitDialog();
    dlg.OnTimer(); // the first tick runs the warning gate
    if (view.m_bCloseRequested) return kExitFailed;

    std::string status;
    view.m_onText = [&status](int id, const std::string& text) {
        if (id == IDC_STATUS) status = text;
    };
    if (line.screen) view.SetListSelection(IDC_SCREEN, *line.screen);
    dlg.OnSearch();
    while (dlg.IsSearching()) {
        if (line.verbose)
            io.out << text::kProbeLinePrefix << static_cast<int>(dlg.m_nPort) << ' ' << dlg.m_nBaud
                   << '\n'
                   << std::flush;
        dlg.OnTimer();
        // Why the port is passed over: the control's own reason.
        if (line.verbose && !dlg.ProbeFailure().empty())
            io.out << text::kProbeFailurePrefix << dlg.ProbeFailure() << '\n' << std::flush;
    }
    io.out << StatusLine(status) << '\n';
    if (!dlg.CardFound()) return kExitFailed;
    if (line.verbose) PrintSettings(dlg, io);
    if (line.command != Command::Configure) return kExitDone;

    ApplyChanges(line, view);
    return dlg.OnConfigure() ? kExitDone : kExitFailed;
}

// The remembered values, as stored, one "Name=value" line each.
int RunSettings(ConsoleIo& io) {
    palvex::reg::CRegKey key;
    if (key.Open(palvex::reg::Root::CurrentUser, text::kSettingsKeyPath) != palvex::reg::kSuccess)
        return kExitDone; // nothing remembered yet
    for (const char* name : {kValueNumber, kValueCommPort, kValueBaudRate, kValueWidth,
                             kValueHeight, kValueColor, kValueVersion}) {
        std::string value;
        if (key.QueryStringValue(name, value) == palvex::reg::kSuccess)
            io.out << name << '=' << value << '\n';
    }
    return kExitDone;
}

bool AskPassword(const CommandLine& line, ConsoleIo& io) {
    CMemoryView view;
    CPasswordDlg dlg(view);
    dlg.OnInitDialog();
    std::string entry;
    if (line.password) {
        entry = *line.password;
    } else {
        io.err << text::kPasswordPrompt << std::flush;
        {
            CEchoOff quiet(io.hideInput);
            if (!std::getline(io.in, entry)) entry.clear();
        }
        if (io.hideInput) io.err << '\n';
    }
    view.SetItemText(IDC_PASSWORD, entry);
    dlg.OnOK();
    return view.m_nEndResult == IDOK;
}

int RunForce(const CommandLine& line, ConsoleIo& io, const ControlFactory& makeControl) {
    if (!PassWarningGate(line, io)) return kExitFailed;
    // A wrong password ends the command as silently as the dialog closes.
    if (!AskPassword(line, io)) return kExitFailed;

    CMemoryView view;
    PrintMessages(view, io);
    CForceSetupDlg dlg(view, makeControl());
    dlg.OnInitDialog();
    if (line.port) view.SetListSelection(IDC_FORCE_PORT, *line.port - 1);
    if (line.baud) {
        char item[16];
        std::snprintf(item, sizeof item, text::kForceBaudFormat, *line.baud);
        view.SetListSelection(IDC_FORCE_BAUD, FindListPrefix(view, IDC_FORCE_BAUD, item));
    }
    if (line.screenText) view.SetItemText(IDC_FORCE_NUMBER, *line.screenText);
    return dlg.OnOK() ? kExitDone : kExitFailed;
}

} // namespace

std::string StatusLine(const std::string& status) {
    std::string line;
    for (char c : status) {
        if (c != '\n')
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

int SimulatedCardNumber(const CommandLine& line) {
    int number = -1;
    if (line.screen) {
        number = *line.screen;
    } else if (line.screenText) {
        number = DecimalValue(*line.screenText);
    } else {
        CSettingsKey key;
        key.OpenKey(kProductKey);
        number = key.ReadInt(kValueNumber, 0);
    }
    return number >= 0 && number <= palvex::card::kMaxLedNum ? number : 0;
}

int RunConsoleCommand(const CommandLine& line, ConsoleIo io, const ControlFactory& makeControl) {
    if (line.command == Command::Help || line.command == Command::Dialog) {
        io.out << text::kUsage;
        return kExitDone;
    }
    if (line.command == Command::Version) {
        io.out << "dravel " PALVEX_VERSION_TEXT "\n";
        return kExitDone;
    }
    if (line.command == Command::Settings) return RunSettings(io);
    std::shared_ptr<void> simulated;
    if (!ServeRequestedSimulation(line, io.err, simulated)) return kExitFailed;
    if (line.command == Command::Force) return RunForce(line, io, makeControl);
    return RunSearch(line, io, makeControl);
}

} // namespace dravel
