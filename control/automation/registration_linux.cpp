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
    const RegistryPlace place = PlaceOf(scope);
    return RemoveRegistryKeys(place.root, place.classesKey, TypeLibraryKeys(),
                              {TypeLibraryKey()}) == reg::kSuccess;
}

bool RegisterTypeLibrary(RegistrationScope scope, const std::string& modulePath) {
    const RegistryPlace place = PlaceOf(scope);
    if (WriteRegistryEntries(place.root, place.classesKey,
                             TypeLibraryEntries(modulePath, "linux")) == reg::kSuccess)
        return true;
    UnregisterTypeLibrary(scope);
    return false;
}

} // namespace palvex
