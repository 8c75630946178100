// Loading an extension library the way the host does: every import bound at
// load time, then OnInit looked up by name.
#ifndef ZELHOST_LOADER_H
#define ZELHOST_LOADER_H

#include "zeltools.h"

#include <optional>
#include <string>

namespace zelhost {

struct Library {
  void *handle;
  ZELFunction on_init;
};

// Loads the library at `path`; on failure says why in `error`, quoting the
// path and the loader's reason.
std::optional<Library> load(const std::string &path, std::string &error);
void unload(const Library &library);

// The extension library built beside the running program.
std::string default_library_path();

}  // namespace zelhost

#endif
