// The wire protocol driven from memory: request lines in, exact reply bytes out.
#include "host/request_loop.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/unicode.h"

namespace quirvel {
namespace {

constexpr const char* kNullModelMetrics =
    R"("candidate_cache_hits":0,"candidate_cache_misses":0,"candidate_cache_size":0,"dimension":0,)";

std::string Serve(const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  RequestLoop(nullptr, in, out);
  return out.str();
}

// The JSON library's own message for a document it refuses or a member read it refuses.
std::string ParseErrorOf(const std::string& line) {
  try {
    const Json parsed = Json::parse(line);
    ADD_FAILURE() << "parsed: " << parsed.dump();
  } catch (const Json::exception& error) {
    return error.what();
  }
  return {};
}

std::string ErrorLine(const std::string& id, const std::string& message) {
  return R"({"error":")" + message + R"(","id":")" + id + R"(","ok":false})" + "\n";
}

struct LoopCase {
  const char* label;
  std::string input;
  std::string expected_output;
};

TEST(RequestLoopTest, AnswersEachRequestWithTheExactReply) {
  const LoopCase cases[] = {
      {"shutdown",
       R"({"id":"a","type":"shutdown"})"
       "\n",
       R"({"id":"a","ok":true})"
       "\n"},
      {"metrics of an absent model",
       R"({"id":"m","type":"metrics"})"
       "\n",
       std::string("{") + kNullModelMetrics +
           R"("id":"m","ok":true})"
           "\n"},
      {"numeric id is not echoed",
       R"({"id":7,"type":"metrics"})"
       "\n",
       std::string("{") + kNullModelMetrics +
           R"("id":"","ok":true})"
           "\n"},
      {"convert ascii",
       R"({"id":"c","type":"convert","title":"USB-C 65W"})"
       "\n",
       R"({"id":"c","normalized_title":"USB-C 65W","ok":true})"
       "\n"},
      {"type absent",
       R"({"id":"a"})"
       "\n",
       ErrorLine("a", "unsupported request type: ")},
      {"type compared case-sensitively",
       R"({"id":"a","type":"Extract"})"
       "\n",
       ErrorLine("a", "unsupported request type: Extract")},
      {"unknown type kept raw",
       R"({"type":"抽取"})"
       "\n",
       ErrorLine("", "unsupported request type: 抽取")},
      {"extract without title",
       R"({"id":"e","type":"extract"})"
       "\n",
       ErrorLine("e", "extract request requires string field: title")},
      {"extract with numeric title",
       R"({"id":"e","type":"extract","title":5})"
       "\n",
       ErrorLine("e", "extract request requires string field: title")},
      {"convert without string title",
       R"({"id":"c","type":"convert","title":null})"
       "\n",
       ErrorLine("c", "convert request requires string field: title")},
      {"empty line has no reply", "\n\n", ""},
      {"end of input without newline", R"({"id":"z"})", ErrorLine("z", "unsupported request type: ")},
      {"carriage return stays part of the line", "{\"id\":\"r\",\"type\":\"shutdown\"}\r\n",
       R"({"id":"r","ok":true})"
       "\n"},
      // A NUL in a title is carried through, not taken for its end.
      {"a title holding a NUL",
       R"({"id":"n","type":"extract","title":"a\u0000b 耳機"})"
       "\n",
       std::string("{") + kNullModelMetrics +
           R"("id":"n","keywords":"a\u0000b 耳機","len":6,"ok":true,"title":"a\u0000b 耳機"})"
           "\n"},
      {"members not named are ignored",
       R"({"id":"a","type":"shutdown","extra":[1,2]})"
       "\n",
       R"({"id":"a","ok":true})"
       "\n"},
  };
  for (const LoopCase& c : cases) EXPECT_EQ(Serve(c.input), c.expected_output) << c.label;
}

TEST(RequestLoopTest, LibraryErrorsAreRepliedWithTheLibrarysMessage) {
  const LoopCase cases[] = {
      {"malformed json", "{\"id\":\"a\",", ErrorLine("", ParseErrorOf("{\"id\":\"a\","))},
      {"blank line", "   ", ErrorLine("", ParseErrorOf("   "))},
      {"carriage return alone", "\r", ErrorLine("", ParseErrorOf("\r"))},
      {"comments are not json", "{} // x", ErrorLine("", ParseErrorOf("{} // x"))},
      {"not an object", "[1]",
       ErrorLine("", "[json.exception.type_error.306] cannot use value() with array")},
      {"a bare string", "\"a\"",
       ErrorLine("", "[json.exception.type_error.306] cannot use value() with string")},
      {"type not a string", R"({"id":"q","type":5})",
       ErrorLine("q", "[json.exception.type_error.302] type must be string, but is number")},
  };
  for (const LoopCase& c : cases) EXPECT_EQ(Serve(c.input + "\n"), c.expected_output) << c.label;
}

TEST(RequestLoopTest, MaxLenOfTheWrongTypeIsATypeError) {
  const char* values[] = {"\"5\"", "null", "[5]", "{\"n\":5}"};
  for (const char* value : values) {
    const std::string line =
        std::string(R"({"id":"x","type":"extract","title":"abc","max_len":)") + value + "}";
    const std::string reply = Serve(line + "\n");
    EXPECT_EQ(reply.rfind(R"({"error":"[json.exception.type_error.302] type must be number, but is )", 0), 0u)
        << value << ": " << reply;
    EXPECT_NE(reply.find(R"(","id":"x","ok":false})"), std::string::npos) << value;
  }
}

TEST(RequestLoopTest, ServingGoesOnAfterAnErrorAndStopsAtShutdown) {
  std::istringstream in(
      "oops\n\n{\"id\":\"b\",\"type\":\"shutdown\"}\n{\"id\":\"c\",\"type\":\"metrics\"}\n");
  std::ostringstream out;
  RequestLoop(nullptr, in, out);
  EXPECT_EQ(out.str(), ErrorLine("", ParseErrorOf("oops")) + R"({"id":"b","ok":true})"
                                                             "\n");
  std::string unread;
  ASSERT_TRUE(std::getline(in, unread));
  EXPECT_EQ(unread, R"({"id":"c","type":"metrics"})");
}

// A byte that is not UTF-8 is quoted by the parse error; the reply must still be
// written (as U+FFFD) and the next request served.
TEST(RequestLoopTest, InvalidUtf8InARequestDoesNotStopServing) {
  const std::string reply = Serve("{\"id\":\"a\",\"type\":\"\xFF\"}\n{\"id\":\"b\",\"type\":\"shutdown\"}\n");
  const std::string::size_type first_end = reply.find('\n');
  ASSERT_NE(first_end, std::string::npos);
  const std::string first = reply.substr(0, first_end);
  EXPECT_EQ(first.rfind(R"({"error":"[json.exception.parse_error.101])", 0), 0u) << first;
  EXPECT_NE(first.find("\xEF\xBF\xBD"), std::string::npos) << first;
  EXPECT_TRUE(IsValidUtf8(first)) << "reply is not valid UTF-8";
  EXPECT_EQ(reply.substr(first_end + 1), R"({"id":"b","ok":true})"
                                         "\n");
}

TEST(RequestLoopTest, ExtractRepliesHaveSortedMembersAndFlatMetrics) {
  const std::string reply = Serve(R"({"id":"x","type":"extract","title":"USB cable","max_len":3})"
                                  "\n");
  EXPECT_EQ(reply.rfind(std::string("{") + kNullModelMetrics + R"("id":"x","keywords":")", 0), 0u) << reply;
  const Json parsed = Json::parse(reply);
  std::vector<std::string> names;
  for (const auto& member : parsed.items()) names.push_back(member.key());
  const std::vector<std::string> expected = {"candidate_cache_hits",
                                             "candidate_cache_misses",
                                             "candidate_cache_size",
                                             "dimension",
                                             "id",
                                             "keywords",
                                             "len",
                                             "ok",
                                             "title"};
  EXPECT_EQ(names, expected);
  EXPECT_TRUE(parsed["len"].is_number_unsigned());
  EXPECT_TRUE(parsed["ok"].get<bool>());
  EXPECT_EQ(reply.back(), '\n');
  EXPECT_EQ(reply.find(' ', 0), reply.find("USB cable") + 3) << "compact form has no blanks between tokens";
}

TEST(RequestLoopTest, MaxLenBelowOneBehavesAsTheDefault) {
  const std::string base = R"({"id":"x","type":"extract","title":"abcdefghijklmnopqrstuvwxyz0123456789")";
  const std::string expected = Serve(base + R"(,"max_len":24})"
                                            "\n");
  for (const char* value :
       {"", ",\"max_len\":0", ",\"max_len\":-3", ",\"max_len\":-1e20", ",\"max_len\":false"})
    EXPECT_EQ(Serve(base + value + "}\n"), expected) << value;
  EXPECT_NE(Serve(base + R"(,"max_len":5})"
                         "\n"),
            expected);
}

TEST(RequestLoopTest, DetailAndTopOfAnyOtherValueAreAnErrorNamingTheMember) {
  const std::string detail = "extract request requires boolean field: detail";
  const std::string top = "extract request requires integer field from 1 to 100: top";
  const struct {
    const char* members;
    const std::string& message;
  } cases[] = {
      {R"("detail":"true")", detail}, {R"("detail":1)", detail},
      {R"("detail":null)", detail},   {R"("detail":[true])", detail},
      {R"("detail":{})", detail},     {R"("top":0)", top},
      {R"("top":101)", top},          {R"("top":-5)", top},
      {R"("top":2.5)", top},          {R"("top":"5")", top},
      {R"("top":true)", top},         {R"("top":null)", top},
      {R"("top":[5])", top},          {R"("top":{"n":5})", top},
      {R"("top":1e300)", top},        {R"("detail":true,"top":0)", top},
  };
  for (const auto& c : cases) {
    const std::string line =
        std::string(R"({"id":"d","type":"extract","title":"USB","max_len":3,)") + c.members + "}";
    EXPECT_EQ(Serve(line + "\n" + R"({"id":"n","type":"shutdown"})" + "\n"),
              ErrorLine("d", c.message) + R"({"id":"n","ok":true})" + "\n")
        << c.members;
  }
}

TEST(RequestLoopTest, DetailAndTopAddOnlyTheirMembers) {
  const std::string base = R"({"id":"x","type":"extract","title":"USB cable","max_len":3)";
  const std::string plain = Serve(base + "}\n");
  for (const char* unasked : {R"(,"detail":false)", R"(,"other":1)"})
    EXPECT_EQ(Serve(base + unasked + "}\n"), plain);
  // An absent model gives the fallback: no keyword list and no ranked candidates.
  Json asked = Json::parse(Serve(base + R"(,"detail":true,"top":5.0})" + "\n"));
  EXPECT_EQ(asked["keyword_list"], Json::array());
  EXPECT_EQ(asked["ranked"], Json::array());
  asked.erase("keyword_list");
  asked.erase("ranked");
  EXPECT_EQ(asked.dump() + "\n", plain);
}

struct MaxLenCase {
  const char* json;
  std::int32_t expected;
};

TEST(ReadMaxLenTest, SaturatesToTheSigned32BitRange) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const MaxLenCase cases[] = {
      {"{}", 24},
      {R"({"max_len":7})", 7},
      {R"({"max_len":7.9})", 7},
      {R"({"max_len":0})", 24},
      {R"({"max_len":-1})", 24},
      {R"({"max_len":true})", 1},
      {R"({"max_len":1e20})", kMax},
      {R"({"max_len":4294967297})", kMax},
      {R"({"max_len":2147483648})", kMax},
      {R"({"max_len":18446744073709551615})", kMax},
      {R"({"max_len":-1e20})", 24},
      {R"({"max_len":-2147483649})", 24},
      {R"({"max_len":2147483647})", kMax},
      {R"({"max_len":0.5})", 24},
  };
  for (const MaxLenCase& c : cases) EXPECT_EQ(ReadMaxLen(Json::parse(c.json)), c.expected) << c.json;
}

TEST(CollectMetricsTest, AnAbsentModelReadsZero) {
  const Json metrics = CollectMetrics(nullptr);
  EXPECT_EQ(
      metrics.dump(),
      R"({"candidate_cache_hits":0,"candidate_cache_misses":0,"candidate_cache_size":0,"dimension":0})");
  EXPECT_TRUE(metrics["candidate_cache_hits"].is_number_unsigned());
  EXPECT_TRUE(metrics["dimension"].is_number_integer());
}

TEST(MakeErrorReplyTest, WritesRawUtf8InMemberOrder) {
  EXPECT_EQ(MakeErrorReply("編號", "壞了 \"x\"").dump(), R"({"error":"壞了 \"x\"","id":"編號","ok":false})");
}

// An output that refuses writes must leave the loop, so the worker takes its
// fatal path rather than serving into the void.
TEST(RequestLoopTest, AReplyThatCannotBeWrittenLeavesTheLoop) {
  std::istringstream in(R"({"id":"a","type":"metrics"})"
                        "\n");
  std::ostream broken(nullptr);
  EXPECT_THROW(RequestLoop(nullptr, in, broken), std::runtime_error);
}

}  // namespace
}  // namespace quirvel
