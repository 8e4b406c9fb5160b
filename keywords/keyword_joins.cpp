// The greedy joins that turn the ranked candidates into the keyword text, and
// the record of what they took: each keyword's blank and its place in the
// request's title, which the reply is built from.
#include <algorithm>
#include <utility>

#include "host/keyword_text.h"
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
  return std::any_of(choice.chosen.begin(), choice.chosen.end(), [&](const ChosenKeyword& chosen) {
    const std::string& taken = texts[chosen.ranked_index];
    return Contains(taken, text) || Contains(text, taken);
  });
}

bool OverlapsChosenSpan(const std::vector<RankedCandidate>& ranked, const KeywordChoice& choice,
                        const RankedCandidate& r) {
  return std::any_of(choice.chosen.begin(), choice.chosen.end(),
                     [&](const ChosenKeyword& chosen) { return SpansOverlap(ranked[chosen.ranked_index], r); });
}

enum class Fit { Append, Skip, Stop };

// Whether `piece` can go after `out` within max_len characters. A piece that
// does not fit is skipped, not the end: a shorter one further down may fit.
Fit FitPiece(const std::string& out, const std::string& piece, std::size_t max_len) {
  const JoinRoom room = RoomAfter(out, piece, max_len);
  if (room.full) return Fit::Stop;
  const std::size_t length = CountUtf8Chars(piece);
  return length == 0 || length > room.characters ? Fit::Skip : Fit::Append;
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
    ChosenKeyword chosen;
    chosen.ranked_index = i;
    chosen.blank_before = NeedsJoinBlank(choice.text, text);
    AppendJoined(choice.text, text);
    choice.chosen.push_back(std::move(chosen));
  }
  return choice;
}

// Each chosen keyword walked back onto the request's title; where the two
// titles do not stand character for character, its own characters.
void PlaceInRequest(std::vector<ChosenKeyword>& chosen, const std::vector<RankedCandidate>& ranked,
                    const std::string& input_title, const std::string& normalized_title) {
  const bool aligned = TitlesAlign(input_title, normalized_title);
  const std::vector<std::string> input_chars = aligned ? SplitUtf8Chars(input_title) : std::vector<std::string>();
  for (ChosenKeyword& keyword : chosen) {
    const RankedCandidate& r = ranked[keyword.ranked_index];
    keyword.in_request =
        aligned ? MapSpanToSources(input_chars, normalized_title, r.start, r.text, r.end) : UnmappedChars(r.text);
  }
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

void TakeChoice(ExtractionResult& result, const std::vector<RankedCandidate>& ranked, KeywordChoice choice) {
  if (choice.text.empty()) return;
  PlaceInRequest(choice.chosen, ranked, result.input_title, result.normalized_title);
  result.keyword_length = CountUtf8Chars(choice.text);
  result.keyword_text = std::move(choice.text);
  result.chosen = std::move(choice.chosen);
}

void JoinRankedSpans(ExtractionResult& result, const std::vector<RankedCandidate>& ranked,
                     std::size_t max_len) {
  TakeChoice(result, ranked, ChooseRankedSpans(ranked, max_len));
}

}  // namespace quirvel
