// The option parser the tools share, and its number checks.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tools/options/tool_options.h"

namespace quirvel::cli {
namespace {

struct ParseCase {
  const char* name;
  std::vector<std::string> args;
  std::string log;  // what the handlers saw, or the error message
};

// A parser with every kind of argument; each handler notes what it got.
std::string ParseLog(const std::vector<std::string>& args) {
  std::string log;
  const auto note = [&](const std::string& name, const std::string& value) {
    log += name + "=" + value + ";";
  };
  OptionParser parser;
  parser.Value("--name", note)
      .Value("--item", note)
      .Switch("--flag", [&] { log += "--flag;"; })
      .Switch("-h", [&] { log += "-h;"; })
      .Positional("FILE", note)
      .Positional("OUT", note);
  try {
    parser.Parse(args);
  } catch (const UsageError& error) {
    return error.what();
  }
  return log;
}

class OptionParserTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(OptionParserTest, CallsHandlersInOrderOrNamesTheBadArgument) {
  EXPECT_EQ(ParseLog(GetParam().args), GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, OptionParserTest,
    ::testing::Values(ParseCase{"NextArgument", {"--name", "a"}, "--name=a;"},
                      ParseCase{"Inline", {"--name=a"}, "--name=a;"},
                      ParseCase{"InlineKeepsLaterEquals", {"--item=--profile=bge"}, "--item=--profile=bge;"},
                      ParseCase{"InlineEmpty", {"--name="}, "--name=;"},
                      ParseCase{"ValueThatLooksLikeAnOption", {"--item", "--flag"}, "--item=--flag;"},
                      ParseCase{"Repeated", {"--item", "x", "--item=y"}, "--item=x;--item=y;"},
                      ParseCase{
                          "SwitchesAndPositionals", {"f", "--flag", "-h", "o"}, "FILE=f;--flag;-h;OUT=o;"},
                      ParseCase{"DashesThatAreNotOptions", {"-", "-x"}, "FILE=-;OUT=-x;"},
                      ParseCase{"Nothing", {}, ""},
                      ParseCase{"MissingValue", {"--item", "x", "--name"}, "--name: missing value"},
                      ParseCase{"Unknown", {"--fast"}, "--fast: unknown option"},
                      ParseCase{"UnknownInline", {"--fast=1"}, "--fast=1: unknown option"},
                      ParseCase{"PrefixOfAName", {"--nam", "a"}, "--nam: unknown option"},
                      ParseCase{"SwitchGivenAValue", {"--flag=yes"}, "--flag: takes no value, got \"yes\""},
                      ParseCase{"PositionalTooMany", {"a", "b", "c"}, "c: unexpected argument"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OptionParserTest, HandlerErrorsPassThrough) {
  OptionParser parser;
  parser.Value("--count", [](auto& name, auto& value) { ParseInteger<int>(name, value); });
  EXPECT_THROW(parser.Parse({"--count=x"}), UsageError);
}

enum class Type { kInt32, kUint32, kInt64, kUint64, kAtLeastOne };

struct NumberCase {
  Type type;
  std::string text;
  std::string parsed;  // empty: refused
};

void PrintTo(const NumberCase& c, std::ostream* out) {
  *out << "type " << static_cast<int>(c.type) << ", \"" << c.text << "\"";
}

std::string ParseAs(Type type, const std::string& text) {
  switch (type) {
    case Type::kInt32:
      return std::to_string(ParseInteger<std::int32_t>("--n", text));
    case Type::kUint32:
      return std::to_string(ParseInteger<std::uint32_t>("--n", text));
    case Type::kInt64:
      return std::to_string(ParseInteger<std::int64_t>("--n", text));
    case Type::kUint64:
      return std::to_string(ParseInteger<std::uint64_t>("--n", text));
    case Type::kAtLeastOne:
      return std::to_string(ParseInteger<std::size_t>("--n", text, 1, 100));
  }
  return "";
}

class ParseIntegerTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParseIntegerTest, ReadsTheWholeTextWithinRange) {
  const NumberCase& c = GetParam();
  if (c.parsed.empty()) {
    EXPECT_THROW(ParseAs(c.type, c.text), UsageError) << c.text;
  } else {
    EXPECT_EQ(ParseAs(c.type, c.text), c.parsed);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseIntegerTest,
    ::testing::Values(
        NumberCase{Type::kInt32, "42", "42"}, NumberCase{Type::kInt32, "+42", "42"},
        NumberCase{Type::kInt32, "-42", "-42"}, NumberCase{Type::kInt32, "007", "7"},
        NumberCase{Type::kInt32, "2147483647", "2147483647"}, NumberCase{Type::kInt32, "2147483648", ""},
        NumberCase{Type::kInt32, "-2147483648", "-2147483648"}, NumberCase{Type::kInt32, "-2147483649", ""},
        NumberCase{Type::kInt32, "", ""}, NumberCase{Type::kInt32, "12abc", ""},
        NumberCase{Type::kInt32, " 5", ""}, NumberCase{Type::kInt32, "5 ", ""},
        NumberCase{Type::kInt32, "+", ""}, NumberCase{Type::kInt32, "+-5", ""},
        NumberCase{Type::kInt32, "0x10", ""}, NumberCase{Type::kInt32, "1e3", ""},
        NumberCase{Type::kInt32, "99999999999999999999999", ""},
        NumberCase{Type::kUint32, "4294967295", "4294967295"}, NumberCase{Type::kUint32, "4294967296", ""},
        NumberCase{Type::kUint32, "-1", ""}, NumberCase{Type::kUint32, "-0", ""},
        NumberCase{Type::kInt64, "-9223372036854775808", "-9223372036854775808"},
        NumberCase{Type::kInt64, "9223372036854775808", ""},
        NumberCase{Type::kUint64, "18446744073709551615", "18446744073709551615"},
        NumberCase{Type::kUint64, "18446744073709551616", ""}, NumberCase{Type::kUint64, "-1", ""},
        NumberCase{Type::kAtLeastOne, "1", "1"}, NumberCase{Type::kAtLeastOne, "0", ""},
        NumberCase{Type::kAtLeastOne, "100", "100"}, NumberCase{Type::kAtLeastOne, "101", ""}));

TEST(ParseIntegerTest, MessageNamesTheOptionAndTheRange) {
  try {
    ParseInteger<std::size_t>("--count", "12abc", 1, 50);
    FAIL() << "12abc was accepted";
  } catch (const UsageError& error) {
    EXPECT_STREQ(error.what(), "--count: expected an integer from 1 to 50, got \"12abc\"");
  }
}

struct DecimalCase {
  std::string text;
  double parsed;  // < 0: refused
};

void PrintTo(const DecimalCase& c, std::ostream* out) { *out << "\"" << c.text << "\""; }

class ParseNonNegativeDecimalTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(ParseNonNegativeDecimalTest, ReadsAFiniteNumberAtLeastZero) {
  const DecimalCase& c = GetParam();
  if (c.parsed < 0) {
    EXPECT_THROW(ParseNonNegativeDecimal("--pct", c.text), UsageError) << c.text;
  } else {
    EXPECT_DOUBLE_EQ(ParseNonNegativeDecimal("--pct", c.text), c.parsed);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseNonNegativeDecimalTest,
                         ::testing::Values(DecimalCase{"2.5", 2.5}, DecimalCase{"0", 0}, DecimalCase{"+3", 3},
                                           DecimalCase{".5", 0.5}, DecimalCase{"1e-3", 0.001},
                                           DecimalCase{"-1", -1}, DecimalCase{"-0", -1}, DecimalCase{"", -1},
                                           DecimalCase{"2.5x", -1}, DecimalCase{" 2", -1},
                                           DecimalCase{"nan", -1}, DecimalCase{"inf", -1},
                                           DecimalCase{"1e999", -1}, DecimalCase{"0x10", -1}));

}  // namespace
}  // namespace quirvel::cli
