// CPalvexApp: the module object, one per loaded module. It knows the file
// the module was loaded from (what registration writes) and how many
// objects, factory references and locks keep the module in use.
#pragma once

#include <string>

namespace palvex {

class CPalvexApp {
  public:
    // The absolute path of the file that holds this code: the module's, or
    // the program's when the code is linked into a program.
    std::string ModulePath() const;
    // No object, factory reference or server lock alive.
    bool CanUnload() const;
};

extern CPalvexApp theApp;

} // namespace palvex
