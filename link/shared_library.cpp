#include "link/shared_library.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace zemlo {

#ifdef _WIN32

namespace {

std::wstring Widen(const std::string& text) {
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                           static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), length);
  return wide;
}

}  // namespace

LibraryHandle OpenLibrary(const std::string& path) {
  std::wstring wide = Widen(path);
  if (wide.empty()) return nullptr;
  const bool bareName = wide.find_first_of(L"\\/") == std::wstring::npos;
  if (bareName) {
    return ::LoadLibraryExW(wide.c_str(), nullptr,
                            LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
  }
  // A path names the file itself, whose own folder then supplies its dependencies; that search
  // takes absolute paths only.
  wchar_t full[MAX_PATH * 4];
  const DWORD length = ::GetFullPathNameW(wide.c_str(), MAX_PATH * 4, full, nullptr);
  if (length == 0 || length >= MAX_PATH * 4) return nullptr;
  return ::LoadLibraryExW(full, nullptr,
                          LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void* FindSymbol(LibraryHandle library, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(LibraryHandle library) {
  ::FreeLibrary(static_cast<HMODULE>(library));
}

const std::vector<std::string>& D2xxLibraryNames() {
  static const std::vector<std::string> names = {"FTD2XX.dll"};
  return names;
}

#else

LibraryHandle OpenLibrary(const std::string& path) {
  return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindSymbol(LibraryHandle library, const char* name) {
  return ::dlsym(library, name);
}

void CloseLibrary(LibraryHandle library) {
  ::dlclose(library);
}

const std::vector<std::string>& D2xxLibraryNames() {
#ifdef __APPLE__
  static const std::vector<std::string> names = {"libftd2xx.dylib"};
#else
  static const std::vector<std::string> names = {"libftd2xx.so", "libftd2xx.so.1"};
#endif
  return names;
}

#endif

}  // namespace zemlo
