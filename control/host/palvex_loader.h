// Loading the control module into a host process and making controls from
// it, by class identifier, with nothing of the control linked into the host:
//
//   palvex::CControlLoader loader(options);        // one per host process
//   std::string error;
//   auto control = loader.CreateControl(error);    // loads the module once
//   if (!control) { report error; }
//   DISPID id;
//   control->GetIdOfName("ComInitial", &id);
//   control->Invoke(id, DISPATCH_METHOD, &params, &result, &argErr);
//
// The module is looked for, in this order:
//   1. the file registered for the class in the per-user store
//      (HKEY_CURRENT_USER\SOFTWARE\Classes\CLSID\{class}\InprocServer32);
//   2. the installed module beside the running program: the library
//      directory relative to the program's directory (../lib/... as
//      installed), then the program's own directory;
//   3. a file the host names (a build tree's module), when it names one.
// The first file that loads and makes the control wins; the module stays
// loaded while the loader or any control made from it lives.
#pragma once

#include "control/automation/com_support.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace palvex {

// One loaded module file and its entry points.
class CControlModule {
  public:
    // Loads the file and finds its entry points; nullptr with a message in
    // `error` when it cannot be loaded or lacks one.
    static std::shared_ptr<CControlModule> Load(const std::string& path, std::string& error);
    // Unloads the file when the module says it may (DllCanUnloadNow);
    // otherwise it stays loaded for the objects still alive.
    ~CControlModule();
    CControlModule(const CControlModule&) = delete;
    CControlModule& operator=(const CControlModule&) = delete;

    const std::string& Path() const { return m_path; }
    HRESULT GetClassObject(const CLSID& clsid, const IID& iid, void** ppv) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;
    // Frees a string the module handed out.
    void FreeString(BSTR s) const;
    // Another function the module exports, or nullptr.
    void* Symbol(const char* name) const;

  private:
    CControlModule() = default;

    std::string m_path;
    void* m_handle = nullptr;
    PFN_DLLGETCLASSOBJECT m_getClassObject = nullptr;
    PFN_DLLCANUNLOADNOW m_canUnloadNow = nullptr;
    PFN_DLLREGISTERSERVER m_registerServer = nullptr;
    PFN_DLLUNREGISTERSERVER m_unregisterServer = nullptr;
    PFN_PALVEXSYSFREESTRING m_freeString = nullptr;
};

// One control made by a module: its dispatch interface, and a share in the
// module so that the module outlives it.
class CControlInstance {
  public:
    // Creates the class through the module's class factory and asks for
    // IDispatch; nullptr with a message (and *hr, when given) on failure.
    static std::unique_ptr<CControlInstance> Create(std::shared_ptr<CControlModule> module,
                                                    const CLSID& clsid, std::string& error,
                                                    HRESULT* hr = nullptr);

    IDispatch* Dispatch() const { return m_dispatch.Get(); }
    const CControlModule& Module() const { return *m_module; }

    // GetIDsOfNames for one method name.
    HRESULT GetIdOfName(const std::string& name, DISPID* id) const;
    // Invoke with the default locale and no exception information.
    HRESULT Invoke(DISPID id, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                   unsigned* argErr) const;
    // Another interface of the control; empty when it has none.
    template <class I> ComPtr<I> Query(const IID& iid) const { return m_dispatch.Query<I>(iid); }

  private:
    CControlInstance(std::shared_ptr<CControlModule> module, ComPtr<IDispatch> dispatch)
        : m_module(std::move(module)), m_dispatch(std::move(dispatch)) {}

    std::shared_ptr<CControlModule> m_module; // declared first: released last
    ComPtr<IDispatch> m_dispatch;
};

enum class ModuleSource { Registry, BesideProgram, BuildTree };

// How --verbose and error messages name a source.
const char* ModuleSourceText(ModuleSource source);

struct LoaderOptions {
    bool useRegistry = true;
    bool besideProgram = true;
    // Tried last when not empty.
    std::string buildTreeModule;
};

struct ModuleCandidate {
    std::string path;
    ModuleSource source;
};

// The files to try for a class, in order (files that do not exist included).
std::vector<ModuleCandidate> ModuleCandidates(const CLSID& clsid, const LoaderOptions& options);

// The module registered for a class, or "" when none is.
std::string RegisteredModulePath(const CLSID& clsid);

// The directory of the running program, or "" when it cannot be told.
std::string ProgramDirectory();

// Options for a program of a build tree: it also tries `module`, the module
// built in that tree, when the running program lies below `buildDir`. An
// installed copy of the program never looks there.
LoaderOptions BuildTreeLoaderOptions(std::string_view buildDir, std::string module);

// Finds the module for one class and makes its controls.
class CControlLoader {
  public:
    explicit CControlLoader(LoaderOptions options = {}, const CLSID& clsid = CLSID_Palvex)
        : m_options(std::move(options)), m_clsid(clsid) {}

    // The module: the first call looks for it (every candidate in turn
    // until one loads and has a class factory for the class); later calls
    // give the same module. nullptr with a message listing what was tried.
    std::shared_ptr<CControlModule> LoadModule(std::string& error);

    // A new control made by LoadModule's module.
    std::unique_ptr<CControlInstance> CreateControl(std::string& error);

    // The module in use and where it was found; null before it was loaded.
    const std::shared_ptr<CControlModule>& Module() const { return m_module; }
    ModuleSource Source() const { return m_source; }

  private:
    LoaderOptions m_options;
    CLSID m_clsid;
    std::shared_ptr<CControlModule> m_module;
    ModuleSource m_source = ModuleSource::Registry;
};

} // namespace palvex
