#include "control/host/palvex_loader.h"

#include "control/automation/registry_layout.h"

#include "platform/os/dynamic_library.h"

#include <filesystem>

#ifndef PALVEX_BIN_TO_LIB
#define PALVEX_BIN_TO_LIB "../lib"
#endif
#ifndef PALVEX_MODULE_FILE
#define PALVEX_MODULE_FILE "libpalvex.so.1"
#endif

namespace palvex {

namespace {

template <class F> F Function(void* handle, const char* name) {
    return reinterpret_cast<F>(os::LibrarySymbol(handle, name));
}

} // namespace

// --- CControlModule ----------------------------------------------------------

std::shared_ptr<CControlModule> CControlModule::Load(const std::string& path, std::string& error) {
    void* handle = os::OpenLibrary(path, error);
    if (handle == nullptr) return nullptr;
    std::shared_ptr<CControlModule> m(new CControlModule);
    m->m_path = path;
    m->m_handle = handle;
    m->m_getClassObject = Function<PFN_DLLGETCLASSOBJECT>(handle, "DllGetClassObject");
    m->m_canUnloadNow = Function<PFN_DLLCANUNLOADNOW>(handle, "DllCanUnloadNow");
    m->m_registerServer = Function<PFN_DLLREGISTERSERVER>(handle, "DllRegisterServer");
    m->m_unregisterServer = Function<PFN_DLLUNREGISTERSERVER>(handle, "DllUnregisterServer");
    m->m_freeString = Function<PFN_PALVEXSYSFREESTRING>(handle, "PalvexSysFreeString");
    if (m->m_getClassObject == nullptr || m->m_canUnloadNow == nullptr ||
        m->m_registerServer == nullptr || m->m_unregisterServer == nullptr ||
        m->m_freeString == nullptr) {
        error = path + " is not a control module: it lacks an entry point";
        return nullptr; // the destructor unloads it
    }
    return m;
}

CControlModule::~CControlModule() {
    if (m_handle == nullptr) return;
    if (m_canUnloadNow == nullptr || m_canUnloadNow() == S_OK) os::CloseLibrary(m_handle);
}

HRESULT CControlModule::GetClassObject(const CLSID& clsid, const IID& iid, void** ppv) const {
    return m_getClassObject(clsid, iid, ppv);
}

HRESULT CControlModule::CanUnloadNow() const {
    return m_canUnloadNow();
}
HRESULT CControlModule::RegisterServer() const {
    return m_registerServer();
}
HRESULT CControlModule::UnregisterServer() const {
    return m_unregisterServer();
}
void CControlModule::FreeString(BSTR s) const {
    m_freeString(s);
}

void* CControlModule::Symbol(const char* name) const {
    return os::LibrarySymbol(m_handle, name);
}

// --- CControlInstance --------------------------------------------------------

std::unique_ptr<CControlInstance> CControlInstance::Create(std::shared_ptr<CControlModule> module,
                                                           const CLSID& clsid, std::string& error,
                                                           HRESULT* hrOut) {
    HRESULT hr = E_POINTER;
    std::unique_ptr<CControlInstance> made;
    if (module != nullptr) {
        ComPtr<IClassFactory> factory;
        ComPtr<IDispatch> dispatch;
        hr = module->GetClassObject(clsid, IID_IClassFactory, factory.PutVoid());
        if (FAILED(hr)) {
            error = module->Path() + " has no class factory for " + GuidText(clsid) + ": " +
                    HresultMessage(hr);
        } else {
            hr = factory->CreateInstance(nullptr, IID_IDispatch, dispatch.PutVoid());
            if (FAILED(hr))
                error = "the control could not be created: " + HresultMessage(hr);
            else
                made.reset(new CControlInstance(std::move(module), std::move(dispatch)));
        }
    } else {
        error = "no module";
    }
    if (hrOut != nullptr) *hrOut = hr;
    return made;
}

HRESULT CControlInstance::GetIdOfName(const std::string& name, DISPID* id) const {
    return IdOfName(*m_dispatch.Get(), name, *id);
}

HRESULT CControlInstance::Invoke(DISPID id, std::uint16_t flags, DISPPARAMS* params,
                                 VARIANT* result, unsigned* argErr) const {
    return m_dispatch->Invoke(id, IID_NULL, 0, flags, params, result, nullptr, argErr);
}

// --- Finding the module ------------------------------------------------------

const char* ModuleSourceText(ModuleSource source) {
    switch (source) {
    case ModuleSource::Registry:
        return "registered for the class";
    case ModuleSource::BesideProgram:
        return "installed beside the program";
    case ModuleSource::BuildTree:
        return "from the build tree";
    }
    return "";
}

std::string RegisteredModulePath(const CLSID& clsid) {
    reg::CRegKey key;
    const std::string path =
        layout::UnderClasses(layout::ClassKey(clsid)) + "\\" + layout::kInprocServer;
    std::string module;
    if (key.Open(layout::kRoot, path) != reg::kSuccess ||
        key.QueryStringValue("", module) != reg::kSuccess)
        return {};
    return module;
}

std::string ProgramDirectory() {
    const std::string exe = os::ProgramFile();
    const std::size_t slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

LoaderOptions BuildTreeLoaderOptions(std::string_view buildDir, std::string module) {
    LoaderOptions options;
    const std::string dir = ProgramDirectory() + "/";
    if (!buildDir.empty() && dir.starts_with(std::string(buildDir) + "/"))
        options.buildTreeModule = std::move(module);
    return options;
}

std::vector<ModuleCandidate> ModuleCandidates(const CLSID& clsid, const LoaderOptions& options) {
    std::vector<ModuleCandidate> c;
    if (options.useRegistry) {
        if (std::string registered = RegisteredModulePath(clsid); !registered.empty())
            c.push_back({std::move(registered), ModuleSource::Registry});
    }
    if (options.besideProgram) {
        if (const std::string dir = ProgramDirectory(); !dir.empty()) {
            c.push_back(
                {dir + "/" PALVEX_BIN_TO_LIB "/" PALVEX_MODULE_FILE, ModuleSource::BesideProgram});
            c.push_back({dir + "/" PALVEX_MODULE_FILE, ModuleSource::BesideProgram});
        }
    }
    if (!options.buildTreeModule.empty())
        c.push_back({options.buildTreeModule, ModuleSource::BuildTree});
    return c;
}

// --- CControlLoader ----------------------------------------------------------

std::shared_ptr<CControlModule> CControlLoader::LoadModule(std::string& error) {
    if (m_module != nullptr) return m_module;
    std::string tried;
    for (const ModuleCandidate& candidate : ModuleCandidates(m_clsid, m_options)) {
        std::string why;
        if (!os::FileExists(candidate.path)) {
            why = "no such file";
        } else if (auto module = CControlModule::Load(candidate.path, why)) {
            ComPtr<IClassFactory> factory;
            const HRESULT hr =
                module->GetClassObject(m_clsid, IID_IClassFactory, factory.PutVoid());
            if (SUCCEEDED(hr)) {
                m_module = std::move(module);
                m_source = candidate.source;
                return m_module;
            }
            why = "no class factory: " + HresultMessage(hr);
        }
        tried += "\n  " + candidate.path + " (" + ModuleSourceText(candidate.source) + "): " + why;
    }
    error = "no control module for " + GuidText(m_clsid) +
            (tried.empty() ? std::string(": nowhere to look") : ", tried:" + tried);
    return nullptr;
}

std::unique_ptr<CControlInstance> CControlLoader::CreateControl(std::string& error) {
    std::shared_ptr<CControlModule> module = LoadModule(error);
    if (module == nullptr) return nullptr;
    return CControlInstance::Create(std::move(module), m_clsid, error);
}

} // namespace palvex
