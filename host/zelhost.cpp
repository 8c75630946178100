// zelhost: a command-line stand-in for the host application. It loads an
// extension library, calls its OnInit, and evaluates calls of the functions
// it registered, one result a line.
//
//   zelhost [--library PATH] [--list] [EXPRESSION...]
//
// Exit status: 0 when everything succeeded, 1 when an expression failed or a
// registration was refused, 2 for a usage error or a library that does not
// load.
#include "evaluate.h"
#include "loader.h"
#include "tools.h"

#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char *usage = "usage: zelhost [--library PATH] [--list] [EXPRESSION...]";

int fail_usage(const std::string &why) {
  std::cerr << "zelhost: " << why << "\n" << usage << "\n";
  return 2;
}

// Prints the result of one expression on stdout, or one line on stderr.
bool run(const std::string &expression) {
  const zelhost::Evaluation result = zelhost::evaluate(expression);
  if (result.ok)
    std::cout << result.text << '\n';
  else
    std::cerr << "zelhost: " << expression << ": " << result.text << '\n';
  return result.ok;
}

}  // namespace

int main(int argc, char **argv) {
  std::string path;
  bool list = false;
  std::vector<std::string> expressions;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--library") {
      if (++i == argc) return fail_usage("--library needs a PATH");
      path = argv[i];
    } else if (arg == "--list") {
      list = true;
    } else if (arg == "--help") {
      std::cout << usage << '\n';
      return 0;
    } else if (arg.starts_with("-")) {
      return fail_usage("unknown option \"" + arg + "\"");
    } else {
      expressions.push_back(arg);
    }
  }
  if (path.empty()) path = zelhost::default_library_path();

  std::string error;
  const std::optional<zelhost::Library> library = zelhost::load(path, error);
  if (!library) {
    std::cerr << "zelhost: " << error << '\n';
    return 2;
  }
  const tools::Outcome init = tools::initialise(library->on_init);
  if (!init.error.empty()) {
    std::cerr << "zelhost: \"" << path << "\": " << init.error << '\n';
    return 2;
  }

  int status = 0;
  for (const std::string &refusal : tools::refusals()) {
    std::cerr << "zelhost: \"" << path << "\": refused " << refusal << '\n';
    status = 1;
  }
  if (list)
    for (const tools::Registration &r : tools::registrations()) std::cout << r.declaration << '\n';

  if (expressions.empty() && !list) {
    for (std::string line; std::getline(std::cin, line);)
      if (line.find_first_not_of(" \t\r") != std::string::npos && !run(line)) status = 1;
  } else {
    for (const std::string &expression : expressions)
      if (!run(expression)) status = 1;
  }

  tools::clear_registrations();
  zelhost::unload(*library);
  return status;
}
