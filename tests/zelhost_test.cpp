// zelhost as a user runs it: what goes to stdout and stderr, and the exit
// status.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

struct Ran {
  int status;
  std::string out, err;
};

std::string slurp(const std::string &path) {
  std::ostringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

// Runs `command` through the shell with `input` on stdin.
Ran run(const std::string &command, const std::string &input = "") {
  // Tests may run at once: each has files of its own.
  const std::string dir = ::testing::TempDir() + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".";
  std::ofstream(dir + "in") << input;
  const int status = std::system((command + " <" + dir + "in >" + dir + "out 2>" + dir + "err").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir + "out"), slurp(dir + "err")};
}

const std::string zelhost = ZELHOST;

TEST(Zelhost, ListsTheRegistrations) {
  const Ran r = run(zelhost + " --list");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "String FormatasTime(Numeric V)\nNumeric DateDiff(Date V1, Date V2)\n");
  EXPECT_EQ(r.err, "");
}

TEST(Zelhost, PrintsEachResultAndOneLinePerFailure) {
  const Ran r = run(zelhost + " 'FormatasTime(3661)' 'FormatasTime(1' 'FormatasTime(-2147483648)' 'Nope(1)' "
                              "'FormatasTime(1, 2)' 'FormatasTime(9e9)' 'FormatasTime(x)' 'FormatasTime(-1.5)'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "1:01:01\n-596523:14:08\n-0:00:01\n");
  EXPECT_EQ(r.err,
            "zelhost: FormatasTime(1: unbalanced parentheses\n"
            "zelhost: Nope(1): unknown function \"Nope\"\n"
            "zelhost: FormatasTime(1, 2): FormatasTime takes 1 argument(s), not 2\n"
            "zelhost: FormatasTime(9e9): Numeric argument \"9e9\" is outside the signed 32-bit range\n"
            "zelhost: FormatasTime(x): malformed Numeric argument \"x\"\n");
}

TEST(Zelhost, EvaluatesDateDiff) {
  const Ran r = run(zelhost + " 'DateDiff(2024-01-01, 2024-01-02 01:01:01)' 'DateDiff(2024-01-02, 2024-01-01)' "
                              "'DateDiff(null, 2024-01-01)' 'DateDiff(2023-02-29, 2024-01-01)' 'DateDiff(null)' "
                              "'DateDiff(1970-01-01, 2106-02-07T06:28:15)' 'DateDiff(2024-01-01, 2024-01-01 25:00)'");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "1.042372685185185\n-1\n0\n49710.26961805556\n");
  EXPECT_EQ(r.err,
            "zelhost: DateDiff(2023-02-29, 2024-01-01): Date argument \"2023-02-29\": there is no such day\n"
            "zelhost: DateDiff(null): DateDiff takes 2 argument(s), not 1\n"
            "zelhost: DateDiff(2024-01-01, 2024-01-01 25:00): Date argument \"2024-01-01 25:00\": the hour is "
            "outside 00-23\n");
}

TEST(Zelhost, ReadsExpressionsFromStandardInput) {
  Ran r = run(zelhost, "FormatasTime(59)\n\nFormatasTime(86400)\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "0:00:59\n24:00:00\n");
  r = run(zelhost, "FormatasTime(\nFormatasTime(0)\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "0:00:00\n");
  EXPECT_EQ(r.err, "zelhost: FormatasTime(: unbalanced parentheses\n");
}

TEST(Zelhost, UsageErrorsAndLibrariesThatDoNotLoad) {
  const struct {
    std::string command, err;
  } cases[] = {
      {zelhost + " --frobnicate", "zelhost: unknown option \"--frobnicate\"\n"},
      {zelhost + " --library", "zelhost: --library needs a PATH\n"},
      {zelhost + " --library /nonexistent/zelextensions.so --list",
       "zelhost: cannot load \"/nonexistent/zelextensions.so\": "},
      {zelhost + " --library " LACKING_TOOLS_DIR "/libtools.so --list", "it exports no OnInit"},
      {"LD_LIBRARY_PATH=" LACKING_TOOLS_DIR " " + zelhost + " --list", "undefined symbol: ZELSetString"},
  };
  for (const auto &c : cases) {
    const Ran r = run(c.command);
    EXPECT_EQ(r.status, 2) << c.command;
    EXPECT_EQ(r.out, "") << c.command;
    EXPECT_EQ(r.err.find("zelhost: "), 0u) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.command << "\n" << r.err;
  }
}

}  // namespace
