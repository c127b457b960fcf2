#include "control/automation/registration.h"

#include "control/automation/class_factory.h"
#include "control/automation/module_resources.h"
#include "control/automation/registry_layout.h"

namespace palvex {

namespace {

using reg::CRegKey;
using reg::LSTATUS;

bool Succeeded(LSTATUS rc) {
    return rc == reg::kSuccess;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

LSTATUS OpenClasses(CRegKey& classes, bool create) {
    return create ? classes.Create(layout::kRoot, layout::kClassesKey)
                  : classes.Open(layout::kRoot, layout::kClassesKey);
}

LSTATUS WriteEntries(const std::vector<RegistryEntry>& entries) {
    CRegKey classes;
    if (const LSTATUS rc = OpenClasses(classes, true); !Succeeded(rc)) return rc;
    for (const RegistryEntry& e : entries) {
        CRegKey key;
        if (const LSTATUS rc = key.Create(classes, e.key); !Succeeded(rc)) return rc;
        if (!e.text) continue;
        if (const LSTATUS rc = key.SetStringValue(e.valueName, *e.text); !Succeeded(rc)) return rc;
    }
    return reg::kSuccess;
}

bool IsEmptyKey(const CRegKey& key) {
    std::vector<std::string> subKeys;
    std::vector<std::string> values;
    return Succeeded(key.EnumSubKeys(subKeys)) && Succeeded(key.EnumValues(values)) &&
           subKeys.empty() && values.empty();
}

// Removes each key with everything below it; keys already gone count as
// removed. Goes on after a failure and reports the first one. `pruneEmpty`:
// keys removed afterwards only if nothing is left in them (a library key
// that may hold other versions).
LSTATUS RemoveKeys(const std::vector<std::string>& keys,
                   const std::vector<std::string>& pruneEmpty = {}) {
    CRegKey classes;
    LSTATUS rc = OpenClasses(classes, false);
    if (rc == reg::kFileNotFound) return reg::kSuccess;
    if (!Succeeded(rc)) return rc;
    LSTATUS first = reg::kSuccess;
    for (const std::string& key : keys) {
        rc = classes.DeleteSubKeyTree(key);
        if (!Succeeded(rc) && rc != reg::kFileNotFound && Succeeded(first)) first = rc;
    }
    for (const std::string& key : pruneEmpty) {
        CRegKey k;
        if (!Succeeded(k.Open(classes, key)) || !IsEmptyKey(k)) continue;
        k.Close();
        rc = classes.DeleteSubKeyTree(key);
        if (!Succeeded(rc) && rc != reg::kFileNotFound && Succeeded(first)) first = rc;
    }
    return first;
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
        const std::string key = layout::ClassKey(*c.clsid);
        const std::string clsid = GuidText(*c.clsid);
        const std::string typeName = res::LoadString(c.typeNameId);
        e.push_back({key, "", typeName});
        e.push_back({key + "\\ProgID", "", c.progId});
        e.push_back({key + "\\" + layout::kInprocServer, "", modulePath});
        e.push_back({key + "\\" + layout::kInprocServer, "ThreadingModel", "Apartment"});
        if (c.isControl) {
            e.push_back({key + "\\Control", "", std::nullopt});
            e.push_back({key + "\\MiscStatus", "", "0"});
            e.push_back({key + "\\MiscStatus\\1", "", std::to_string(PALVEX_MISC_STATUS)});
            e.push_back({key + "\\ToolboxBitmap32", "", modulePath + ", 1"});
            e.push_back({key + "\\TypeLib", "", GuidText(LIBID_PALVEXLib)});
            e.push_back({key + "\\Version", "", layout::kTypeLibVersion});
        }
        e.push_back({c.progId, "", typeName});
        e.push_back({std::string(c.progId) + "\\CLSID", "", clsid});
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
        keys.push_back(layout::ClassKey(*c.clsid));
        keys.push_back(c.progId);
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
