#include "control/automation/registry_entries.h"

#include "control/automation/palvex_guids.h"
#include "control/palvex_facts.h"

namespace palvex {

namespace {

using reg::CRegKey;
using reg::LSTATUS;

bool Succeeded(LSTATUS rc) {
    return rc == reg::kSuccess;
}

bool IsEmptyKey(const CRegKey& key) {
    std::vector<std::string> subKeys;
    std::vector<std::string> values;
    return Succeeded(key.EnumSubKeys(subKeys)) && Succeeded(key.EnumValues(values)) &&
           subKeys.empty() && values.empty();
}

} // namespace

std::vector<RegistryEntry> ClassRegistryEntries(const ClassRegistration& c,
                                                const std::string& modulePath) {
    const std::string key = "CLSID\\" + c.clsid;
    std::vector<RegistryEntry> e;
    e.push_back({key, "", c.typeName});
    e.push_back({key + "\\ProgID", "", c.progId});
    e.push_back({key + "\\InprocServer32", "", modulePath});
    e.push_back({key + "\\InprocServer32", "ThreadingModel", "Apartment"});
    if (c.isControl) {
        e.push_back({key + "\\Control", "", std::nullopt});
        e.push_back({key + "\\MiscStatus", "", "0"});
        e.push_back({key + "\\MiscStatus\\1", "", std::to_string(module::kMiscStatus)});
        e.push_back({key + "\\ToolboxBitmap32", "", modulePath + ", 1"});
        e.push_back({key + "\\TypeLib", "", PALVEX_LIBID_TEXT});
        e.push_back({key + "\\Version", "", "1.0"});
    }
    e.push_back({c.progId, "", c.typeName});
    e.push_back({c.progId + "\\CLSID", "", c.clsid});
    return e;
}

std::vector<std::string> ClassRegistryKeys(const ClassRegistration& c) {
    return {"CLSID\\" + c.clsid, c.progId};
}

LSTATUS WriteRegistryEntries(reg::Root root, std::string_view base,
                             const std::vector<RegistryEntry>& entries) {
    CRegKey classes;
    if (const LSTATUS rc = classes.Create(root, base); !Succeeded(rc)) return rc;
    for (const RegistryEntry& e : entries) {
        CRegKey key;
        if (const LSTATUS rc = key.Create(classes, e.key); !Succeeded(rc)) return rc;
        if (!e.text) continue;
        if (const LSTATUS rc = key.SetStringValue(e.valueName, *e.text); !Succeeded(rc)) return rc;
    }
    return reg::kSuccess;
}

LSTATUS RemoveRegistryKeys(reg::Root root, std::string_view base,
                           const std::vector<std::string>& keys,
                           const std::vector<std::string>& pruneEmpty) {
    CRegKey classes;
    LSTATUS rc = classes.Open(root, base);
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

} // namespace palvex
