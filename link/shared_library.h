// Loading a shared library at run time: dlopen on POSIX, LoadLibraryExW on Windows.
#pragma once

#include <string>
#include <vector>

namespace zemlo {

using LibraryHandle = void*;

// `path` is UTF-8. On Windows a bare name is looked up in the system folder and the program's
// own folder only: never the working directory or PATH, where anyone could plant a DLL.
LibraryHandle OpenLibrary(const std::string& path);
void* FindSymbol(LibraryHandle library, const char* name);
void CloseLibrary(LibraryHandle library);

// The names the vendor's D2XX library is installed under on this system.
const std::vector<std::string>& D2xxLibraryNames();

}  // namespace zemlo
