// The built worker on graphs with the signatures of the public exports, tried as
// a new user would: it must start, rank (not answer the bare-title fallback) and
// report the width of the output the model's users expect. A pooled head whose
// width differs from the token vectors' tells which output was read. Models
// that load but cannot run stop the start-up.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "host/utf8.h"
#include "tests/process/worker_harness.h"

namespace quirvel::test {
namespace {

const std::string kModels = QUIRVEL_EXPORT_MODEL_DIR;
const std::string kTitle = "台灣製造 無線藍牙耳機 降噪 黑色 運動 防水";
constexpr int kMaxLen = 7;

std::string ModelPath(const std::string& name) { return kModels + "/" + name + ".onnx"; }

// The BERT-shaped int8 graph has its own vocabulary; the others read the demo one.
std::string TokenizerFor(const std::string& model) {
  return model == "int8" ? kModels + "/int8_vocab.txt" : std::string(QUIRVEL_DEMO_VOCAB);
}

std::vector<std::string> Arguments(const std::string& model, const std::string& profile,
                                   const std::string& output_mode) {
  std::vector<std::string> arguments = {"--model",           ModelPath(model), "--tokenizer",
                                        TokenizerFor(model), "--profile",      profile};
  if (!output_mode.empty()) arguments.insert(arguments.end(), {"--output-mode", output_mode});
  return arguments;
}

struct ExportCase {
  const char* label;
  const char* model;
  const char* profile;
  const char* output_mode;  // empty: the worker's default
  int dimension;            // of the output the model's users expect
};

void PrintTo(const ExportCase& c, std::ostream* os) { *os << c.label; }

class ModelExportTest : public ::testing::TestWithParam<ExportCase> {};

TEST_P(ModelExportTest, StartsRanksAndUsesTheExpectedOutput) {
  const ExportCase& c = GetParam();
  ChildProcess worker(WorkerCommandWith(Arguments(c.model, c.profile, c.output_mode)));
  const std::optional<std::string> ready = worker.ReadLine(ChildStream::kStderr, kReplyTimeout);
  ASSERT_EQ(ready.value_or("(nothing)"), "ready") << worker.ReadRest(ChildStream::kStderr, kExitTimeout);
  const std::string extract =
      nlohmann::json{{"id", "x"}, {"type", "extract"}, {"title", kTitle}, {"max_len", kMaxLen}}.dump() + "\n";
  ASSERT_TRUE(worker.Write(extract + "{\"id\":\"m\",\"type\":\"metrics\"}\n"));
  std::string raw;
  const nlohmann::json reply = NextReply(worker, &raw);
  ASSERT_TRUE(reply.value("ok", false)) << raw;
  const std::string keywords = reply.value("keywords", "");
  EXPECT_FALSE(keywords.empty()) << raw;
  EXPECT_NE(keywords, TruncateUtf8Chars(reply.value("title", ""), kMaxLen))
      << "the bare-title fallback: " << raw;
  const nlohmann::json metrics = NextReply(worker, &raw);
  EXPECT_EQ(metrics.value("dimension", -1), c.dimension) << raw;
  EXPECT_EQ(FinishInput(worker).code, 0);
}

// Token vectors are 768 wide wherever a pooled head of 1024 sits beside them.
INSTANTIATE_TEST_SUITE_P(
    Exports, ModelExportTest,
    ::testing::Values(
        ExportCase{"optimum, auto", "optimum", "auto", "", 1024},
        ExportCase{"optimum, bge-large-zh-v1.5", "optimum", "bge-large-zh-v1.5", "", 1024},
        ExportCase{"optimum, bge-large-zh-v1.5, first token", "optimum", "bge-large-zh-v1.5", "first-token",
                   1024},
        ExportCase{"optimum, gte-large-zh", "optimum", "gte-large-zh", "mean-tokens", 1024},
        ExportCase{"sentence-transformers pair, auto", "st_pair", "auto", "", 1024},
        ExportCase{"sentence-transformers pair, bge-m3", "st_pair", "bge-m3", "", 1024},
        ExportCase{"sentence-transformers pair, sentence-embedding", "st_pair", "auto", "sentence-embedding",
                   1024},
        ExportCase{"sentence-transformers pair, gte-multilingual-base", "st_pair_768",
                   "gte-multilingual-base", "", 768},
        ExportCase{"three heads, auto", "three_heads", "auto", "", 1024},
        ExportCase{"three heads, bge-m3", "three_heads", "bge-m3", "", 1024},
        ExportCase{"three heads, dense-vecs", "three_heads", "bge-m3", "dense-vecs", 1024},
        ExportCase{"decoder with cache inputs, auto", "decoder", "auto", "", 1024},
        ExportCase{"decoder with cache inputs, qwen3", "decoder", "qwen3-embedding-0.6b", "", 1024},
        ExportCase{"decoder with cache inputs, qwen3, last token", "decoder", "qwen3-embedding-0.6b",
                   "last-token", 1024},
        ExportCase{"float16 decoder, qwen3", "decoder_fp16", "qwen3-embedding-0.6b", "", 1024},
        ExportCase{"float16 decoder, auto", "decoder_fp16", "auto", "", 1024},
        ExportCase{"external data, auto", "external", "auto", "", 1024},
        ExportCase{"external data, bge-large-zh-v1.5", "external", "bge-large-zh-v1.5", "", 1024},
        ExportCase{"int8, auto", "int8", "auto", "", 32},
        ExportCase{"int8, auto, first token", "int8", "auto", "first-token", 32}),
    [](const ::testing::TestParamInfo<ExportCase>& info) { return "case" + std::to_string(info.index); });

struct StartFailure {
  const char* label;
  std::vector<std::string> arguments;
  const char* fatal_prefix;
};

void PrintTo(const StartFailure& c, std::ostream* os) { *os << c.label; }

class ModelStartFailureTest : public ::testing::TestWithParam<StartFailure> {};

// The last line of standard error: ONNX Runtime logs a failed run's error there itself.
std::string LastLine(const std::string& text) {
  const std::size_t end = text.empty() || text.back() != '\n' ? text.size() : text.size() - 1;
  const std::size_t start = text.rfind('\n', end == 0 ? 0 : end - 1);
  return text.substr(start == std::string::npos || start >= end ? 0 : start + 1);
}

TEST_P(ModelStartFailureTest, EndsWithFatalLineAndCodeOne) {
  ChildProcess worker(WorkerCommandWith(GetParam().arguments));
  const std::string err = worker.ReadRest(ChildStream::kStderr, kExitTimeout);
  const ExitStatus status = worker.Wait(kExitTimeout);
  EXPECT_TRUE(status.exited && status.code == 1) << err;
  EXPECT_EQ(LastLine(err).rfind(GetParam().fatal_prefix, 0), 0u) << err;
  EXPECT_EQ(err.find("ready"), std::string::npos) << err;
  EXPECT_EQ(worker.ReadRest(ChildStream::kStdout, kExitTimeout), "");
}

INSTANTIATE_TEST_SUITE_P(
    Exports, ModelStartFailureTest,
    ::testing::Values(
        StartFailure{"decoder whose run fails", Arguments("decoder_failing", "qwen3-embedding-0.6b", ""),
                     "fatal: load model failed: model cannot embed a test text: "},
        StartFailure{"graph whose every run fails", Arguments("every_run_fails", "auto", ""),
                     "fatal: load model failed: model cannot embed a test text: "},
        StartFailure{
            "unknown output mode", Arguments("optimum", "auto", "cls"),
            "fatal: unknown output mode: cls (expected one of auto, sentence-embedding, mean-tokens, "
            "first-token, dense-vecs, last-token)\n"},
        StartFailure{"first token asked of a pooled-only graph",
                     Arguments("three_heads", "bge-m3", "first-token"),
                     "fatal: load model failed: profile bge-m3 requires a 3D token embedding output\n"}),
    [](const ::testing::TestParamInfo<StartFailure>& info) { return "case" + std::to_string(info.index); });

}  // namespace
}  // namespace quirvel::test
