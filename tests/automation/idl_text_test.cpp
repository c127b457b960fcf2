// The committed Palvex.idl, which the Windows build compiles into the
// module's type library, must be what the dispatch table generates now.
#include "control/automation/idl_text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The first line where the two texts differ, both versions.
std::string FirstDifference(const std::string& committed, const std::string& generated) {
    std::istringstream a(committed), b(generated);
    std::string la, lb;
    for (int line = 1;; ++line) {
        const bool moreA = static_cast<bool>(std::getline(a, la));
        const bool moreB = static_cast<bool>(std::getline(b, lb));
        if (!moreA && !moreB) return "no line differs";
        if (!moreA || !moreB || la != lb)
            return "line " + std::to_string(line) + ": committed \"" + (moreA ? la : "<end>") +
                   "\", generated \"" + (moreB ? lb : "<end>") + "\"";
    }
}

TEST(PalvexIdl, CommittedFileMatchesTheDispatchTable) {
    const std::string committed = ReadFile(PALVEX_COMMITTED_IDL);
    ASSERT_FALSE(committed.empty()) << "cannot read " << PALVEX_COMMITTED_IDL;
    const std::string generated = palvex::PalvexIdlText();
    EXPECT_TRUE(committed == generated)
        << "control/automation/Palvex.idl is stale (" << FirstDifference(committed, generated)
        << "). Regenerate it with: cmake --build build --target palvex_idl_update, and commit it.";
}

} // namespace
