// The module commands on Linux: the module's own entry points, found by the
// host-side loader (control/host).
#include "cli/module_commands_linux.h"

#include "control/automation/palvex_c.h"
#include "control/automation/registry_layout.h"

#include <vector>

namespace palvex::cli {

namespace {

void Report(std::FILE* err, const std::string& text) {
    std::fprintf(err, "palvex: %s\n", text.c_str());
}

int Register(const ModuleCommand& command, const LoaderOptions& options, std::FILE* out,
             std::FILE* err) {
    std::string error;
    std::shared_ptr<CControlModule> module;
    if (!command.modulePath.empty()) {
        module = CControlModule::Load(command.modulePath, error);
    } else {
        // The registration being made replaces whatever is registered now.
        LoaderOptions unregistered = options;
        unregistered.useRegistry = false;
        CControlLoader loader(unregistered);
        module = loader.LoadModule(error);
        if (module != nullptr && command.verbose) ReportModule(loader, err);
    }
    if (module == nullptr) {
        Report(err, error);
        return 3;
    }
    const HRESULT hr = module->RegisterServer();
    if (FAILED(hr)) {
        Report(err, "registering " + module->Path() + " failed: " + HresultMessage(hr));
        return 1;
    }
    std::fprintf(out, "palvex: registered %s as %s %s\n", module->Path().c_str(),
                 layout::kControlProgId, PALVEX_CLSID_TEXT);
    return 0;
}

int Unregister(const CControlModule& module, std::FILE* out, std::FILE* err) {
    const HRESULT hr = module.UnregisterServer();
    if (FAILED(hr)) {
        Report(err, "unregistering failed: " + HresultMessage(hr));
        return 1;
    }
    std::fprintf(out, "palvex: unregistered %s %s\n", layout::kControlProgId, PALVEX_CLSID_TEXT);
    return 0;
}

int TypeLib(const CControlModule& module, std::FILE* out, std::FILE* err) {
    using TextFunction = std::size_t (*)(char*, std::size_t);
    const auto text = reinterpret_cast<TextFunction>(module.Symbol("palvex_typelib_text"));
    if (text == nullptr) {
        Report(err, module.Path() + " has no type library text");
        return 3;
    }
    std::vector<char> buffer(text(nullptr, 0) + 1);
    text(buffer.data(), buffer.size());
    std::fputs(buffer.data(), out);
    return 0;
}

int Draw(const ModuleCommand& command, CControlLoader& loader, std::FILE* out, std::FILE* err) {
    std::string error;
    const auto control = loader.CreateControl(error);
    if (control == nullptr) {
        Report(err, error);
        return 3;
    }
    const auto view = control->Query<IPalvexControl>(IID_IPalvexControl);
    if (!view) {
        Report(err, control->Module().Path() + " draws no picture");
        return 3;
    }
    std::vector<std::uint8_t> rgba(std::size_t{command.width} * command.height * 4, 0);
    const auto w = static_cast<std::int32_t>(command.width);
    const auto h = static_cast<std::int32_t>(command.height);
    // A fresh device context: black pen, white brush.
    const PALVEX_CANVAS canvas{rgba.data(), w, h, w * 4, {0, 0, 0, 255}, {255, 255, 255, 255}};
    const RECTL bounds{0, 0, w, h};
    if (const HRESULT hr = view->Draw(&canvas, &bounds, nullptr); FAILED(hr)) {
        Report(err, "drawing failed: " + HresultMessage(hr));
        return 3;
    }
    return WriteDrawnPicture(command, rgba, out, err);
}

} // namespace

void ReportModule(const CControlLoader& loader, std::FILE* err) {
    if (loader.Module() == nullptr) return;
    std::fprintf(err, "palvex: control module %s (%s)\n", loader.Module()->Path().c_str(),
                 ModuleSourceText(loader.Source()));
}

int RunModuleCommand(const ModuleCommand& command, const LoaderOptions& options, std::FILE* out,
                     std::FILE* err) {
    if (command.kind == ModuleCommand::Register) return Register(command, options, out, err);
    CControlLoader loader(options);
    std::string error;
    const std::shared_ptr<CControlModule> module = loader.LoadModule(error);
    if (module == nullptr) {
        Report(err, error);
        return 3;
    }
    if (command.verbose) ReportModule(loader, err);
    switch (command.kind) {
    case ModuleCommand::Unregister:
        return Unregister(*module, out, err);
    case ModuleCommand::TypeLib:
        return TypeLib(*module, out, err);
    case ModuleCommand::Draw:
        return Draw(command, loader, out, err);
    default:
        return 2;
    }
}

} // namespace palvex::cli
