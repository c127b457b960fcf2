#include "control/automation/registration.h"

#include "control/automation/class_factory.h"
#include "control/automation/module_resources.h"
#include "control/automation/registry_layout.h"

namespace palvex {

namespace {

using reg::LSTATUS;

bool Succeeded(LSTATUS rc) {
    return rc == reg::kSuccess;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

LSTATUS WriteEntries(const std::vector<RegistryEntry>& entries) {
    return WriteRegistryEntries(layout::kRoot, layout::kClassesKey, entries);
}

LSTATUS RemoveKeys(const std::vector<std::string>& keys,
                   const std::vector<std::string>& pruneEmpty = {}) {
    return RemoveRegistryKeys(layout::kRoot, layout::kClassesKey, keys, pruneEmpty);
}

ClassRegistration RegistrationOf(const ClassInfo& c) {
    return {GuidText(*c.clsid), c.progId, res::LoadString(c.typeNameId), c.isControl};
}

std::string TypeLibVersionKey() {
    return layout::TypeLibKey(LIBID_PALVEXLib) + "\\" + layout::kTypeLibVersion;
}

LSTATUS RemoveTypeLibrary() {
    return RemoveKeys(TypeLibraryKeys(), {layout::TypeLibKey(LIBID_PALVEXLib)});
}

LSTATUS RemoveClasses() {
    return RemoveKeys(ClassKeys());
}

// One step: writes its entries, and on failure takes back what it wrote.
bool RunStep(const std::vector<RegistryEntry>& entries, LSTATUS (*undo)()) {
    if (Succeeded(WriteEntries(entries))) return true;
    undo();
    return false;
}

} // namespace

std::vector<RegistryEntry> TypeLibraryEntries(const std::string& modulePath) {
    const std::string version = TypeLibVersionKey();
    const std::string libid = GuidText(LIBID_PALVEXLib);
    std::vector<RegistryEntry> e = {
        {version, "", res::kLibraryHelp},
        // LIBFLAG_FCONTROL: a library of controls.
        {version + "\\FLAGS", "", "2"},
        {version + "\\0\\linux", "", modulePath},
        {version + "\\HELPDIR", "", DirectoryOf(modulePath)},
    };
    const std::pair<const IID*, const char*> interfaces[] = {
        {&DIID__DPalvex, res::kDispatchName}, {&DIID__DPalvexEvents, res::kEventsName}};
    for (const auto& [iid, name] : interfaces) {
        const std::string key = layout::InterfaceKey(*iid);
        e.push_back({key, "", name});
        e.push_back({key + "\\TypeLib", "", libid});
        e.push_back({key + "\\TypeLib", "Version", layout::kTypeLibVersion});
    }
    return e;
}

std::vector<RegistryEntry> ClassEntries(const std::string& modulePath) {
    std::vector<RegistryEntry> e;
    for (const ClassInfo& c : ModuleClasses()) {
        auto entries = ClassRegistryEntries(RegistrationOf(c), modulePath);
        e.insert(e.end(), entries.begin(), entries.end());
    }
    return e;
}

std::vector<std::string> TypeLibraryKeys() {
    return {TypeLibVersionKey(), layout::InterfaceKey(DIID__DPalvex),
            layout::InterfaceKey(DIID__DPalvexEvents)};
}

std::vector<std::string> ClassKeys() {
    std::vector<std::string> keys;
    for (const ClassInfo& c : ModuleClasses()) {
        auto classKeys = ClassRegistryKeys(RegistrationOf(c));
        keys.insert(keys.end(), classKeys.begin(), classKeys.end());
    }
    return keys;
}

HRESULT RegisterServer(const std::string& modulePath) {
    try {
        if (modulePath.empty() || !RunStep(TypeLibraryEntries(modulePath), RemoveTypeLibrary))
            return SELFREG_E_TYPELIB;
    } catch (...) {
        return SELFREG_E_TYPELIB;
    }
    try {
        if (!RunStep(ClassEntries(modulePath), RemoveClasses)) return SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

HRESULT UnregisterServer() {
    try {
        if (!Succeeded(RemoveTypeLibrary())) return SELFREG_E_TYPELIB;
    } catch (...) {
        return SELFREG_E_TYPELIB;
    }
    try {
        if (!Succeeded(RemoveClasses())) return SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

} // namespace palvex
