// The operating system's part of loading a module: opening a shared library,
// finding its functions, and the files that the running program and a loaded
// library came from. One implementation per operating system.
#pragma once

#include <string>

namespace palvex::os {

// Loads the library at `path` and resolves all its symbols now. nullptr, with
// the system's reason in `error`, when it cannot be loaded.
void* OpenLibrary(const std::string& path, std::string& error);
// The address of the function or object `name` in the library, or nullptr.
void* LibrarySymbol(void* library, const char* name);
void CloseLibrary(void* library);

// The file of the loaded object (program or library) that holds `address`,
// as it was loaded, made absolute; empty when the system does not tell.
std::string FileOfLoadedObject(const void* address);
// The running program's file; empty when the system does not tell.
std::string ProgramFile();
bool FileExists(const std::string& path);

} // namespace palvex::os
