// The stand-in host on its own: declaration texts, the call protocol it
// enforces, and the reading of expressions and arguments.
#include "evaluate.h"
#include "printing.h"
#include "tools.h"

#include <gtest/gtest.h>

#include <barrier>
#include <thread>

namespace {

// Extension functions that keep or break the protocol in one way each.
std::int32_t v = 0;
int ZEL_CALL keeps() { return ZELGetSLong(&v), ZELSetString("kept"); }
int ZEL_CALL gets_twice() { return ZELGetSLong(&v), ZELGetSLong(&v), ZELSetString("x"); }
int ZEL_CALL gets_a_date() {
  std::int32_t present = 0;
  std::uint32_t value = 0;
  return ZELGetDateTime(&present, &value), ZELSetString("x");
}
int ZEL_CALL gets_after_set() { return ZELGetSLong(&v), ZELSetString("x"), ZELGetSLong(&v); }
int ZEL_CALL sets_nothing() { return ZELGetSLong(&v); }
int ZEL_CALL sets_twice() { return ZELGetSLong(&v), ZELSetString("x"), ZELSetString("y"); }
int ZEL_CALL sets_a_number() { return ZELGetSLong(&v), ZELSetDouble(1.0); }
int ZEL_CALL sets_before_get() { return ZELSetString("x"); }
int ZEL_CALL gets_nowhere() { return ZELGetSLong(nullptr), ZELSetString("x"); }
int ZEL_CALL sets_no_text() { return ZELGetSLong(&v), ZELSetString(nullptr); }
int ZEL_CALL registers() { return ZELGetSLong(&v), AddFunctionCall(keeps, "String G(Numeric V)"), ZELSetString("x"); }
std::int32_t present = 0;
std::uint32_t when = 0;
int ZEL_CALL gets_no_presence() { return ZELGetDateTime(nullptr, &when), ZELSetString("x"); }
int ZEL_CALL gets_no_date() { return ZELGetDateTime(&present, nullptr), ZELSetString("x"); }
int ZEL_CALL returns_refused() { return ZELGetSLong(&v), ZELSetString("x"), AddFunctionCall(keeps, "String G(Numeric V)"); }

// Registers `function` under `declaration` as a library does, from its
// OnInit; returns what AddFunctionCall returned.
ZELFunction function_to_register = nullptr;
const char *declaration_to_register = nullptr;
int ZEL_CALL registers_one() { return AddFunctionCall(function_to_register, declaration_to_register); }
int add(ZELFunction function, const char *declaration) {
  function_to_register = function;
  declaration_to_register = declaration;
  return tools::initialise(registers_one).returned;
}

class Host : public ::testing::Test {
 protected:
  void SetUp() override { tools::forget_all(); }
  void TearDown() override { tools::forget_all(); }
};

TEST_F(Host, ParsesDeclarations) {
  using tools::Type;
  std::string error;
  const std::optional<tools::Signature> s = tools::parse_declaration("Numeric DateDiff(Date V1, Date V2)", error);
  ASSERT_TRUE(s) << error;
  EXPECT_EQ(s->result, Type::Numeric);
  EXPECT_EQ(s->name, "DateDiff");
  ASSERT_EQ(s->parameters.size(), 2u);
  EXPECT_EQ(s->parameters[1].type, Type::Date);
  EXPECT_EQ(s->parameters[1].name, "V2");
  const std::optional<tools::Signature> named = tools::parse_declaration("Numeric Day_of(Date a_b)", error);
  ASSERT_TRUE(named) << error;
  EXPECT_EQ(named->name, "Day_of");
  EXPECT_EQ(named->parameters[0].name, "a_b");
  ASSERT_TRUE(tools::parse_declaration("String Now()", error));
  EXPECT_TRUE(tools::parse_declaration("String Now()", error)->parameters.empty());
}

TEST_F(Host, RefusesMalformedDeclarations) {
  const struct {
    const char *text, *why;
  } cases[] = {
      {"", "expected the type of the function"},
      {"String", "expected a blank"},
      {"String FormatasTime", "expected \"(\""},
      {"Strin FormatasTime(Numeric V)", "unknown type \"Strin\""},
      {"String FormatasTime(Number V)", "unknown type \"Number\""},
      {"String  FormatasTime(Numeric V)", "expected the name of the function"},
      {"String 1F(Numeric V)", "expected the name of the function"},
      {"String F(Numeric)", "expected a blank"},
      {"String F(Numeric V,Numeric W)", "expected \", \" or \")\""},
      {"String F(Numeric V, )", "expected the type of a parameter"},
      {"String F(Numeric V", "expected \", \" or \")\""},
      {"String F(Numeric V) ", "unexpected text"},
      {"String F(Numeric V)\r\n", "unexpected text"},
      {"String F(String s)", "parameter s is a String, and no operation fetches a String"},
      {"Date F()", "the result is a Date, and no operation delivers a Date"},
      {"Numeric F(Numeric x, Date x)", "two parameters named x"},
  };
  for (const auto &c : cases) {
    EXPECT_NE(add(keeps, c.text), 0);
    const std::vector<tools::Refusal> refusals = tools::refusals();
    ASSERT_EQ(refusals.size(), 1u) << c.text;
    EXPECT_EQ(refusals[0].declaration, c.text);
    EXPECT_NE(refusals[0].reason.find(c.why), std::string::npos) << refusals[0].reason;
    EXPECT_TRUE(tools::registrations().empty()) << c.text;
    tools::forget_all();
  }
}

TEST_F(Host, EnforcesTheCallProtocol) {
  const struct {
    ZELFunction function;
    const char *declaration, *breach;
  } cases[] = {
      {keeps, "String F(Numeric V)", ""},
      {gets_twice, "String F(Numeric V)", "F: ZELGetSLong beyond the 1 declared parameter(s)"},
      {gets_a_date, "String F(Numeric V)", "F: ZELGetDateTime for parameter V of type Numeric"},
      {gets_after_set, "String F(Numeric V)", "F: ZELGetSLong after the Set"},
      {sets_nothing, "String F(Numeric V)", "F: no Set"},
      {sets_twice, "String F(Numeric V)", "F: a second Set, ZELSetString"},
      {sets_a_number, "String F(Numeric V)", "F: ZELSetDouble for a result of type String"},
      {sets_before_get, "String F(Numeric V)", "F: ZELSetString before parameter V was fetched"},
      {gets_nowhere, "String F(Numeric V)", "F: ZELGetSLong without a place for the value"},
      {sets_no_text, "String F(Numeric V)", "F: ZELSetString without a text"},
      {registers, "String F(Numeric V)", "F: AddFunctionCall during an invocation"},
      {returns_refused, "String F(Numeric V)", "F: AddFunctionCall during an invocation"},
      {gets_no_presence, "String F(Date V)", "F: ZELGetDateTime without a place for the value"},
      {gets_no_date, "String F(Date V)", "F: ZELGetDateTime without a place for the value"},
  };
  for (const auto &c : cases) {
    add(c.function, c.declaration);
    const tools::Argument argument = std::string_view(c.declaration).find("Date") != std::string_view::npos
                                         ? tools::Argument{tools::Date{true, 1}}
                                         : tools::Argument{std::int32_t{7}};
    const tools::Outcome outcome = tools::invoke(*tools::find("F"), {&argument, 1});
    EXPECT_EQ(outcome.error, c.breach);
    EXPECT_EQ(outcome.value.has_value(), outcome.error.empty()) << c.breach;
    EXPECT_EQ(tools::registrations().size(), 1u) << c.breach;
    tools::forget_all();
  }
  // Arguments that do not match the declaration are refused before the call.
  add(keeps, "String F(Numeric V)");
  const tools::Argument date = tools::Date{true, 1};
  EXPECT_EQ(tools::invoke(*tools::find("F"), {&date, 1}).error, "F: arguments that do not match the parameters");
  add(keeps, "String G(Numeric V, Date W)");  // the second argument too
  const tools::Argument numbers[] = {std::int32_t{7}, std::int32_t{7}};
  EXPECT_EQ(tools::invoke(*tools::find("G"), numbers).error, "G: arguments that do not match the parameters");
  tools::forget_all();
  const tools::Outcome init = tools::initialise(keeps);
  EXPECT_EQ(init.error, "OnInit: ZELGetSLong outside an invocation");
  // Outside OnInit and any invocation: nothing done, the first one noted.
  AddFunctionCall(keeps, "String G(Numeric V)");
  ZELSetDouble(1.0);
  EXPECT_TRUE(tools::registrations().empty());
  EXPECT_EQ(tools::stray_operation(), "AddFunctionCall from a thread on which neither OnInit nor an invocation runs");
}

TEST_F(Host, ANameRegistersOnce) {
  add(keeps, "String F(Numeric V)");
  add(sets_nothing, "Numeric F(Date D)");
  ASSERT_EQ(tools::refusals().size(), 1u);
  EXPECT_EQ(tools::refusals()[0].declaration, "Numeric F(Date D)");
  EXPECT_EQ(tools::refusals()[0].reason, "a function named F is registered already");
  ASSERT_EQ(tools::registrations().size(), 1u);
  EXPECT_EQ(tools::find("F")->function, keeps);
}

TEST_F(Host, EachOperationReturnsADistinctResult) {
  const int first = add(keeps, "String F(Numeric V)");
  add(returns_refused, "String R(Numeric V)");
  const tools::Argument argument = std::int32_t{7};
  const tools::Outcome outcome = tools::invoke(*tools::find("F"), {&argument, 1});
  EXPECT_EQ(outcome.returned, outcome.set_returned);
  EXPECT_NE(outcome.returned, first);
  EXPECT_NE(outcome.returned, 0);
  // A refused registration's result too.
  const tools::Outcome refused = tools::invoke(*tools::find("R"), {&argument, 1});
  EXPECT_NE(refused.returned, refused.set_returned);
  EXPECT_NE(refused.returned, outcome.returned);
  EXPECT_NE(refused.returned, 0);
}

// A registration from a thread of its own, racing the end of an invocation,
// breaches that invocation or is noted as stray: it is never lost.
TEST_F(Host, RegistrationsRacingAnInvocationAreAllReported) {
  add(keeps, "String F(Numeric V)");
  const tools::Registration f = *tools::find("F");
  constexpr int rounds = 10000;
  std::barrier round(2);
  std::thread registrar([&] {
    for (int i = 0; i < rounds; ++i) {
      round.arrive_and_wait();
      AddFunctionCall(keeps, "String G(Numeric V)");
      round.arrive_and_wait();
    }
  });
  int lost = 0;
  for (int i = 0; i < rounds; ++i) {
    round.arrive_and_wait();
    const tools::Argument argument = std::int32_t{7};
    const tools::Outcome outcome = tools::invoke(f, {&argument, 1});
    round.arrive_and_wait();
    lost += outcome.error.empty() && tools::stray_operation().empty();
    tools::forget_all();
  }
  registrar.join();
  EXPECT_EQ(lost, 0);
}

TEST_F(Host, ReadsNumericArguments) {
  const std::string longest(zelhost::longest_numeric, '0');
  const struct {
    std::string_view text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"0", 0},       {"-0", 0},         {"42", 42},     {"1.9", 1},   {"-1.9", -1},  {"1e3", 1000},
      {"2147483647", 2147483647},        {"2147483647.99", 2147483647},
      {"-2147483648", -2147483647 - 1},  {"-2147483648.99", -2147483647 - 1},
      {"2147483648", std::nullopt},      {"-2147483649", std::nullopt}, {"1e10", std::nullopt},
      {"1e999", std::nullopt},           {"inf", std::nullopt},         {"nan", std::nullopt},
      {"", std::nullopt},                {"1x", std::nullopt},          {"+1", std::nullopt},
      {"0x10", std::nullopt},            {"1,5", std::nullopt},
      // Truncated on the digits, not on the nearest double.
      {"0.99999999999999999", 0},        {"-1.99999999999999999", -1},
      {"2147483647.9999999999", 2147483647}, {"-2147483648.9999999999", -2147483647 - 1},
      {"21474836479999999999e-10", 2147483647}, {"0.000000000000000000002147483648e30", std::nullopt},
      {"1e1.", std::nullopt}, {"1e-.", std::nullopt}, {"1e-400", 0},      {"-1e-400", 0},     {"0e999999999999999999999", 0}, {"00000000000000000000042", 42},
      {".5", 0},          {"5.", 5},          {"-.5e1", -5},  {"1E+2", 100},  {"1.5e", std::nullopt},
      {".", std::nullopt}, {"-", std::nullopt}, {"1..2", std::nullopt}, {"1e1.5", std::nullopt},
      {"infinity", std::nullopt}, {"-inf", std::nullopt}, {"1 2", std::nullopt},
      // Only the text itself is read, never what follows it.
      {std::string_view("15", 1), 1}, {std::string_view("1e15", 3), 10},
      // A text of more characters than a number may have is refused, whatever its value.
      {longest, 0}, {longest + "1", std::nullopt},
  };
  for (const auto &c : cases) {
    std::string error;
    EXPECT_EQ(zelhost::parse_numeric(c.text, error), c.value) << c.text;
    EXPECT_EQ(error.empty(), c.value.has_value()) << c.text << ": " << error;
  }
}

TEST_F(Host, RefusesBadExpressions) {
  add(keeps, "String F(Numeric V)");
  add(keeps, "String F_1(Numeric V)");
  add(sets_nothing, "String Bad(Numeric V)");
  const struct {
    const char *expression, *error;
  } cases[] = {
      {"", "expected a call"},
      {"F", "expected a call"},
      {"F(1", "unbalanced parentheses"},
      {"F 1)", "unbalanced parentheses"},
      {"F((1))", "expected a call"},
      {"F(1)x", "expected a call"},
      {"1F(1)", "malformed function name \"1F\""},
      {"G(1)", "unknown function \"G\""},
      {"F()", "F takes 1 argument(s), not 0"},
      {"F(1, 2)", "F takes 1 argument(s), not 2"},
      {"F(x)", "malformed Numeric argument \"x\""},
      {"F(4294967296)", "outside the signed 32-bit range"},
      {"Bad(1)", "protocol breach: Bad: no Set"},
  };
  for (const auto &c : cases) {
    const zelhost::Evaluation e = zelhost::evaluate(c.expression);
    EXPECT_FALSE(e.ok) << c.expression;
    EXPECT_NE(e.text.find(c.error), std::string::npos) << c.expression << ": " << e.text;
  }
  for (const char *call : {"  F ( 12 ) ", "F_1(12)"}) {
    const zelhost::Evaluation e = zelhost::evaluate(call);
    EXPECT_TRUE(e.ok) << e.text;
    EXPECT_EQ(e.text, "kept");
  }
}

TEST_F(Host, PrintsValuesOnOneLine) {
  EXPECT_EQ(zelhost::format_value(std::string("0:00:00")), "0:00:00");
  EXPECT_EQ(zelhost::format_value(std::string("a\nb\rc\td\\e")), "a\\nb\\rc\\td\\\\e");
  EXPECT_EQ(zelhost::format_value(std::string("\x01\x1b\x7f \xc3\xa9")), "\\x01\\x1B\\x7F \xc3\xa9");
  EXPECT_EQ(zelhost::format_value(std::string("\x08\x18\x19")), "\\x08\\x18\\x19");
  EXPECT_EQ(zelhost::format_value(1.0), "1");
  EXPECT_EQ(zelhost::format_value(0.5), "0.5");
  EXPECT_EQ(zelhost::format_value(1.0 / 86400.0), "1.1574074074074073e-05");
  EXPECT_EQ(zelhost::format_value(-49710.26961805556), "-49710.26961805556");
}

TEST_F(Host, ReadsDateArguments) {
  const struct {
    const char *text;
    std::optional<std::uint32_t> value;
    const char *error;
  } cases[] = {
      {"1970-01-01", 0, ""},
      {"1970-01-01 00:00:01", 1, ""},
      {"1972-02-29", 68169600, ""},
      {"2000-02-29", 951782400, ""},
      {"2024-02-29 12:00", 1709208000, ""},
      {"2024-02-29T12:00:00", 1709208000, ""},
      {"2038-01-19 03:14:08", 2147483648u, ""},
      {"2100-02-28 23:59:59", 4107542399u, ""},
      {"2100-03-01", 4107542400u, ""},
      {"2106-02-07 06:28:15", 4294967295u, ""},
      {"2023-02-29", std::nullopt, "no such day"},
      {"2100-02-29", std::nullopt, "no such day"},
      {"2024-04-31", std::nullopt, "no such day"},
      {"2024-13-01", std::nullopt, "no such day"},
      {"2024-00-10", std::nullopt, "no such day"},
      {"2024-01-00", std::nullopt, "no such day"},
      {"2024-01-01 24:00", std::nullopt, "hour is outside 00-23"},
      {"2024-01-01 23:60", std::nullopt, "minute is outside 00-59"},
      {"2024-01-01 23:59:60", std::nullopt, "second is outside 00-59"},
      {"1969-12-31 23:59:59", std::nullopt, "is outside 1970-01-01 00:00:00 to 2106-02-07 06:28:15"},
      {"2106-02-07 06:28:16", std::nullopt, "is outside"},
      {"9999-12-31", std::nullopt, "is outside"},
      {"0000-01-01", std::nullopt, "is outside"},
  };
  for (const auto &c : cases) {
    std::string error = "left over";  // the result does not depend on it
    const std::optional<tools::Date> date = zelhost::parse_date(c.text, error);
    ASSERT_EQ(date.has_value(), c.value.has_value()) << c.text << ": " << error;
    if (date) {
      EXPECT_TRUE(date->present) << c.text;
      EXPECT_EQ(date->value, *c.value) << c.text;
    } else {
      EXPECT_EQ(error.find("Date argument \"" + std::string(c.text) + "\""), 0u) << error;
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
  }
  std::string error;
  const std::optional<tools::Date> absent = zelhost::parse_date("null", error);
  ASSERT_TRUE(absent);
  EXPECT_FALSE(absent->present);
}

TEST_F(Host, RefusesMalformedDates) {
  for (const char *text : {"", "NULL", "24-01-01", "2024/01/01", "2024-1-01", "+024-01-01", "2024-01-01 1:00",
                           "2024-01-01  01:00", "2024-01-01x01:00", "2024-01-01 01:00:0", "2024-01-01 01-00",
                           "2024-01-01 01:00:00Z", "2024-01-01T", "2024-01-01 01:00:00.5"}) {
    std::string error;
    EXPECT_FALSE(zelhost::parse_date(text, error)) << text;
    EXPECT_EQ(error.find("malformed Date argument \"" + std::string(text) + "\""), 0u) << error;
  }
}

}  // namespace
