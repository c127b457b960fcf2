// The module's creatable classes, each with its class factory: the control
// and its property page. The table is what the module registers and what
// DllGetClassObject serves, on every system.
#pragma once

#include "control/automation/com_support.h"

#include <span>

namespace palvex {

struct ClassInfo {
    const CLSID* clsid;
    const char* progId;
    int typeNameId; // string table id of the type name
    HRESULT (*create)(REFIID riid, void** ppv);
    // The control's class carries the keys of a control (Control,
    // MiscStatus, ToolboxBitmap32, TypeLib, Version).
    bool isControl;
};

std::span<const ClassInfo> ModuleClasses();

// The class factory of a class (one reference), CLASS_E_CLASSNOTAVAILABLE
// for a class the module does not have.
HRESULT GetClassFactory(REFCLSID clsid, REFIID riid, void** ppv);

// The property page, made by its factory (prop_page_linux.cpp,
// prop_page_win32.cpp).
HRESULT CreatePropPageObject(REFIID riid, void** ppv);

} // namespace palvex
