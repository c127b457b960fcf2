// Registration on Linux: everything in the per-user store (registry_layout.h),
// the type library's keys written by the module itself, since the system has
// no type library registration of its own.
#include "control/automation/registration.h"

#include "control/automation/registry_layout.h"

namespace palvex {

RegistryPlace PlaceOf(RegistrationScope) {
    return {layout::kRoot, layout::kClassesKey};
}

bool UnregisterTypeLibrary(RegistrationScope scope) {
    return RemoveTypeLibraryEntries(scope, "linux") == reg::kSuccess;
}

bool RegisterTypeLibrary(RegistrationScope scope, const std::string& modulePath) {
    const RegistryPlace place = PlaceOf(scope);
    if (WriteRegistryEntries(place.root, place.classesKey,
                             TypeLibraryEntries(modulePath, "linux")) == reg::kSuccess)
        return true;
    UnregisterTypeLibrary(scope);
    return false;
}

// The per-user store has one view: there is no module of another bitness.
bool RegisteredInOtherView(RegistrationScope, const CLSID&) {
    return false;
}

} // namespace palvex
