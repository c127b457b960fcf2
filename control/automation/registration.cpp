#include "control/automation/registration.h"

#include "control/automation/class_factory.h"
#include "control/automation/module.h"
#include "control/automation/module_resources.h"
#include "control/automation/registry_layout.h"

#include <filesystem>
#include <iterator>

namespace palvex {

namespace {

// The automation marshaller, for the interfaces of a dispatch-only library.
constexpr const char* kDispatchProxyStub = "{00020420-0000-0000-C000-000000000046}";

// The library's dispatch interfaces.
const IID* const kInterfaces[] = {&DIID__DPalvex, &DIID__DPalvexEvents, &DIID__DPalvexDiagnostics};

bool Succeeded(reg::LSTATUS rc) {
    return rc == reg::kSuccess;
}

std::string TypeLibraryKey() {
    return layout::TypeLibKey(LIBID_PALVEXLib);
}

std::string TypeLibVersionKey() {
    return TypeLibraryKey() + "\\" + res::kLibraryVersion;
}

ClassRegistration RegistrationOf(const ClassInfo& c) {
    return {GuidText(*c.clsid), c.progId, res::ModuleString(c.typeNameId), c.isControl};
}

// The class keys of this module's view, then the ProgIDs that no module of
// the other bitness still needs.
bool RemoveClasses(RegistrationScope scope) {
    const RegistryPlace place = PlaceOf(scope);
    std::vector<std::string> classKeys;
    std::vector<std::string> progIds;
    for (const ClassInfo& c : ModuleClasses()) {
        classKeys.push_back(layout::ClassKey(*c.clsid));
        progIds.push_back(c.progId);
    }
    const reg::LSTATUS removed = RemoveRegistryKeys(place.root, place.classesKey, classKeys);
    std::vector<std::string> unneeded;
    for (std::size_t i = 0; i < progIds.size(); ++i)
        if (!RegisteredInOtherView(scope, *ModuleClasses()[i].clsid))
            unneeded.push_back(progIds[i]);
    const reg::LSTATUS ids = RemoveRegistryKeys(place.root, place.classesKey, unneeded);
    return Succeeded(removed) && Succeeded(ids);
}

bool RegisterClasses(RegistrationScope scope, const std::string& modulePath) {
    const RegistryPlace place = PlaceOf(scope);
    if (Succeeded(WriteRegistryEntries(place.root, place.classesKey, ClassEntries(modulePath))))
        return true;
    RemoveClasses(scope);
    return false;
}

} // namespace

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
    const char* names[] = {res::kDispatchName, res::kEventsName, res::kDiagnosticsName};
    for (std::size_t i = 0; i < std::size(kInterfaces); ++i) {
        const std::string key = layout::InterfaceKey(*kInterfaces[i]);
        e.push_back({key, "", names[i]});
        e.push_back({key + "\\ProxyStubClsid", "", kDispatchProxyStub});
        e.push_back({key + "\\ProxyStubClsid32", "", kDispatchProxyStub});
        e.push_back({key + "\\TypeLib", "", libid});
        e.push_back({key + "\\TypeLib", "Version", res::kLibraryVersion});
    }
    return e;
}

reg::LSTATUS RemoveTypeLibraryEntries(RegistrationScope scope, const std::string& platform) {
    const RegistryPlace place = PlaceOf(scope);
    const std::string files = TypeLibVersionKey() + "\\0";
    std::vector<std::string> keys = {files + "\\" + platform};
    for (const IID* iid : kInterfaces)
        keys.push_back(layout::InterfaceKey(*iid));
    const reg::LSTATUS rc = RemoveRegistryKeys(place.root, place.classesKey, keys, {files});
    // No platform's module left: the version goes, and the library when it
    // has no other version.
    reg::CRegKey left;
    if (left.Open(place.root, std::string(place.classesKey) + "\\" + files) == reg::kSuccess)
        return rc;
    const reg::LSTATUS version = RemoveRegistryKeys(place.root, place.classesKey,
                                                    {TypeLibVersionKey()}, {TypeLibraryKey()});
    return Succeeded(rc) ? version : rc;
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
