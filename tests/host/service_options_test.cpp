#include "host/service_options.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace quirvel {
namespace {

ServiceOptions Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "worker");
  return ParseServiceOptions(args);
}

struct FailureCase {
  const char* name;
  std::vector<std::string> args;
  std::string message;
};

class ServiceOptionsFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ServiceOptionsFailureTest, ReportsTheExactMessage) {
  const FailureCase& c = GetParam();
  try {
    Parse(c.args);
    FAIL() << "no error for " << c.name;
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()), c.message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServiceOptionsFailureTest,
    ::testing::Values(
        FailureCase{"no_arguments", {}, "model path and tokenizer path are required"},
        FailureCase{"missing_value", {"m", "t", "--profile"}, "missing value for argument: --profile"},
        FailureCase{"single_dash", {"-x", "m", "t"}, "unsupported argument: -x"},
        FailureCase{"unknown_with_value", {"--colour=red", "m", "t"}, "unsupported argument: --colour=red"},
        FailureCase{"third_positional", {"m", "t", "extra"}, "too many positional arguments"},
        FailureCase{"empty_inline_model", {"--model=", "--tokenizer", "t"}, "model path and tokenizer path are required"},
        // "--model" takes the next argument whatever it is, so the tokenizer stays empty.
        FailureCase{"value_looks_like_option", {"--model", "--tokenizer", "t"}, "model path and tokenizer path are required"},
        FailureCase{"int_without_digits", {"m", "t", "--title-max-length", "abc"},
                    "invalid value for --title-max-length: abc (expected an integer)"},
        FailureCase{"int_only_sign", {"m", "t", "--candidate-max-length=-"},
                    "invalid value for --candidate-max-length: - (expected an integer)"},
        FailureCase{"int_above_range", {"m", "t", "--title-max-length", "2147483648"},
                    "value out of range for --title-max-length: 2147483648"},
        FailureCase{"int_below_range", {"m", "t", "--title-max-length", "-2147483649"},
                    "value out of range for --title-max-length: -2147483649"},
        FailureCase{"int_far_out_of_range", {"m", "t", "--candidate-max-length", "-99999999999999999999999"},
                    "value out of range for --candidate-max-length: -99999999999999999999999"},
        // "=" at index 2 does not split: the whole argument is the key.
        FailureCase{"equals_at_index_two", {"--=x", "m", "t"}, "unsupported argument: --=x"},
        FailureCase{"unknown_output_mode", {"m", "t", "--output-mode", "cls"},
                    "unknown output mode: cls (expected one of auto, sentence-embedding, mean-tokens, first-token, "
                    "dense-vecs, last-token)"},
        FailureCase{"capacity_negative", {"m", "t", "--candidate-cache-capacity=-1"},
                    "invalid value for --candidate-cache-capacity: -1"},
        FailureCase{"capacity_with_text", {"m", "t", "--candidate-cache-capacity", "10k"},
                    "invalid value for --candidate-cache-capacity: 10k"},
        FailureCase{"capacity_beyond_64_bits", {"m", "t", "--candidate-cache-capacity=18446744073709551616"},
                    "invalid value for --candidate-cache-capacity: 18446744073709551616"},
        FailureCase{"output_mode_in_capitals", {"m", "t", "--output-mode=First-Token"},
                    "unknown output mode: First-Token (expected one of auto, sentence-embedding, mean-tokens, "
                    "first-token, dense-vecs, last-token)"},
        FailureCase{"output_mode_without_value", {"m", "t", "--output-mode"},
                    "missing value for argument: --output-mode"},
        FailureCase{"negative_threads", {"m", "t", "--threads=-1"},
                    "--threads must be 0 (ONNX Runtime's choice) or more: -1"},
        FailureCase{"threads_without_digits", {"m", "t", "--threads", "abc"},
                    "invalid value for --threads: abc (expected an integer)"},
        FailureCase{"threads_without_value", {"m", "t", "--threads"}, "missing value for argument: --threads"},
        // A switch that would read "=0" as "off" while turning on refuses any value.
        FailureCase{"keep_request_characters_with_value", {"m", "t", "--keep-request-characters=0"},
                    "unsupported argument: --keep-request-characters=0"},
        FailureCase{"back_convert_everything_with_value", {"m", "t", "--back-convert-everything=1"},
                    "unsupported argument: --back-convert-everything=1"},
        FailureCase{"help_with_value", {"--help=1"}, "unsupported argument: --help=1"},
        FailureCase{"reuse_converters_with_value", {"m", "t", "--reuse-converters=0"},
                    "unsupported argument: --reuse-converters=0"},
        FailureCase{"reuse_converters_with_empty_value", {"--reuse-converters=", "m", "t"},
                    "unsupported argument: --reuse-converters="}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(ServiceOptionsTest, DefaultsWithTwoPositionalPaths) {
  const ServiceOptions o = Parse({"model.onnx", "vocab.txt"});
  EXPECT_EQ(o.model_path, "model.onnx");
  EXPECT_EQ(o.tokenizer_path, "vocab.txt");
  EXPECT_EQ(o.profile, 0u);
  EXPECT_EQ(o.rank_mode, RankMode::Default);
  EXPECT_EQ(o.title_max_length, 128);
  EXPECT_EQ(o.candidate_max_length, 64);
  EXPECT_FALSE(o.candidate_cache);
  EXPECT_TRUE(o.opencc_resource_dir.empty());
  EXPECT_EQ(o.output_mode, 0u);
  EXPECT_EQ(o.intra_op_threads, 0);
}

TEST(ServiceOptionsTest, ThreadsTakesACountInEitherForm) {
  EXPECT_EQ(Parse({"m", "t", "--threads", "1"}).intra_op_threads, 1);
  EXPECT_EQ(Parse({"m", "t", "--threads=4"}).intra_op_threads, 4);
  EXPECT_EQ(Parse({"m", "t", "--threads=2", "--threads=0"}).intra_op_threads, 0);
}

// The engine's OutputMode identifiers, by their command-line names.
TEST(ServiceOptionsTest, OutputModeNamesGiveTheEngineIdentifiers) {
  const std::pair<const char*, std::uint32_t> kModes[] = {{"auto", 0},        {"sentence-embedding", 1},
                                                          {"mean-tokens", 2}, {"first-token", 3},
                                                          {"dense-vecs", 4},  {"last-token", 5}};
  for (const auto& [name, id] : kModes) {
    EXPECT_EQ(Parse({"m", "t", "--output-mode", name}).output_mode, id) << name;
    EXPECT_EQ(Parse({"m", "t", std::string("--output-mode=") + name}).output_mode, id) << name;
  }
}

TEST(ServiceOptionsTest, InlineAndNextArgumentValues) {
  const ServiceOptions o = Parse({"--model=a.onnx", "--tokenizer", "-odd-name.json", "--profile=bge", "--rank-mode",
                                  "embedding", "--title-max-length", "-5", "--candidate-max-length=  12px",
                                  "--opencc-resource-dir=/o", "--opencc-config", "/c.json", "--jieba-dict-dir=/j"});
  EXPECT_EQ(o.model_path, "a.onnx");
  EXPECT_EQ(o.tokenizer_path, "-odd-name.json");
  EXPECT_EQ(o.profile, 1u);
  EXPECT_EQ(o.rank_mode, RankMode::Embedding);
  EXPECT_EQ(o.title_max_length, -5);
  EXPECT_EQ(o.candidate_max_length, 12);  // leading blanks skipped, trailing text ignored
  EXPECT_EQ(o.opencc_resource_dir, "/o");
  EXPECT_EQ(o.opencc_config_path, "/c.json");
  EXPECT_EQ(o.jieba_dict_dir, "/j");
}

TEST(ServiceOptionsTest, EqualsAtIndexThreeSplitsAOneLetterKey) {
  // "--m=x" is the key "--m", which names no option.
  try {
    Parse({"--m=x", "m", "t"});
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(std::string(e.what()), "unsupported argument: --m=x");
  }
}

TEST(ServiceOptionsTest, CandidateCacheIgnoresItsInlineValue) {
  EXPECT_TRUE(Parse({"m", "t", "--candidate-cache=0"}).candidate_cache);
  EXPECT_TRUE(Parse({"m", "t", "--candidate-cache"}).candidate_cache);
}

TEST(ServiceOptionsTest, CandidateCacheCapacityIsACountAndZeroMeansUnbounded) {
  EXPECT_EQ(Parse({"m", "t"}).candidate_cache_capacity, 0u);
  EXPECT_EQ(Parse({"m", "t", "--candidate-cache-capacity", "10000"}).candidate_cache_capacity, 10000u);
  EXPECT_EQ(Parse({"m", "t", "--candidate-cache-capacity=18446744073709551615"}).candidate_cache_capacity,
            UINT64_MAX);
  EXPECT_FALSE(Parse({"m", "t", "--candidate-cache-capacity=5"}).candidate_cache) << "a bound switches nothing on";
}

TEST(ServiceOptionsTest, HostSwitchesAreOffByDefaultAndEachSetsItsOwn) {
  const struct {
    std::vector<std::string> args;
    bool keep_request_characters;
    bool back_convert_everything;
    bool reuse_converters;
  } cases[] = {
      {{"m", "t"}, false, false, false},
      {{"--keep-request-characters", "m", "t"}, true, false, false},
      {{"m", "--back-convert-everything", "t"}, false, true, false},
      {{"m", "--reuse-converters", "t"}, false, false, true},
      {{"--back-convert-everything", "--keep-request-characters", "m", "t"}, true, true, false},
  };
  for (const auto& c : cases) {
    const ServiceOptions o = Parse(c.args);
    EXPECT_EQ(o.keep_request_characters, c.keep_request_characters) << c.args[0];
    EXPECT_EQ(o.back_convert_everything, c.back_convert_everything) << c.args[0];
    EXPECT_EQ(o.reuse_converters, c.reuse_converters) << c.args[0];
    EXPECT_EQ(o.tokenizer_path, "t");
  }
}

// "--help" and "--version" need no path; the usage names every option.
TEST(ServiceOptionsTest, HelpAndVersionNeedNoPaths) {
  EXPECT_TRUE(Parse({"--help"}).show_help);
  EXPECT_TRUE(Parse({"--version"}).show_version);
  EXPECT_TRUE(Parse({"m", "--version", "--help"}).show_help);
  const std::string usage = UsageText();
  for (const char* option :
       {"--model PATH", "--tokenizer PATH", "--profile NAME", "--rank-mode NAME", "--output-mode NAME",
        "--title-max-length N", "--candidate-max-length N", "--threads N", "--candidate-cache ",
        "--candidate-cache-capacity N", "--opencc-resource-dir DIR", "--opencc-config PATH", "--jieba-dict-dir DIR",
        "--keep-request-characters", "--back-convert-everything", "--reuse-converters", "--version",
        "QUIRVEL_OPENCC_CONFIG", "QUIRVEL_OPENCC_RESOURCE_DIR", "QUIRVEL_JIEBA_DICT_DIR"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
  // Each option the usage names is one the parser knows.
  for (std::size_t at = usage.find("\n  --"); at != std::string::npos; at = usage.find("\n  --", at + 1)) {
    const std::string name = usage.substr(at + 3, usage.find_first_of(" \n", at + 3) - at - 3);
    try {
      Parse({"m", "t", name, "auto"});
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()).find("unsupported argument"), std::string::npos) << name;
    }
  }
}

TEST(ServiceOptionsTest, LastSettingWins) {
  const ServiceOptions o = Parse({"p1", "p2", "--model", "m2", "--title-max-length=1", "--title-max-length=7"});
  EXPECT_EQ(o.model_path, "m2");
  EXPECT_EQ(o.tokenizer_path, "p2");
  EXPECT_EQ(o.title_max_length, 7);
  // A positional argument after "--model" replaces it again.
  EXPECT_EQ(Parse({"--model", "m1", "p1", "t"}).model_path, "p1");
  EXPECT_EQ(Parse({"--model", "m1", "p1", "t"}).tokenizer_path, "t");
}

TEST(ServiceOptionsTest, EmptyArgumentIsPositional) {
  EXPECT_THROW(Parse({"", "m", "t"}), std::invalid_argument);  // third positional
  const ServiceOptions o = Parse({"", "t", "--model=m"});
  EXPECT_EQ(o.model_path, "m");
}

TEST(ServiceOptionsTest, RankModeIsCaseSensitive) {
  EXPECT_EQ(Parse({"m", "t", "--rank-mode=Embedding"}).rank_mode, RankMode::Default);
  EXPECT_EQ(Parse({"m", "t", "--rank-mode=whatever"}).rank_mode, RankMode::Default);
}

TEST(ProfileIdFromNameTest, ExactNamesOnly) {
  const std::vector<std::pair<std::string, std::uint32_t>> cases = {
      {"bge-large-zh-v1.5", 1}, {"bge", 1}, {"bge-zh", 1}, {"gte-large-zh", 2}, {"gte-large", 2},
      {"gte-multilingual-base", 3}, {"gte-multilingual", 3}, {"lumox427", 3}, {"bge-m3", 4},
      {"dmeta", 5}, {"dmeta-embedding-zh", 5}, {"Merel-ko--Dmeta-embedding-zh-onnx", 5},
      {"qwen3", 6}, {"qwen3-embedding", 6}, {"qwen3-embedding-0.6b", 6},
      {"", 0}, {"BGE", 0}, {"Qwen3", 0}, {"bge ", 0}, {"auto", 0}, {"merel-ko--dmeta-embedding-zh-onnx", 0}};
  for (const auto& [name, id] : cases) EXPECT_EQ(ProfileIdFromName(name), id) << name;
}

}  // namespace
}  // namespace quirvel
