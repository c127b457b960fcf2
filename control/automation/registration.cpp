#include "control/automation/registration.h"

#include "control/automation/class_factory.h"
#include "control/automation/module.h"
#include "control/automation/module_resources.h"
#include "control/automation/registry_layout.h"

#include <filesystem>

namespace palvex {

namespace {

// The automation marshaller, for the interfaces of a dispatch-only library.
constexpr const char* kDispatchProxyStub = "{00020420-0000-0000-C000-000000000046}";

bool Succeeded(reg::LSTATUS rc) {
    return rc == reg::kSuccess;
}

std::string TypeLibVersionKey() {
    return TypeLibraryKey() + "\\" + res::kLibraryVersion;
}

ClassRegistration RegistrationOf(const ClassInfo& c) {
    return {GuidText(*c.clsid), c.progId, res::ModuleString(c.typeNameId), c.isControl};
}

bool RemoveClasses(RegistrationScope scope) {
    const RegistryPlace place = PlaceOf(scope);
    return Succeeded(RemoveRegistryKeys(place.root, place.classesKey, ClassKeys()));
}

bool RegisterClasses(RegistrationScope scope, const std::string& modulePath) {
    const RegistryPlace place = PlaceOf(scope);
    if (Succeeded(WriteRegistryEntries(place.root, place.classesKey, ClassEntries(modulePath))))
        return true;
    RemoveClasses(scope);
    return false;
}

} // namespace

std::string TypeLibraryKey() {
    return layout::TypeLibKey(LIBID_PALVEXLib);
}

std::vector<RegistryEntry> TypeLibraryEntries(const std::string& modulePath,
                                              const std::string& platform) {
    const std::string version = TypeLibVersionKey();
    const std::string libid = GuidText(LIBID_PALVEXLib);
    std::vector<RegistryEntry> e = {
        {version, "", res::kLibraryHelp},
        // LIBFLAG_FCONTROL: a library of controls.
        {version + "\\FLAGS", "", "2"},
        {version + "\\0\\" + platform, "", modulePath},
        {version + "\\HELPDIR", "",
         std::filesystem::path(modulePath).parent_path().string()},
    };
    const std::pair<const IID*, const char*> interfaces[] = {
        {&DIID__DPalvex, res::kDispatchName}, {&DIID__DPalvexEvents, res::kEventsName}};
    for (const auto& [iid, name] : interfaces) {
        const std::string key = layout::InterfaceKey(*iid);
        e.push_back({key, "", name});
        e.push_back({key + "\\ProxyStubClsid", "", kDispatchProxyStub});
        e.push_back({key + "\\ProxyStubClsid32", "", kDispatchProxyStub});
        e.push_back({key + "\\TypeLib", "", libid});
        e.push_back({key + "\\TypeLib", "Version", res::kLibraryVersion});
    }
    return e;
}

std::vector<std::string> TypeLibraryKeys() {
    return {TypeLibVersionKey(), layout::InterfaceKey(DIID__DPalvex),
            layout::InterfaceKey(DIID__DPalvexEvents)};
}

std::vector<RegistryEntry> ClassEntries(const std::string& modulePath) {
    std::vector<RegistryEntry> e;
    for (const ClassInfo& c : ModuleClasses()) {
        auto entries = ClassRegistryEntries(RegistrationOf(c), modulePath);
        e.insert(e.end(), entries.begin(), entries.end());
    }
    return e;
}

std::vector<std::string> ClassKeys() {
    std::vector<std::string> keys;
    for (const ClassInfo& c : ModuleClasses()) {
        auto classKeys = ClassRegistryKeys(RegistrationOf(c));
        keys.insert(keys.end(), classKeys.begin(), classKeys.end());
    }
    return keys;
}

HRESULT RegisterServer(RegistrationScope scope) {
    std::string path;
    try {
        path = ModulePath();
        if (path.empty() || !RegisterTypeLibrary(scope, path)) return SELFREG_E_TYPELIB;
    } catch (...) {
        return SELFREG_E_TYPELIB;
    }
    try {
        if (!RegisterClasses(scope, path)) return SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

HRESULT UnregisterServer(RegistrationScope scope) {
    try {
        if (!UnregisterTypeLibrary(scope)) return SELFREG_E_TYPELIB;
    } catch (...) {
        return SELFREG_E_TYPELIB;
    }
    try {
        if (!RemoveClasses(scope)) return SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

} // namespace palvex
