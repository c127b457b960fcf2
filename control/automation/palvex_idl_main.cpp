// palvex_idl [FILE]: writes the type library's IDL (idl_text.h) to FILE, or to
// standard output. The target palvex_idl_update runs it on the committed
// control/automation/Palvex.idl.
#include "control/automation/idl_text.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv) {
    const std::string text = palvex::PalvexIdlText();
    if (argc < 2) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        std::fprintf(stderr, "palvex_idl: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
