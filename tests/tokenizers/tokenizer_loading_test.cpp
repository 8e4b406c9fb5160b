// Loading tokenizer files: formats, special ids, and the message for every kind
// of unusable file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <filesystem>
#include <string>

#include "tokenizer_test_support.h"
#include "tokenizers/tokenizer.h"

namespace quirvel::test {
namespace {

std::string Nested(std::size_t depth, bool closed) {
  return std::string(depth, '[') + (closed ? std::string(depth, ']') : std::string());
}

struct BadFileCase {
  const char* name;
  std::string suffix;
  std::string contents;
  std::string message_prefix;
};

class BadTokenizerFileTest : public ::testing::TestWithParam<BadFileCase> {};

TEST_P(BadTokenizerFileTest, GivesTheMessageWithThePath) {
  const TempFile file(GetParam().suffix, GetParam().contents);
  EXPECT_EQ(LoadError(file.path()), GetParam().message_prefix + file.path());
}

const std::string kParse = "failed to parse GTE tokenizer json: ";
const std::string kNoVocab = "unsupported GTE tokenizer json vocab: ";
const std::string kEmpty = "empty GTE tokenizer: ";

INSTANTIATE_TEST_SUITE_P(
    Files, BadTokenizerFileTest,
    ::testing::Values(
        BadFileCase{"NotJson", ".json", "hello", kParse},
        BadFileCase{"EmptyJson", ".json", "", kParse},
        BadFileCase{"Truncated", ".json", R"({"model": {"type": "WordPiece", "vocab": {"a": 1)", kParse},
        BadFileCase{"DeepOpenArrays", ".json", Nested(100000, false), kParse},
        BadFileCase{"DeepClosedArrays", ".json", Nested(100000, true), kParse},
        BadFileCase{"DeepObjects", ".json", std::string(100000, '{'), kParse},
        BadFileCase{"RootArray", ".json", R"([{"model": {"vocab": {}}}])", kParse},
        BadFileCase{"TwoRoots", ".json", R"({"model": {"vocab": {"a": 1}}} {})", kParse},
        BadFileCase{"TwoByteOrderMarks", ".json", "\xEF\xBB\xBF\xEF\xBB\xBF{}", kParse},
        BadFileCase{"NulAfterRoot", ".json", std::string("{\"model\": {\"vocab\": [[\"a\", 1]]}}\0x", 34), kParse},
        BadFileCase{"Comment", ".json", "// c\n{\"model\": {\"type\": \"BPE\", \"vocab\": {\"a\": 1}}}", kParse},
        BadFileCase{"NoModel", ".json", R"({"vocab": {"a": 1}})", kNoVocab},
        BadFileCase{"ModelNotObject", ".json", R"({"model": "WordPiece"})", kNoVocab},
        BadFileCase{"ModelWithoutVocab", ".json", R"({"model": {"type": "BPE"}})", kNoVocab},
        BadFileCase{"WordPieceVocabArray", ".json", R"({"model": {"type": "WordPiece", "vocab": [["a", 1]]}})",
                    "unsupported WordPiece tokenizer vocab: "},
        BadFileCase{"BpeVocabString", ".json", R"({"model": {"type": "BPE", "vocab": "a"}})",
                    "unsupported BPE tokenizer vocab: "},
        BadFileCase{"UnigramVocabObject", ".json", R"({"model": {"type": "Unigram", "vocab": {"a": 1}}})",
                    "unsupported Unigram tokenizer vocab: "},
        BadFileCase{"OtherTypeVocabObject", ".json", R"({"model": {"type": "Foo", "vocab": {"a": 1}}})",
                    "unsupported Unigram tokenizer vocab: "},
        BadFileCase{"EmptyTypeVocabObject", ".json", R"({"model": {"type": "", "vocab": {"a": 1}}})",
                    "unsupported Unigram tokenizer vocab: "},
        BadFileCase{"WordPieceOnlyNonIntegerIds", ".json",
                    R"({"model": {"type": "WordPiece", "vocab": {"a": 1.0, "b": "2", "c": null, "d": [3]}}})", kEmpty},
        BadFileCase{"BpeEmptyTokenOnly", ".json", R"({"model": {"type": "BPE", "vocab": {"": 0}}})", kEmpty},
        BadFileCase{"UnigramMalformedPairs", ".json",
                    R"({"model": {"type": "Unigram", "vocab": [["a"], [1, 2.0], ["b", "x"], "c"]}})", kEmpty},
        BadFileCase{"OnlyEmptyLines", "_vocab.txt", "\n\r\n\n", kEmpty}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TokenizerLoadingTest, EmptyVocabularyFileIsEmptyNotUnopenable) {
  const TempFile file("_vocab.txt", "");
  EXPECT_EQ(LoadError(file.path()), kEmpty + file.path());
}

TEST(TokenizerLoadingTest, MissingFilesNameTheirFormat) {
  const std::string dir = ::testing::TempDir() + "/qrv_tok_missing";
  EXPECT_EQ(LoadError(dir + "/tokenizer.json"), "failed to open GTE tokenizer: " + dir + "/tokenizer.json");
  EXPECT_EQ(LoadError(dir + "/vocab.txt"), "failed to open vocab: " + dir + "/vocab.txt");
}

TEST(TokenizerLoadingTest, DirectoryIsNotAFile) {
  const std::filesystem::path dir = std::filesystem::path(::testing::TempDir()) / ("qrv_tok_dir_" + std::to_string(getpid()) + ".json");
  std::filesystem::create_directories(dir);
  EXPECT_EQ(LoadError(dir.string()), "failed to open GTE tokenizer: " + dir.string());
  std::filesystem::remove(dir);
}

TEST(TokenizerLoadingTest, UpperCaseJsonSuffixIsReadAsJson) {
  const TempFile file(".JSON", R"({"model": {"type": "WordPiece", "vocab": {"[CLS]": 7}}})");
  const Tokenizer tokenizer(file.path());
  EXPECT_EQ(tokenizer.kind(), TokenizerKind::WordPiece);
  EXPECT_FALSE(tokenizer.plain_vocabulary());
  EXPECT_EQ(tokenizer.start_id(), 7);
}

TEST(TokenizerLoadingTest, ShortOrOtherSuffixIsAPlainVocabulary) {
  for (const char* suffix : {"_vocab.txt", ".jso", "json"}) {
    const TempFile file(suffix, "[PAD]\n");
    const Tokenizer tokenizer(file.path());
    EXPECT_TRUE(tokenizer.plain_vocabulary()) << suffix;
    EXPECT_EQ(tokenizer.kind(), TokenizerKind::WordPiece) << suffix;
  }
}

TEST(TokenizerLoadingTest, ByteOrderMarkIsSkipped) {
  const Tokenizer tokenizer = LoadFromJson("\xEF\xBB\xBF{\"model\": {\"type\": \"BPE\", \"vocab\": {\"a\": 5}}}");
  EXPECT_EQ(tokenizer.kind(), TokenizerKind::BPE);
  EXPECT_EQ(tokenizer.vocabulary().at("a").id, 5);
}

TEST(TokenizerLoadingTest, DeepNestingInsideVocabIsSkippedNotFatal) {
  const Tokenizer tokenizer = LoadFromJson(R"({"model": {"type": "WordPiece", "vocab": {"a": 4, "b": )" +
                                           Nested(100000, true) + "}}}");
  EXPECT_EQ(tokenizer.vocabulary_size(), 1u);
  EXPECT_EQ(tokenizer.vocabulary().at("a").id, 4);
}

TEST(TokenizerLoadingTest, PlainVocabularyLineNumbersAreIds) {
  // An empty line keeps its id; CR LF endings lose the CR; U+2028 stays inside a token.
  const Tokenizer tokenizer = LoadFromVocabLines("[PAD]\r\n\nx\xE2\x80\xA8y\nab\nab\n");
  const Vocabulary& vocab = tokenizer.vocabulary();
  EXPECT_EQ(vocab.size(), 3u);
  EXPECT_EQ(vocab.at("[PAD]").id, 0);
  EXPECT_EQ(vocab.at("x\xE2\x80\xA8y").id, 2);
  EXPECT_EQ(vocab.at("ab").id, 4);  // the later duplicate overwrites
  EXPECT_FLOAT_EQ(vocab.at("ab").score, -4e-6f);
  EXPECT_EQ(tokenizer.data().longest_token, 5u);
}

TEST(TokenizerLoadingTest, WordPieceOptionsOfTheRightTypeReplaceTheDefaults) {
  const Tokenizer custom = LoadFromJson(
      R"({"model": {"type": "WordPiece", "continuing_subword_prefix": "@@", "max_input_chars_per_word": 7,
                    "vocab": {"a": 0, "a": 9, "b": 1.5, "c": true, "d": {}, "e": 2}}})");
  EXPECT_EQ(custom.data().continuing_subword_prefix, "@@");
  EXPECT_EQ(custom.data().max_input_chars_per_word, 7);
  EXPECT_EQ(custom.vocabulary_size(), 2u);
  EXPECT_EQ(custom.vocabulary().at("a").id, 9);

  const Tokenizer wrong_types = LoadFromJson(
      R"({"model": {"type": "WordPiece", "continuing_subword_prefix": 5, "max_input_chars_per_word": 7.5,
                    "vocab": {"a": 0}}})");
  EXPECT_EQ(wrong_types.data().continuing_subword_prefix, "##");
  EXPECT_EQ(wrong_types.data().max_input_chars_per_word, 100);
}

TEST(TokenizerLoadingTest, BpeMergesTakeTheirPositionAsRank) {
  const Tokenizer tokenizer = LoadFromJson(R"({"model": {"type": "BPE", "vocab": {"a": 0},
      "merges": ["a b", ["c", "d", "e"], "nospace", ["f"], 5, " g", "h i j", ["k", 1], ["l", "m"]]}})");
  const auto& merges = tokenizer.data().merges;
  EXPECT_EQ(merges.size(), 4u);
  EXPECT_EQ(merges.at("a\x1F" "b"), 0);
  EXPECT_EQ(merges.at("c\x1F" "d"), 1);
  EXPECT_EQ(merges.at("h\x1Fi j"), 6);
  EXPECT_EQ(merges.at("l\x1Fm"), 8);
}

TEST(TokenizerLoadingTest, UnigramPositionsAreIdsEvenForSkippedElements) {
  const Tokenizer tokenizer =
      LoadFromJson(R"({"model": {"vocab": [["<unk>", 0], "junk", ["ab", -1.5], ["big", 1e39], ["c", -2, "x"]]}})");
  EXPECT_EQ(tokenizer.kind(), TokenizerKind::Unigram);
  const Vocabulary& vocab = tokenizer.vocabulary();
  EXPECT_EQ(vocab.at("ab").id, 2);
  EXPECT_FLOAT_EQ(vocab.at("ab").score, -1.5f);
  EXPECT_EQ(vocab.at("c").id, 4);
  EXPECT_FLOAT_EQ(vocab.at("c").score, -2.0f);
  EXPECT_EQ(vocab.at("big").score, FLT_MAX);  // saturated, never infinite
  EXPECT_EQ(tokenizer.unknown_id(), 0);
}

struct UntypedCase {
  const char* name;
  std::string model_members;
  TokenizerKind kind;
};

class UntypedModelTest : public ::testing::TestWithParam<UntypedCase> {};

TEST_P(UntypedModelTest, KindFollowsTheVocabularyLayout) {
  const Tokenizer tokenizer = LoadFromJson(R"({"model": {)" + GetParam().model_members + "}}");
  EXPECT_EQ(tokenizer.kind(), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, UntypedModelTest,
    ::testing::Values(UntypedCase{"ArrayIsUnigram", R"("vocab": [["a", -1]])", TokenizerKind::Unigram},
                      UntypedCase{"NonStringTypeArrayIsUnigram", R"("type": 3, "vocab": [["a", -1]])",
                                  TokenizerKind::Unigram},
                      UntypedCase{"ObjectIsWordPiece", R"("vocab": {"a": 0}, "unk_token": "[UNK]")",
                                  TokenizerKind::WordPiece},
                      UntypedCase{"NullTypeObjectIsWordPiece", R"("type": null, "vocab": {"a": 0})",
                                  TokenizerKind::WordPiece},
                      UntypedCase{"ObjectWithMergesIsBpe", R"("vocab": {"a": 0}, "merges": ["a a"])",
                                  TokenizerKind::BPE}),
    [](const auto& info) { return std::string(info.param.name); });

struct SpecialIdsCase {
  const char* name;
  std::string json;
  TokenizerKind kind;
  Ids start_padding_end_unknown;
};

class SpecialIdsTest : public ::testing::TestWithParam<SpecialIdsCase> {};

TEST_P(SpecialIdsTest, FoundInVocabularyOrDefault) {
  const Tokenizer tokenizer = LoadFromJson(GetParam().json);
  EXPECT_EQ(tokenizer.kind(), GetParam().kind);
  const Ids got{tokenizer.start_id(), tokenizer.padding_id(), tokenizer.end_id(), tokenizer.unknown_id()};
  EXPECT_EQ(got, GetParam().start_padding_end_unknown);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SpecialIdsTest,
    ::testing::Values(
        SpecialIdsCase{"WordPieceFound",
                       R"({"model": {"type": "WordPiece", "vocab": {"[CLS]": 1, "[PAD]": 2, "[SEP]": 3, "[UNK]": 4}}})",
                       TokenizerKind::WordPiece, {1, 2, 3, 4}},
        SpecialIdsCase{"WordPieceDefaults", R"({"model": {"type": "WordPiece", "vocab": {"a": 5}}})",
                       TokenizerKind::WordPiece, {101, 0, 102, 100}},
        SpecialIdsCase{"BpeFound", R"({"model": {"type": "BPE", "vocab": {"<|endoftext|>": 9}}})",
                       TokenizerKind::BPE, {-1, 9, 9, 9}},
        SpecialIdsCase{"BpeDefaults", R"({"model": {"type": "BPE", "vocab": {"a": 0}}})", TokenizerKind::BPE,
                       {-1, 151643, 151643, 151643}},
        SpecialIdsCase{"UnigramFound",
                       R"({"model": {"type": "Unigram", "vocab": [["x", 0], ["<unk>", 0], ["</s>", 0], ["<pad>", 0], ["<s>", 0]]}})",
                       TokenizerKind::Unigram, {4, 3, 2, 1}},
        SpecialIdsCase{"UnigramDefaults", R"({"model": {"type": "Other", "vocab": [["x", 0]]}})",
                       TokenizerKind::Unigram, {0, 1, 2, 3}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TokenizerLoadingTest, BertVocabularyWithoutClsStillStartsWith101) {
  const Tokenizer tokenizer = LoadFromVocabLines("[PAD]\n[UNK]\nhello\n");
  EXPECT_EQ(tokenizer.encode("hello", 0), (Ids{101, 2, 102}));
}

}  // namespace
}  // namespace quirvel::test
