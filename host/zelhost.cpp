// zelhost: a command-line stand-in for the host application. It loads an
// extension library, calls its OnInit, and evaluates calls of the functions
// it registered, one result a line.
//
//   zelhost [--library PATH] [--list] [EXPRESSION...]
//
// Exit status: 0 when everything succeeded, 1 when an expression failed, a
// registration was refused, the library made an operation outside OnInit and
// any invocation, or the results could not be written or the expressions
// read; 2 for a usage error or a library that does not load or whose OnInit
// breaches the protocol.
#include "evaluate.h"
#include "loader.h"
#include "printing.h"
#include "tools.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

constexpr const char *usage = "usage: zelhost [--library PATH] [--list] [EXPRESSION...] | --version | --help";

int fail_usage(const std::string &why) {
  std::cerr << "zelhost: " << why << "\n" << usage << "\n";
  return 2;
}

// Writes one line on stdout and passes it on at once, so that every result
// already computed reaches the reader whatever a later call does. False, after
// saying why on stderr, when it could not be written.
bool put(const std::string &line) {
  if (std::cout << line << '\n' << std::flush) return true;
  const char *why = std::strerror(errno);
#if defined(_WIN32)
  // Windows' C library says "Invalid argument" for a pipe closed at its end.
  const DWORD code = GetLastError();
  if (code == ERROR_NO_DATA || code == ERROR_BROKEN_PIPE) why = "Broken pipe";
#endif
  std::cerr << "zelhost: cannot write the results: " << why << '\n';
  return false;
}

// Prints the result of one expression on stdout, or one line on stderr.
// False when the expression failed or its result could not be written.
bool run(const std::string &expression, bool &written) {
  const zelhost::Evaluation result = zelhost::evaluate(expression);
  if (!result.ok) std::cerr << "zelhost: " << zelhost::escape(expression) << ": " << result.text << '\n';
  else written = put(result.text);
  return result.ok && written;
}

}  // namespace

int main(int argc, char **argv) {
#if defined(_WIN32)
  // Every byte of the input is read as it is: in text mode a Ctrl-Z would
  // end it.
  _setmode(_fileno(stdin), _O_BINARY);
#else
  // A write to a closed pipe fails, and is reported, instead of killing.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  std::string path;
  bool list = false;
  std::vector<std::string> expressions;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--library") {
      if (++i == argc || !*argv[i]) return fail_usage("--library needs a PATH");
      path = argv[i];
    } else if (arg == "--list") {
      list = true;
    } else if (arg == "--help" || arg == "--version") {
      if (argc != 2) return fail_usage(arg + " takes no other argument");
      return put(arg == "--help" ? usage : "zelhost " ZEL_VERSION) ? 0 : 1;
    } else if (arg.starts_with("-")) {
      return fail_usage("unknown option " + zelhost::quote(arg));
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
  const std::string quoted_path = zelhost::quote(path);
  const tools::Outcome init = tools::initialise(library->on_init);
  if (!init.error.empty()) {
    std::cerr << "zelhost: " << quoted_path << ": " << init.error << '\n';
    return 2;
  }

  int status = 0;
  for (const tools::Refusal &refusal : tools::refusals()) {
    std::cerr << "zelhost: " << quoted_path << ": refused ";
    if (refusal.declaration) std::cerr << "declaration " << zelhost::quote(*refusal.declaration) << ": ";
    std::cerr << refusal.reason << '\n';
    status = 1;
  }
  bool written = true;
  if (list)
    for (const tools::Registration &r : tools::registrations())
      if (written) written = put(r.declaration);

  if (expressions.empty() && !list) {
    // One expression a line; a CRLF ends a line as LF does, and a line of
    // blanks is skipped.
    errno = 0;
    for (std::string line; written && std::getline(std::cin, line);) {
      if (line.ends_with('\r')) line.pop_back();
      if (!zelhost::trim(line).empty() && !run(line, written)) status = 1;
    }
    // A stream error (a line too long to hold sets only the stream's state)
    // or a system one.
    if (std::cin.bad() || std::ferror(stdin)) {
      std::cerr << "zelhost: cannot read the expressions: " << (errno ? std::strerror(errno) : "read error") << '\n';
      status = 1;
    }
  } else {
    for (const std::string &expression : expressions)
      if (written && !run(expression, written)) status = 1;
  }
  if (!written) status = 1;

  const std::string stray = tools::stray_operation();
  if (!stray.empty()) {
    std::cerr << "zelhost: " << quoted_path << ": " << stray << '\n';
    status = 1;
  }
  zelhost::unload(*library);
  return status;
}
