// The control made on Linux: the module found by class identifier and loaded
// by the host-side loader (palvex_loader.h), its strings freed by the
// module's own PalvexSysFreeString.
#include "control/host/hosted_control.h"

#include "control/host/palvex_loader.h"

namespace palvex::host {

namespace {

LoaderOptions OptionsOf(const HostOptions& options) {
    if (options.buildTreeModule.empty()) return {};
    return BuildTreeLoaderOptions(options.buildDir, options.buildTreeModule);
}

} // namespace

std::unique_ptr<IHostedControl> CreateHostedControl(const HostOptions& options,
                                                    std::string& error) {
    // One per process: the module is loaded when the first control is made
    // and stays while any control lives.
    static CControlLoader loader(OptionsOf(options));
    std::shared_ptr<CControlModule> module = loader.LoadModule(error);
    if (module == nullptr) return nullptr;
    std::shared_ptr<CControlInstance> instance =
        CControlInstance::Create(module, CLSID_Palvex, error);
    if (instance == nullptr) return nullptr;
    IDispatch* dispatch = instance->Dispatch();
    dispatch->AddRef();
    // The instance keeps the module loaded until after the control is gone.
    return HostDispatch(
        ComPtr<IDispatch>::Adopt(dispatch), [module](BSTR s) { module->FreeString(s); },
        module->Path(), ModuleSourceText(loader.Source()), std::move(instance));
}

} // namespace palvex::host
