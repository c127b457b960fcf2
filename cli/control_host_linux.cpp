// palvex's host on Linux: the control module found and loaded by the
// host-side loader (control/host).
#include "cli/control_host.h"

#include "cli/module_commands_linux.h"
#include "control/host/palvex_loader.h"

#include <cstdlib>

namespace palvex::cli {
namespace {

// Where palvex looks for the module. A palvex run from its build tree also
// tries the module built beside it, which is not installed anywhere yet.
LoaderOptions ProgramLoaderOptions() {
#if defined(PALVEX_BUILD_DIR) && defined(PALVEX_BUILD_TREE_MODULE)
    return BuildTreeLoaderOptions(PALVEX_BUILD_DIR, PALVEX_BUILD_TREE_MODULE);
#else
    return {};
#endif
}

class CLoadedControl : public IHostedControl {
  public:
    explicit CLoadedControl(std::unique_ptr<CControlInstance> control)
        : m_control(std::move(control)),
          // Strings the module hands out are freed by the module's own function.
          m_freeString(
              reinterpret_cast<StringFree>(m_control->Module().Symbol("PalvexSysFreeString"))) {}

    IDispatch& Dispatch() const override { return *m_control->Dispatch(); }
    StringFree FreeString() const override { return m_freeString; }
    const std::string& ModulePath() const override { return m_control->Module().Path(); }

  private:
    std::unique_ptr<CControlInstance> m_control;
    StringFree m_freeString;
};

} // namespace

std::vector<std::string> ProgramWords(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void PrepareStandardStreams() {}

void TraceControlToStderr() {
    setenv("PALVEX_TRACE", "1", 1);
}

std::unique_ptr<IHostedControl> CreateHostedControl(bool verbose, std::FILE* err,
                                                    std::string& error) {
    CControlLoader loader(ProgramLoaderOptions());
    auto control = loader.CreateControl(error);
    if (verbose) ReportModule(loader, err);
    if (control == nullptr) return nullptr;
    return std::make_unique<CLoadedControl>(std::move(control));
}

int RunModuleCommandHere(const ModuleCommand& command, std::FILE* out, std::FILE* err) {
    return RunModuleCommand(command, ProgramLoaderOptions(), out, err);
}

} // namespace palvex::cli
