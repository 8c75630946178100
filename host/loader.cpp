#include "loader.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <string_view>

namespace zelhost {
namespace {

#if defined(_WIN32)
constexpr std::string_view library_file = "zelextensions.dll";
constexpr std::string_view separators = "\\/";

std::string last_error() {
  char *text = nullptr;
  const DWORD code = GetLastError();
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
  std::string reason = text ? text : "error " + std::to_string(code);
  LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) reason.pop_back();
  return reason;
}

void *open_library(const std::string &path) { return LoadLibraryA(path.c_str()); }
void *symbol(void *handle, const char *name) {
  return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void close_library(void *handle) { FreeLibrary(static_cast<HMODULE>(handle)); }

std::string program_path() {
  char buffer[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return std::string(buffer, n < MAX_PATH ? n : 0);
}
#else
constexpr std::string_view library_file = "zelextensions.so";
constexpr std::string_view separators = "/";

std::string last_error() {
  const char *reason = dlerror();
  return reason ? reason : "unknown reason";
}

// Every import bound now, as a Windows loader does: a library whose host
// lacks an operation does not load.
void *open_library(const std::string &path) {
  // A bare file name would send dlopen to the system's search path.
  return dlopen((path.find('/') == std::string::npos ? "./" + path : path).c_str(), RTLD_NOW | RTLD_LOCAL);
}
void *symbol(void *handle, const char *name) { return dlsym(handle, name); }
void close_library(void *handle) { dlclose(handle); }

std::string program_path() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
  return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}
#endif

}  // namespace

std::optional<Library> load(const std::string &path, std::string &error) {
  void *handle = open_library(path);
  if (!handle) {
    error = "cannot load \"" + path + "\": " + last_error();
    return std::nullopt;
  }
  void *on_init = symbol(handle, "OnInit");
  if (!on_init) {
    error = "cannot load \"" + path + "\": it exports no OnInit";
    close_library(handle);
    return std::nullopt;
  }
  return Library{handle, reinterpret_cast<ZELFunction>(on_init)};
}

void unload(const Library &library) { close_library(library.handle); }

std::string default_library_path() {
  std::string path = program_path();
  const std::size_t slash = path.find_last_of(separators);
  path.erase(slash == std::string::npos ? 0 : slash + 1);
  return path + std::string(library_file);
}

}  // namespace zelhost
