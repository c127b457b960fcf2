// Module loading on Windows: system libraries, the program's own file, and
// file names beyond ASCII, which the portable code hands over as UTF-8.
#include "platform/os/dynamic_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

using namespace palvex::os;

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

int FunctionOfThisProgram() {
    return 7;
}

} // namespace

TEST(DynamicLibraryWin32, LoadsASystemLibraryFindsItsFunctionsAndNamesItsFile) {
    std::string error;
    void* library = OpenLibrary("kernel32.dll", error);
    ASSERT_NE(library, nullptr) << error;
    void* function = LibrarySymbol(library, "GetTickCount");
    EXPECT_NE(function, nullptr);
    EXPECT_EQ(LibrarySymbol(library, "NoSuchFunctionAnywhere"), nullptr);
    EXPECT_TRUE(Lower(FileOfLoadedObject(function)).ends_with("\\kernel32.dll"))
        << FileOfLoadedObject(function);
    CloseLibrary(library);
}

TEST(DynamicLibraryWin32, SaysWhyALibraryCannotBeLoaded) {
    std::string error;
    EXPECT_EQ(OpenLibrary("C:\\nowhere\\missing-palvex.dll", error), nullptr);
    EXPECT_NE(error.find("missing-palvex.dll: "), std::string::npos) << error;
    EXPECT_GT(error.size(), std::string("C:\\nowhere\\missing-palvex.dll: ").size());
    error.clear();
    EXPECT_EQ(OpenLibrary("not UTF-8 \xFF.dll", error), nullptr);
    EXPECT_FALSE(error.empty());
}

TEST(DynamicLibraryWin32, KnowsTheProgramsOwnFileAndFilesNamedBeyondAscii) {
    const std::string program = ProgramFile();
    EXPECT_TRUE(Lower(program).ends_with("\\platform_tests.exe")) << program;
    EXPECT_EQ(FileOfLoadedObject(reinterpret_cast<const void*>(&FunctionOfThisProgram)), program);
    EXPECT_TRUE(FileExists(program));
    EXPECT_FALSE(FileExists(program + ".missing"));

    const std::filesystem::path wide =
        std::filesystem::temp_directory_path() / L"palvex-Gr\u00FC\u00DFe-\u4E2D\u6587.txt";
    std::ofstream(wide) << "x";
    const std::string utf8 = (std::filesystem::temp_directory_path().string() + "\\") +
                             "palvex-Gr\xC3\xBC\xC3\x9F"
                             "e-\xE4\xB8\xAD\xE6\x96\x87.txt";
    EXPECT_TRUE(FileExists(utf8)) << utf8;
    std::filesystem::remove(wide);
    EXPECT_FALSE(FileExists(utf8));
}
