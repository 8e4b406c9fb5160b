// The reply's keyword text on whole titles, through the demo model: golden
// files of replies for short titles of our own, and sweeps over real seller
// titles checking that every character of the keywords belongs to a chosen
// keyword, that the keywords are as long as "len", that the keyword list
// joins to the keywords and points at the request characters it holds, and
// that a title written in Traditional script comes back as the seller wrote it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "conversion/script_conversion.h"
#include "conversion/seller_script.h"
#include "host/keyword_list.h"
#include "host/keyword_text.h"
#include "host/request_loop.h"
#include "host/resources.h"
#include "host/utf8.h"
#include "host/word_join.h"
#include "keywords/keyword_model.h"
#include "test_paths.h"

namespace quirvel {
namespace {

namespace fs = std::filesystem;

const fs::path kTitlesFile = fs::path(test::kTestDataDir) / "host" / "keyword_text_titles.txt";
const fs::path kGoldenFile = fs::path(test::kTestDataDir) / "host" / "keyword_text_replies.golden.jsonl";
const fs::path kListTitlesFile = fs::path(test::kTestDataDir) / "host" / "keyword_list_titles.txt";
constexpr std::int32_t kBudgets[] = {24, 12};

// The replies of before the seller's script became the default are those of
// Everything, pinned by the golden file they always had.
const char* ConversionName(BackConversion conversion) {
  switch (conversion) {
    case BackConversion::SellerScript:
      return "SellerScript";
    case BackConversion::Everything:
      return "Everything";
    case BackConversion::OutsideRequestCharacters:
      break;
  }
  return "KeepRequestCharacters";
}

fs::path ListGoldenFile(BackConversion conversion) {
  const char* name = conversion == BackConversion::Everything ? "keyword_list_replies.golden.jsonl"
                     : conversion == BackConversion::OutsideRequestCharacters
                         ? "keyword_list_replies_keep.golden.jsonl"
                         : "keyword_list_replies_seller.golden.jsonl";
  return fs::path(test::kTestDataDir) / "host" / name;
}

// The golden file's text; rewritten from `replies` instead when
// QUIRVEL_UPDATE_GOLDEN is set, so a reviewer reads the diff.
std::string GoldenText(const fs::path& path, const std::string& replies) {
  if (std::getenv("QUIRVEL_UPDATE_GOLDEN") != nullptr) std::ofstream(path, std::ios::binary) << replies;
  std::ifstream golden(path, std::ios::binary);
  std::stringstream text;
  text << golden.rdbuf();
  return text.str();
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::vector<std::string> lines;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// The demo model with the build's resources, as the worker's start-up would
// set them.
class DemoModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetOpenccConfigPath(std::string(test::kOpenccShareDir) + "/tw2sp.json"));
    SetHostOpenccResourceDir(test::kOpenccShareDir);
    SetJiebaDictDir(test::kJiebaDictDir);
  }
  void TearDown() override { DestroyKeywordModel(std::move(model_)); }

  void LoadModel(bool candidate_cache) {
    KeywordModelConfig config;
    config.model_path = QUIRVEL_DEMO_MODEL;
    config.tokenizer_path = QUIRVEL_DEMO_VOCAB;
    config.candidate_cache = candidate_cache;
    model_ = CreateKeywordModel(config);
    ASSERT_TRUE(IsModelReady(model_.get())) << ModelLastError(model_.get());
  }

  std::string Reply(const std::string& title, std::int32_t max_len, const ReplyOptions& options = {}) {
    const Json request = {{"id", "g"}, {"type", "extract"}, {"title", title}, {"max_len", max_len}};
    return HandleExtract("g", model_.get(), request, options).dump();
  }

  KeywordModelPtr model_;
};

// The request characters that stand, somewhere in this title, where the
// normalized title has a given character.
std::map<std::string, std::set<std::string>> InputCharsByNormalized(const ExtractionResult& result) {
  const std::vector<std::string> input = SplitUtf8Chars(result.input_title);
  const std::vector<std::string> normalized = SplitUtf8Chars(result.normalized_title);
  std::map<std::string, std::set<std::string>> by_normalized;
  for (std::size_t i = 0; i < input.size() && i < normalized.size(); ++i)
    by_normalized[normalized[i]].insert(input[i]);
  return by_normalized;
}

// Empty when every character of the rebuilt text is a chosen keyword's own
// character in the request's script, or one of the join's blanks.
std::string StrayCharacters(const ExtractionResult& result, const std::string& rebuilt) {
  if (result.chosen.empty()) return {};
  std::string joined;
  for (const ChosenKeyword& keyword : result.chosen) AppendJoined(joined, result.ranked.at(keyword.ranked_index).text);
  if (joined != result.keyword_text)
    return "model text " + result.keyword_text + " is not its keywords " + joined;
  if (CountUtf8Chars(result.input_title) != CountUtf8Chars(result.normalized_title)) {
    return rebuilt == result.keyword_text ? "" : "not the model's text: " + rebuilt;
  }
  const auto by_normalized = InputCharsByNormalized(result);
  const std::vector<std::string> expected = SplitUtf8Chars(joined);
  const std::vector<std::string> got = SplitUtf8Chars(rebuilt);
  if (got.size() != expected.size()) return "length " + std::to_string(got.size()) + " for " + joined;
  std::string strays;
  for (std::size_t i = 0; i < got.size(); ++i) {
    const bool blank = expected[i] == " " && got[i] == " ";
    const auto found = by_normalized.find(expected[i]);
    if (!blank && (found == by_normalized.end() || found->second.count(got[i]) == 0)) strays += got[i];
  }
  return strays;
}

TEST_F(DemoModelTest, ShortTitlesGiveTheGoldenReplies) {
  const std::vector<std::string> titles = ReadLines(kTitlesFile);
  ASSERT_FALSE(titles.empty()) << kTitlesFile;
  LoadModel(false);
  std::string replies;
  for (const std::string& title : titles) {
    for (const std::int32_t max_len : kBudgets) {
      const ExtractionResult result = Extract(model_.get(), title, static_cast<std::size_t>(max_len));
      EXPECT_EQ(StrayCharacters(result, BuildKeywordText(result)), "") << title << " / " << max_len;
      replies += Reply(title, max_len) + "\n";
    }
  }
  EXPECT_EQ(replies, GoldenText(kGoldenFile, replies))
      << "rerun with QUIRVEL_UPDATE_GOLDEN=1 and review the diff";
}

Json DetailRequest(const std::string& title, std::int32_t max_len) {
  return {{"id", "g"},          {"type", "extract"}, {"title", title},
          {"max_len", max_len}, {"detail", true},    {"top", 5}};
}

// Empty when the entry's start and end point at the request characters its
// text holds: its characters, blanks aside, in order within [start, end), the
// first and the last at its ends. An entry without a span holds none.
std::string SpanProblem(const std::vector<std::string>& request, const Json& entry) {
  if (entry["start"].is_null() && entry["end"].is_null()) return {};
  const std::size_t start = entry["start"].get<std::size_t>();
  const std::size_t end = entry["end"].get<std::size_t>();
  std::vector<std::string> chars = SplitUtf8Chars(entry["text"].get<std::string>());
  chars.erase(std::remove(chars.begin(), chars.end(), " "), chars.end());
  if (start >= end || end > request.size() || chars.empty()) return "bad span " + entry.dump();
  if (chars.front() != request[start] || chars.back() != request[end - 1])
    return "ends differ " + entry.dump();
  std::size_t next = 0;
  for (std::size_t i = start; i < end && next < chars.size(); ++i) next += request[i] == chars[next] ? 1 : 0;
  return next == chars.size() ? std::string() : "not the request's characters " + entry.dump();
}

// Empty when the list joins to "keywords" (an empty list stands for the
// fallback) and, with the request's characters kept, every span points at the
// characters its text holds.
std::string ListProblem(const std::string& title, const Json& reply, BackConversion conversion) {
  std::vector<ReplyKeyword> list;
  for (const Json& entry : reply["keyword_list"])
    list.push_back({entry["text"].get<std::string>(), {}, 0.0f, ""});
  if (!list.empty() && JoinReplyKeywords(list) != reply["keywords"].get<std::string>())
    return "joins to " + JoinReplyKeywords(list);
  if (conversion != BackConversion::OutsideRequestCharacters) return {};
  const std::vector<std::string> request = SplitUtf8Chars(title);
  for (const char* member : {"keyword_list", "ranked"}) {
    for (const Json& entry : reply[member]) {
      const std::string problem = SpanProblem(request, entry);
      if (!problem.empty()) return member + (": " + problem);
    }
  }
  return {};
}

// Scores come from float arithmetic whose last bits may differ between
// processors: they match to 1e-4, every other member exactly.
Json WithScoresOf(Json reply, const Json& golden) {
  for (const char* member : {"keyword_list", "ranked"}) {
    if (!reply.contains(member) || !golden.contains(member) || reply[member].size() != golden[member].size())
      continue;
    for (std::size_t i = 0; i < reply[member].size(); ++i) {
      Json& score = reply[member][i]["score"];
      const Json& expected = golden[member][i]["score"];
      if (score.is_number() && expected.is_number() &&
          std::abs(score.get<double>() - expected.get<double>()) <= 1e-4)
        score = expected;
    }
  }
  return reply;
}

class KeywordListTest : public DemoModelTest, public ::testing::WithParamInterface<BackConversion> {};

TEST_P(KeywordListTest, ShortTitlesGiveTheGoldenReplies) {
  const std::vector<std::string> titles = ReadLines(kListTitlesFile);
  ASSERT_FALSE(titles.empty()) << kListTitlesFile;
  LoadModel(false);
  const ReplyOptions options{GetParam()};
  std::vector<Json> replies;
  std::string text;
  for (const std::string& title : titles) {
    for (const std::int32_t max_len : kBudgets) {
      replies.push_back(HandleExtract("g", model_.get(), DetailRequest(title, max_len), options));
      EXPECT_EQ(ListProblem(title, replies.back(), GetParam()), "") << title << " / " << max_len;
      // Less its two members, the reply is the one without them, byte for byte.
      Json less = replies.back();
      less.erase("keyword_list");
      less.erase("ranked");
      EXPECT_EQ(less.dump(), Reply(title, max_len, options)) << title << " / " << max_len;
      text += replies.back().dump() + "\n";
    }
  }
  std::istringstream golden(GoldenText(ListGoldenFile(GetParam()), text));
  std::string line;
  for (const Json& reply : replies) {
    ASSERT_TRUE(std::getline(golden, line)) << "golden file too short; rerun with QUIRVEL_UPDATE_GOLDEN=1";
    const Json expected = Json::parse(line);
    EXPECT_EQ(WithScoresOf(reply, expected).dump(), expected.dump()) << "rerun with QUIRVEL_UPDATE_GOLDEN=1";
  }
  EXPECT_FALSE(std::getline(golden, line)) << "golden file has more replies";
}

INSTANTIATE_TEST_SUITE_P(BackConversions, KeywordListTest,
                         ::testing::Values(BackConversion::SellerScript, BackConversion::Everything,
                                           BackConversion::OutsideRequestCharacters),
                         [](const ::testing::TestParamInfo<BackConversion>& info) {
                           return std::string(ConversionName(info.param));
                         });

// Empty when the entries of a keyword list, a cut last one aside, cover the
// request characters the join placed their keywords on.
std::string SpansOtherThanTheJoins(const ExtractionResult& result, const Json& list) {
  for (std::size_t i = 0; i + 1 < list.size(); ++i) {
    const CharSpan span =
        i < result.chosen.size() ? SpanOfSources(result.chosen[i].in_request.sources) : CharSpan{};
    const Json start = span.mapped ? Json(span.start) : Json(nullptr);
    const Json end = span.mapped ? Json(span.end) : Json(nullptr);
    if (list[i]["start"] != start || list[i]["end"] != end) return list[i].dump();
  }
  return {};
}

struct SweepCase {
  std::int32_t max_len;
  BackConversion conversion;
};

// Whether the reply judges the title written in Simplified script.
bool WrittenInSimplified(const ExtractionResult& result) {
  const ScriptClues clues = FindScriptClues(result.input_title, result.normalized_title);
  std::vector<std::string> kept_alone;
  for (const std::string& ch : clues.kept) kept_alone.push_back(ToTraditional(ch));
  return WrittenInSimplified(clues, kept_alone);
}

// Empty when a reply in the seller's script is what it should be: for a title
// written in Traditional, the title as the seller wrote it and keywords of the
// seller's characters (where the titles align); for one written in
// Simplified, the reply of Everything.
std::string SellerScriptProblem(const ExtractionResult& result, const Json& reply, const Json& everything) {
  if (WrittenInSimplified(result)) return reply == everything ? "" : "not converted: " + reply.dump();
  if (reply["title"] != result.input_title) return "title rewritten: " + reply["title"].dump();
  if (!TitlesAlign(result.input_title, result.normalized_title)) return {};
  for (const std::string& ch : SplitUtf8Chars(reply["keywords"].get<std::string>())) {
    if (ch != " " && result.input_title.find(ch) == std::string::npos) return "keywords hold " + ch;
  }
  return {};
}

class RealTitlesTest : public DemoModelTest, public ::testing::WithParamInterface<SweepCase> {};

Json WithoutLists(Json reply) {
  reply.erase("keyword_list");
  reply.erase("ranked");
  return reply;
}

// The same extractions check the keyword list: it joins to the keywords, and
// converted as a whole its spans are the join's; with the request's characters
// kept, each span points at the characters its text holds. Every reply opens
// the converters anew, so that pass builds one reply per title. Then the same
// titles with the converters kept open, as --reuse-converters runs the worker:
// each reply is the same text, the reply without the lists is it less them,
// its keywords are as long as its "len" when the back-conversion keeps
// lengths (a rare Taiwanese word longer than its Simplified one may differ),
// and in the seller's script a title written in Traditional comes back as
// written.
TEST_P(RealTitlesTest, KeepOnlyChosenKeywordsAndTheirLength) {
  std::vector<std::string> titles = ReadLines(fs::path(test::kSharedDataDir) / "titles" / "tw.txt");
  if (titles.empty()) GTEST_SKIP() << "no real titles under " << test::kSharedDataDir;
#ifdef QUIRVEL_SANITIZED
  // The sanitizer build runs ten times slower: every eighth title there.
  std::vector<std::string> sample;
  for (std::size_t i = 0; i < titles.size(); i += 8) sample.push_back(titles[i]);
  titles.swap(sample);
#endif
  LoadModel(false);
  const auto [max_len, conversion] = GetParam();
  const ReplyOptions options{conversion};
  std::vector<Json> replies;
  for (const std::string& title : titles) {
    const ExtractionResult result = Extract(model_.get(), title, static_cast<std::size_t>(max_len));
    const std::string rebuilt = BuildKeywordText(result);
    EXPECT_EQ(StrayCharacters(result, rebuilt), "") << title << ": " << rebuilt;
    replies.push_back(BuildExtractReply("g", model_.get(), result, {max_len, true, 5}, options));
    EXPECT_EQ(ListProblem(title, replies.back(), conversion), "") << title;
    if (conversion == BackConversion::Everything) {
      EXPECT_EQ(SpansOtherThanTheJoins(result, replies.back()["keyword_list"]), "") << title;
    }
  }
  const KeptConverters kept;
  std::size_t same_length = 0;
  for (std::size_t i = 0; i < titles.size(); ++i) {
    const ExtractionResult result = Extract(model_.get(), titles[i], static_cast<std::size_t>(max_len));
    const Json plain = BuildExtractReply("g", model_.get(), result, {max_len, false, 0}, options);
    EXPECT_EQ(BuildExtractReply("g", model_.get(), result, {max_len, true, 5}, options).dump(), replies[i].dump())
        << titles[i];
    EXPECT_EQ(plain.dump(), WithoutLists(replies[i]).dump()) << titles[i];
    if (conversion == BackConversion::SellerScript) {
      const Json everything =
          BuildExtractReply("g", model_.get(), result, {max_len, true, 5}, {BackConversion::Everything});
      EXPECT_EQ(SellerScriptProblem(result, replies[i], everything), "") << titles[i];
    }
    if (CountUtf8Chars(plain["keywords"].get<std::string>()) == result.keyword_length) ++same_length;
  }
  if (conversion == BackConversion::Everything) {
    EXPECT_GE(same_length * 100, titles.size() * 99)
        << same_length << " of " << titles.size() << " as long as len";
  }
}

INSTANTIATE_TEST_SUITE_P(Budgets, RealTitlesTest,
                         ::testing::Values(SweepCase{24, BackConversion::SellerScript},
                                           SweepCase{24, BackConversion::Everything},
                                           SweepCase{12, BackConversion::Everything},
                                           SweepCase{24, BackConversion::OutsideRequestCharacters},
                                           SweepCase{12, BackConversion::OutsideRequestCharacters}),
                         [](const ::testing::TestParamInfo<SweepCase>& info) {
                           return "MaxLen" + std::to_string(info.param.max_len) + ConversionName(info.param.conversion);
                         });

}  // namespace
}  // namespace quirvel
