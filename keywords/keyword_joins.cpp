// The greedy joins that turn the ranked candidates into the keyword text.
#include <algorithm>

#include "host/utf8.h"
#include "host/word_join.h"
#include "keywords/keyword_model.h"

namespace quirvel {
namespace {

bool Contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

// A chosen text equal to, inside of, or around the new one makes it redundant.
bool OverlapsChosenText(const std::vector<std::string>& texts, const KeywordChoice& choice,
                        const std::string& text) {
  return std::any_of(choice.chosen.begin(), choice.chosen.end(),
                     [&](std::size_t i) { return Contains(texts[i], text) || Contains(text, texts[i]); });
}

bool OverlapsChosenSpan(const std::vector<RankedCandidate>& ranked, const KeywordChoice& choice,
                        const RankedCandidate& r) {
  return std::any_of(choice.chosen.begin(), choice.chosen.end(),
                     [&](std::size_t i) { return SpansOverlap(ranked[i], r); });
}

enum class Fit { Append, Skip, Stop };

// Whether `piece` can go after `out` within max_len characters. A piece that
// does not fit is skipped, not the end: a shorter one further down may fit.
Fit FitPiece(const std::string& out, const std::string& piece, std::size_t max_len) {
  const std::size_t current = CountUtf8Chars(out);
  if (current >= max_len) return Fit::Stop;
  const std::size_t length = CountUtf8Chars(piece);
  if (length == 0) return Fit::Skip;
  const std::size_t separator = NeedsJoinBlank(out, piece) ? 1 : 0;
  return separator + length + current > max_len ? Fit::Skip : Fit::Append;
}

// The walk both joins share; `redundant(choice, i)` says whether entry i
// repeats what the choice so far holds.
template <typename Redundant>
KeywordChoice ChooseGreedily(const std::vector<std::string>& texts, std::size_t max_len,
                             Redundant redundant) {
  KeywordChoice choice;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string& text = texts[i];
    if (text.empty() || redundant(choice, i)) continue;
    const Fit fit = FitPiece(choice.text, text, max_len);
    if (fit == Fit::Stop) break;
    if (fit == Fit::Skip) continue;
    AppendJoined(choice.text, text);
    choice.chosen.push_back(i);
  }
  return choice;
}

}  // namespace

std::vector<std::string> RankedTexts(const std::vector<RankedCandidate>& ranked) {
  std::vector<std::string> texts;
  texts.reserve(ranked.size());
  for (const RankedCandidate& r : ranked) texts.push_back(r.text);
  return texts;
}

KeywordChoice ChooseRankedTexts(const std::vector<std::string>& texts, std::size_t max_len) {
  return ChooseGreedily(texts, max_len, [&](const KeywordChoice& choice, std::size_t i) {
    return OverlapsChosenText(texts, choice, texts[i]);
  });
}

KeywordChoice ChooseRankedSpans(const std::vector<RankedCandidate>& ranked, std::size_t max_len) {
  const std::vector<std::string> texts = RankedTexts(ranked);
  return ChooseGreedily(texts, max_len, [&](const KeywordChoice& choice, std::size_t i) {
    return OverlapsChosenText(texts, choice, texts[i]) || OverlapsChosenSpan(ranked, choice, ranked[i]);
  });
}

std::string JoinRankedTexts(const std::vector<std::string>& texts, const std::string& normalized_title,
                            std::size_t max_len) {
  std::string out = ChooseRankedTexts(texts, max_len).text;
  return out.empty() ? TruncateUtf8Chars(normalized_title, max_len) : out;
}

void JoinRankedSpans(ExtractionResult& result, const std::vector<RankedCandidate>& ranked,
                     std::size_t max_len) {
  KeywordChoice choice = ChooseRankedSpans(ranked, max_len);
  if (choice.text.empty()) return;
  result.keyword_length = CountUtf8Chars(choice.text);
  result.keyword_text = std::move(choice.text);
  result.chosen = std::move(choice.chosen);
}

}  // namespace quirvel
