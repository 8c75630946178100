// zelhost as a user runs it: what goes to stdout and stderr, and the exit
// status (the results of the functions themselves are in cases.txt).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// The files that the tests write lie in a folder of this run's own, removed
// when every test passed, so that runs at once keep apart.
class Folder : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string name = ::testing::TempDir() + "zelhost_test.XXXXXX";
    path = mkdtemp(name.data()) ? name + "/" : "";
    ASSERT_NE(path, "") << "no folder in " << ::testing::TempDir();
  }
  void TearDown() override {
    if (::testing::UnitTest::GetInstance()->Passed()) std::filesystem::remove_all(path);
  }
  std::string path;
};
Folder *const folder = static_cast<Folder *>(::testing::AddGlobalTestEnvironment(new Folder));

struct Ran {
  int status;
  std::string out, err;
};

std::string slurp(const std::string &path) {
  std::ostringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

// Runs `command` through the shell with `input` on stdin; redirections in
// `command` itself come first.
Ran run(const std::string &command, const std::string &input = "") {
  const std::string dir = folder->path + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".";
  std::ofstream(dir + "in") << input;
  const int status = std::system(("(" + command + ") <" + dir + "in >" + dir + "out 2>" + dir + "err").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir + "out"), slurp(dir + "err")};
}

// Each message a line of its own, ending in a newline: no control character
// but the newlines.
::testing::AssertionResult lines(const std::string &text) {
  if (!text.empty() && text.back() != '\n') return ::testing::AssertionFailure() << "no newline at the end: " << text;
  for (const char c : text)
    if (c != '\n' && static_cast<unsigned char>(c) < 0x20) return ::testing::AssertionFailure() << int{c} << " in " << text;
  return ::testing::AssertionSuccess();
}

const std::string zelhost = ZELHOST;

TEST(Zelhost, ListsTheRegistrations) {
  // The library beside zelhost, wherever zelhost is run from.
  const Ran r = run("cd / && " + zelhost + " --list");
  EXPECT_EQ(r.status, 0) << r.err;
  const char *const listed =
#define ZEL_FUNCTION(name, declaration) declaration "\n"
#include "zelfunctions.h"
      ;
  EXPECT_EQ(r.out, listed);
  EXPECT_EQ(r.err, "");
}

TEST(Zelhost, ReadsExpressionsFromStandardInput) {
  Ran r = run(zelhost, "FormatasTime(59)\n\n \f\v\t\nFormatasTime(86400)\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "0:00:59\n24:00:00\n");
  r = run(zelhost, "FormatasTime(\nFormatasTime(0)\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "0:00:00\n");
  EXPECT_EQ(r.err, "zelhost: FormatasTime(: unbalanced parentheses\n");
  // CRLF lines, and a control character quoted in a message.
  r = run(zelhost, "FormatasTime(1)\r\nNope(\x01)\r\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "0:00:01\n");
  EXPECT_EQ(r.err, "zelhost: Nope(\\x01): unknown function \"Nope\"\n");
}

// Each result is passed on before the next call, which may crash the host.
TEST(Zelhost, KeepsTheResultsBeforeACrash) {
  const Ran r = run(zelhost + " --library " ROGUE " 'One()' 'Crash()' | cat");
  EXPECT_EQ(r.out, "1\n");
}

// A write to a closed pipe fails, and is reported, instead of killing.
TEST(Zelhost, ReportsAClosedPipe) {
  const Ran r = run("(sleep 1; " + zelhost + " 'FormatasTime(1)'; echo status $? >&2) | true");
  EXPECT_EQ(r.err, "zelhost: cannot write the results: Broken pipe\nstatus 1\n");
}

TEST(Zelhost, FailuresAndTheirStatus) {
  const struct {
    std::string command;
    int status;
    std::string err;
  } cases[] = {
      {zelhost + " --frobnicate", 2, "zelhost: unknown option \"--frobnicate\"\n"},
      {zelhost + " --library", 2, "zelhost: --library needs a PATH\n"},
      {zelhost + " --library ''", 2, "zelhost: --library needs a PATH\n"},
      {zelhost + " --version --list", 2, "zelhost: --version takes no other argument\n"},
      {zelhost + " 'FormatasTime(1)' --help", 2, "zelhost: --help takes no other argument\n"},
      {zelhost + " --library /nonexistent/zelextensions.so --list", 2,
       "zelhost: cannot load \"/nonexistent/zelextensions.so\": "},
      {zelhost + " --library \"$(printf '/nonexistent/a\\nb.so')\"", 2,
       "zelhost: cannot load \"/nonexistent/a\\nb.so\": /nonexistent/a\\nb.so: cannot open"},
      {zelhost + " --library " LACKING_TOOLS_DIR "/libtools.so --list", 2, "it exports no OnInit"},
      {"LD_LIBRARY_PATH=" LACKING_TOOLS_DIR " " + zelhost + " --list", 2, "undefined symbol: ZELSetString"},
      {"ZEL_ROGUE=oninit " + zelhost + " --library " ROGUE, 2, "rogue.so\": OnInit: ZELSetDouble outside an invocation\n"},
      {"ZEL_ROGUE=untexted " + zelhost + " --library " ROGUE " </dev/null", 1, "rogue.so\": refused a declaration without text\n"},
      {"ZEL_ROGUE=constructor " + zelhost + " --library " ROGUE " </dev/null", 1,
       "rogue.so\": AddFunctionCall from a thread on which neither OnInit nor an invocation runs\n"},
      {zelhost + " --library " ROGUE " 'Thread()'", 1, "Thread(): protocol breach: Thread: AddFunctionCall during an invocation\n"},
      {zelhost + " --library " ROGUE " 'Stray()'", 1, "rogue.so\": ZELSetDouble from a thread on which neither OnInit nor an invocation runs\n"},
#if defined(BREACHING)
      {zelhost + " --library " BREACHING " 'StackHigh()'", 1, "StackHigh: left the stack pointer 8 bytes high\n"},
      {zelhost + " --library " BREACHING " 'Direction()'", 1, "Direction: left the direction flag set\n"},
      {zelhost + " --library " BREACHING " 'Rbx()'", 1, "Rbx: left rbx changed\n"},
      {zelhost + " --library " BREACHING " 'R12R13()'", 1, "R12R13: left r12, r13 changed\n"},
      {zelhost + " --library " BREACHING " 'Mxcsr()' 'Mxcsr()'", 1,
       "Mxcsr: left the MXCSR changed\nzelhost: Mxcsr(): protocol breach: Mxcsr: left the MXCSR changed\n"},
#endif
      {zelhost + " 'Nope()'", 1, "zelhost: Nope(): unknown function \"Nope\"\n"},
      {zelhost + " 'FormatasTime(1)' >/dev/full", 1, "zelhost: cannot write the results: No space left on device\n"},
      {zelhost + " --list >/dev/full", 1, "zelhost: cannot write the results: No space left on device\n"},
      {zelhost + " --version >/dev/full", 1, "zelhost: cannot write the results: No space left on device\n"},
      {zelhost + " --help >&-", 1, "zelhost: cannot write the results: Bad file descriptor\n"},
      {zelhost + " 'FormatasTime(1)' >&-", 1, "zelhost: cannot write the results: Bad file descriptor\n"},
      {zelhost + " </", 1, "zelhost: cannot read the expressions: Is a directory\n"},
  };
  for (const auto &c : cases) {
    const Ran r = run(c.command);
    EXPECT_EQ(r.status, c.status) << c.command;
    EXPECT_EQ(r.out, "") << c.command;
    EXPECT_EQ(r.err.find("zelhost: "), 0u) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.command << "\n" << r.err;
    EXPECT_TRUE(lines(r.err)) << c.command;
  }
}

// A line too long for the memory there is.
TEST(Zelhost, ReportsALineTooLongForMemory) {
  const std::string limit = "ulimit -v 100000; ";
  if (run(limit + zelhost + " --version").status != 0)
    GTEST_SKIP() << "zelhost cannot start in 100 MB here (a sanitizer or an emulator)";
  const Ran r = run(limit + "head -c 200000000 /dev/zero | " + zelhost);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "zelhost: cannot read the expressions: Cannot allocate memory\n");
}

}  // namespace
