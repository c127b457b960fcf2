#include "tool/control_site.h"

#include "tool/console/terminal.h"

#include <ostream>
#include <string>

namespace dravel {

namespace {

// A program of this build tree (the tool or its tests) may fall back on the
// module built beside it; an installed program never looks there.
palvex::host::HostOptions Options() {
#if defined(PALVEX_BUILD_DIR) && defined(PALVEX_BUILD_TREE_MODULE)
    return {PALVEX_BUILD_DIR, PALVEX_BUILD_TREE_MODULE};
#else
    return {};
#endif
}

std::string& LastModuleDescription() {
    static std::string text = "no control module loaded";
    return text;
}

} // namespace

std::unique_ptr<IHostedControl> CreateLinkControl() {
    std::string error;
    auto control = palvex::host::CreateHostedControl(Options(), error);
    if (control == nullptr) {
        // A command then fails at its first call; the dialogs do not open
        // (CDravelApp::FirstControl).
        ConsoleErr() << "dravel: " << error << '\n';
        return nullptr;
    }
    LastModuleDescription() =
        "control module " + control->ModulePath() + " (" + control->ModuleSource() + ")";
    return control;
}

std::string DescribeControlModule() {
    return LastModuleDescription();
}

} // namespace dravel
