// The image-to-pixel conversion of palvex's picture files: any bytes as the
// file (PNG, PGM or raw pixel codes, told apart by their first bytes). The
// input is put in a memory file and read through its /proc path, as palvex
// reads a file named on its command line.
//
// Checked beyond "no crash": the picture always has 65,536 bytes; a decoded
// image gives only the codes 0 to 7 (a grey one only 0 and 1); raw codes pass
// unchanged; a refusal says why.
#include "cli/picture_file.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace palvex::cli;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "picture_fuzzer: %s\n", what);
    std::abort();
}

int g_fd = -1;
std::string g_path;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_fd = ::memfd_create("picture", 0);
    if (g_fd < 0) std::abort();
    g_path = "/proc/self/fd/" + std::to_string(g_fd);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (::ftruncate(g_fd, 0) != 0 || ::pwrite(g_fd, data, size, 0) != static_cast<ssize_t>(size))
        Fail("cannot fill the memory file");
    std::vector<std::uint8_t> picture;
    std::string error;
    const bool ok = LoadPictureFile(g_path, picture, error);
    if (picture.size() != kPictureBytes) Fail("picture of the wrong size");
    if (!ok) {
        if (error.empty()) Fail("a refusal without a reason");
        return 0;
    }
    const bool png = size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0;
    const bool pgm = size >= 3 && data[0] == 'P' && (data[1] == '5' || data[1] == '2') &&
                     std::strchr(" \t\n\r\v\f", data[2]) != nullptr && data[2] != 0;
    if (!png && !pgm) {
        if (size != kPictureBytes || std::memcmp(picture.data(), data, size) != 0)
            Fail("raw pixel codes did not pass unchanged");
        return 0;
    }
    for (std::uint8_t code : picture)
        if (code > 7) Fail("a converted pixel outside the codes 0 to 7");
    if (pgm)
        for (std::uint8_t code : picture)
            if (code > 1) Fail("a grey pixel gave more than one bit");
    return 0;
}
