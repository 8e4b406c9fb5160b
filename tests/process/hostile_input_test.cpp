// Input a parent application should never send, but might: every case must
// end in an error reply or a clean exit, and the worker must go on serving.
#include <gtest/gtest.h>

#include <cstdint>

#include "tests/process/worker_harness.h"

namespace quirvel::test {
namespace {

using std::string_literals::operator""s;

const std::string kProbe = "{\"id\":\"probe\",\"type\":\"metrics\"}\n";

class HostileInputTest : public RunningWorkerTest {
 protected:
  // The reply to the next line: a well-formed reply carrying the expected id.
  nlohmann::json ExpectReply(const std::string& id) {
    std::string raw;
    const nlohmann::json reply = NextReply(*worker_, &raw);
    EXPECT_TRUE(reply.is_object()) << "not a JSON reply: " << raw.substr(0, 300)
                                   << "\nstandard error: " << worker_->PendingStderr();
    if (!reply.is_object()) return reply;
    EXPECT_EQ(reply.value("id", "?"), id) << raw.substr(0, 300);
    EXPECT_TRUE(reply.contains("ok") && reply["ok"].is_boolean()) << raw.substr(0, 300);
    if (!reply.value("ok", true)) {
      EXPECT_TRUE(reply["error"].is_string()) << raw.substr(0, 300);
    }
    return reply;
  }

  void ExpectError(const std::string& id) { EXPECT_EQ(ExpectReply(id).value("ok", true), false); }

  // The worker still answers, and ends cleanly at the end of input.
  void ExpectStillServing() {
    Send(kProbe);
    EXPECT_EQ(ExpectReply("probe").value("ok", false), true);
    const ExitStatus status = FinishInput(*worker_);
    EXPECT_TRUE(status.exited && status.code == 0)
        << DescribeExit(status)
        << "\nstandard error: " << worker_->ReadRest(ChildStream::kStderr, kExitTimeout);
  }
};

std::string Repeat(const std::string& piece, size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// A line that parses only if the worker's JSON reading accepts invalid bytes.
struct BadLine {
  const char* name;
  std::string line;
};

// Test names in listings show the case name, not the bytes of the case.
void PrintTo(const BadLine& c, std::ostream* os) { *os << c.name; }

class BadLineTest : public HostileInputTest, public ::testing::WithParamInterface<BadLine> {};

TEST_P(BadLineTest, GetsErrorReplyWithEmptyId) {
  Send(GetParam().line + "\n");
  ExpectError("");
  ExpectStillServing();
}

const BadLine kBadLines[] = {
    {"InvalidUtf8InTitle", "{\"id\":\"x\",\"type\":\"extract\",\"title\":\"\xff\xfe abc \xc3\"}"},
    {"InvalidUtf8InId", "{\"id\":\"\xc0\xaf\",\"type\":\"metrics\"}"},
    {"TruncatedSequenceAtEnd", "{\"id\":\"x\",\"type\":\"convert\",\"title\":\"\xe5\xa5\"}"},
    {"OverlongEncoding", "{\"id\":\"x\",\"type\":\"convert\",\"title\":\"\xe0\x80\xaf\"}"},
    {"EncodedSurrogate", "{\"id\":\"x\",\"type\":\"convert\",\"title\":\"\xed\xa0\x80\"}"},
    {"EscapedLoneSurrogate", "{\"id\":\"x\",\"type\":\"convert\",\"title\":\"\\ud800\"}"},
    {"BytesOnly", "\xff\xfe\xfd\x80\x81"},
    {"NulInsideString", "{\"id\":\"x\",\"type\":\"extract\",\"title\":\"a\0b\"}"s},
    {"NulBetweenTokens", "{\"id\":\"x\",\0\"type\":\"metrics\"}"s},
    {"OnlyNul", std::string(1, '\0')},
    {"CarriageReturnOnly", "\r"},
    {"NestedArrays100k", Repeat("[", 100000) + Repeat("]", 100000)},
    {"NestedObjects100k", Repeat("{\"a\":", 100000) + "1" + Repeat("}", 100000)},
    {"UnclosedNesting100k", Repeat("[{\"a\":", 100000)},
    {"MaxLenOverflowsDouble", "{\"id\":\"x\",\"type\":\"extract\",\"title\":\"台灣\",\"max_len\":1e400}"},
    {"NotAnObject", "[\"extract\"]"},
};

INSTANTIATE_TEST_SUITE_P(Worker, BadLineTest, ::testing::ValuesIn(kBadLines),
                         [](const auto& info) { return std::string(info.param.name); });

// Lines that are valid JSON and must be answered under their own id.
struct OddRequest {
  const char* name;
  std::string line;
};

// Test names in listings show the case name, not the bytes of the case.
void PrintTo(const OddRequest& c, std::ostream* os) { *os << c.name; }

class OddRequestTest : public HostileInputTest, public ::testing::WithParamInterface<OddRequest> {};

TEST_P(OddRequestTest, IsAnsweredUnderItsId) {
  Send(GetParam().line + "\n");
  ExpectReply("odd");
  ExpectStillServing();
}

std::string ExtractWithMaxLen(const std::string& max_len) {
  return "{\"id\":\"odd\",\"type\":\"extract\",\"title\":\"高山烏龍茶 梨山 茶葉 150g\",\"max_len\":" +
         max_len + "}";
}

const OddRequest kOddRequests[] = {
    {"MaxLenAboveUint32", ExtractWithMaxLen("4294967297")},
    {"MaxLenFarNegative", ExtractWithMaxLen("-1e20")},
    {"MaxLenFarPositive", ExtractWithMaxLen("1e20")},
    {"MaxLenAboveInt64", ExtractWithMaxLen("9223372036854775808")},
    {"MaxLenAboveUint64", ExtractWithMaxLen("18446744073709551616")},
    {"MaxLenBelowInt64", ExtractWithMaxLen("-9223372036854775809")},
    {"MaxLenTiny", ExtractWithMaxLen("1e-400")},
    {"MaxLenInt32Min", ExtractWithMaxLen("-2147483648")},
    {"EscapedNulInTitle", "{\"id\":\"odd\",\"type\":\"extract\",\"title\":\"藍牙\\u0000耳機\"}"},
    {"EscapedNulInConvert", "{\"id\":\"odd\",\"type\":\"convert\",\"title\":\"\\u0000\"}"},
    {"ControlCharactersInTitle", "{\"id\":\"odd\",\"type\":\"extract\",\"title\":\"\\u0001\\u001f\\b\\f\"}"},
    {"NoncharactersInTitle",
     "{\"id\":\"odd\",\"type\":\"extract\",\"title\":\"\xef\xbf\xbf\xf4\x8f\xbf\xbf\"}"},
    {"OnlySeparators", "{\"id\":\"odd\",\"type\":\"extract\",\"title\":\" \\t\\u3000 \"}"},
};

INSTANTIATE_TEST_SUITE_P(Worker, OddRequestTest, ::testing::ValuesIn(kOddRequests),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HostileInputTest, TenMegabyteTitleIsAnswered) {
  Send("{\"id\":\"big\",\"type\":\"extract\",\"title\":\"" + Repeat("藍牙耳機", 10 * 1024 * 1024 / 12) +
       "\"}\n");
  ExpectReply("big");
  ExpectStillServing();
}

TEST_F(HostileInputTest, TenMegabyteGarbageLineGetsErrorReply) {
  Send(Repeat("x", 10 * 1024 * 1024) + "\n");
  ExpectError("");
  ExpectStillServing();
}

TEST_F(HostileInputTest, TenMegabyteUnterminatedStringGetsErrorReply) {
  Send("{\"id\":\"big\",\"type\":\"convert\",\"title\":\"" + Repeat("a", 10 * 1024 * 1024) + "\n");
  ExpectError("");
  ExpectStillServing();
}

TEST_F(HostileInputTest, CrlfLineEndsAreJsonWhitespace) {
  Send("{\"id\":\"c1\",\"type\":\"metrics\"}\r\n{\"id\":\"c2\",\"type\":\"convert\",\"title\":\"台灣\"}\r\n");
  EXPECT_EQ(ExpectReply("c1").value("ok", false), true);
  EXPECT_EQ(ExpectReply("c2").value("ok", false), true);
  ExpectStillServing();
}

TEST_F(HostileInputTest, LastLineWithoutNewlineIsAnswered) {
  Send("{\"id\":\"last\",\"type\":\"metrics\"}");
  worker_->CloseStdin();
  EXPECT_EQ(ExpectReply("last").value("ok", false), true);
  const ExitStatus status = worker_->Wait(kExitTimeout);
  EXPECT_TRUE(status.exited && status.code == 0) << DescribeExit(status);
}

TEST_F(HostileInputTest, StdinClosedMidLineAnswersThePartAndExits) {
  Send("{\"id\":\"m\",\"type\":\"metr");
  worker_->CloseStdin();
  ExpectError("");
  const ExitStatus status = worker_->Wait(kExitTimeout);
  EXPECT_TRUE(status.exited && status.code == 0) << DescribeExit(status);
  EXPECT_EQ(worker_->ReadRest(ChildStream::kStdout, kExitTimeout), "");
}

// Deterministic bytes of every value, newlines included.
std::string Garbage(size_t size, uint32_t state) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

size_t NonEmptyLines(const std::string& bytes) {
  size_t lines = 0;
  size_t start = 0;
  for (size_t newline; (newline = bytes.find('\n', start)) != std::string::npos; start = newline + 1) {
    if (newline > start) ++lines;
  }
  return lines;
}

TEST_F(HostileInputTest, BinaryGarbageGetsOneErrorReplyPerLine) {
  std::string garbage = Garbage(256 * 1024, 20240601u) + "\n";
  const size_t lines = NonEmptyLines(garbage);
  ASSERT_GT(lines, 100u);
  Send(garbage);
  for (size_t i = 0; i < lines && !HasFailure(); ++i) ExpectError("");
  ExpectStillServing();
}

TEST_F(HostileInputTest, StdoutClosedByParentEndsWithFatalLine) {
  worker_->CloseStdout();
  Send(kProbe);
  const ExitStatus status = worker_->Wait(kExitTimeout);
  EXPECT_FALSE(status.signaled) << DescribeExit(status);
  EXPECT_TRUE(status.exited && status.code == 1) << DescribeExit(status);
  const std::string err = worker_->ReadRest(ChildStream::kStderr, kExitTimeout);
  EXPECT_EQ(err.rfind("fatal: ", 0), 0u) << err;
}

}  // namespace
}  // namespace quirvel::test
