// Loading an extension library with the system's own loader, dlopen or
// LoadLibrary, every import bound at once.
#include "loader.h"
#include "printing.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <fstream>
#include <string_view>

namespace zelhost {
namespace {

#if defined(_WIN32)
constexpr std::string_view library_file = "zelextensions.dll";
constexpr std::string_view separators = "\\/";

std::string system_error() {
  char *text = nullptr;
  const DWORD code = GetLastError();
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
  std::string reason = text ? text : "error " + std::to_string(code);
  LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) reason.pop_back();
  // The message's insert, such as "Bad EXE format for %1.", is the file.
  for (std::size_t at = reason.find("%1"); at != std::string::npos; at = reason.find("%1"))
    reason.replace(at, 2, "the file");
  return reason;
}

// Windows refuses a DLL whose imports are not all there, but Wine binds a
// missing one to a stub that aborts when called. So the host checks the
// imports itself: the first name that its module does not export.
std::string missing_import(HMODULE library) {
  auto *base = reinterpret_cast<const unsigned char *>(library);
  const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.Size == 0) return {};
  for (auto *d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress); d->Name; ++d) {
    const char *dll = reinterpret_cast<const char *>(base + d->Name);
    const HMODULE module = GetModuleHandleA(dll);
    if (!module || !d->OriginalFirstThunk) continue;
    for (auto *t = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + d->OriginalFirstThunk); t->u1.AddressOfData; ++t) {
      if (IMAGE_SNAP_BY_ORDINAL(t->u1.Ordinal)) continue;
      const char *name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + t->u1.AddressOfData)->Name;
      if (!GetProcAddress(module, name)) return std::string(dll) + " does not export " + name;
    }
  }
  return {};
}

// Reserves the addresses where the DLL at `path` asks to be loaded, read from
// its headers, so that the loader must move it and apply its relocations,
// as a host's address-space layout randomisation does; null if the file
// names none that fit this program.
void *reserve_preferred_base(const std::string &path) {
  IMAGE_DOS_HEADER dos{};
  IMAGE_NT_HEADERS nt{};
  std::ifstream file(path, std::ios::binary);
  if (!file.read(reinterpret_cast<char *>(&dos), sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
  if (!file.seekg(dos.e_lfanew).read(reinterpret_cast<char *>(&nt), sizeof nt)) return nullptr;
  if (nt.Signature != IMAGE_NT_SIGNATURE || nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC) return nullptr;
  return VirtualAlloc(reinterpret_cast<void *>(nt.OptionalHeader.ImageBase), nt.OptionalHeader.SizeOfImage,
                      MEM_RESERVE, PAGE_NOACCESS);
}

void *open_library(const std::string &path, std::string &reason) {
  void *taken = reserve_preferred_base(path);
  const HMODULE library = LoadLibraryA(path.c_str());
  if (!library) reason = system_error();
  if (taken) VirtualFree(taken, 0, MEM_RELEASE);
  if (!library) return nullptr;
  reason = missing_import(library);
  if (reason.empty()) return library;
  FreeLibrary(library);
  return nullptr;
}
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

// Every import bound now, as a Windows loader does: a library whose host
// lacks an operation does not load.
void *open_library(const std::string &path, std::string &reason) {
  // A bare file name would send dlopen to the system's search path.
  void *handle = dlopen((path.find('/') == std::string::npos ? "./" + path : path).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) reason = dlerror();
  return handle;
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
  std::string reason;
  void *handle = open_library(path, reason);
  if (!handle) {
    error = "cannot load " + quote(path) + ": " + escape(reason);
    return std::nullopt;
  }
  void *on_init = symbol(handle, "OnInit");
  if (!on_init) {
    error = "cannot load " + quote(path) + ": it exports no OnInit";
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
