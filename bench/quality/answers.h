// A system's answer for one title: the set of title characters its keywords
// were taken from. The worker's answer comes from the spans of its keyword
// list; a peer's from its words, located in the title and taken greedily in
// rank order within the same character budget. Blanks are never part of an
// answer.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quirvel::quality {

// White space in the Unicode sense (ASCII blanks and controls \t to \r, the
// no-break spaces, the ideographic space U+3000 ...); sellers pad titles with
// any of them.
bool IsBlankChar(std::string_view character);

// A title cut into its characters, with which of them are blanks.
struct TitleChars {
  explicit TitleChars(std::string_view text);
  size_t size() const { return chars.size(); }

  std::string text;
  std::vector<std::string> chars;
  std::vector<bool> blank;
};

// Per character of the title: true when it is in the answer (never a blank).
using Answer = std::vector<bool>;

// The character positions where `needle` starts in `haystack`, in characters.
std::vector<size_t> OccurrenceStarts(const TitleChars& haystack, std::string_view needle);

// The non-blank characters of the title in the answer.
size_t AnswerSize(const TitleChars& title, const Answer& answer);

// One keyword's place in the request title: [start, end) in characters, or
// absent when the worker could not map it onto the request's characters.
struct KeywordSpan {
  std::optional<size_t> start;
  std::optional<size_t> end;
};

// The non-blank characters inside the spans; an absent span adds nothing.
// Throws std::runtime_error for a span that runs backwards or past the title.
Answer AnswerFromSpans(const TitleChars& title, const std::vector<KeywordSpan>& spans);

// The title's first max_len non-blank characters.
Answer LeadingCharsAnswer(const TitleChars& title, size_t max_len);

// A peer's words, best first, taken greedily: each word takes its first
// occurrence whose characters are all still free, and costs its non-blank
// characters of the budget; a word that does not fit the rest of the budget,
// or has no free occurrence, is skipped and the next one tried.
//
// The words were found in the normalised (Simplified) title. When it has as
// many characters as the request title, the two line up character for
// character (tw2sp converts one for one) and each word is located in the
// normalised title. When a phrase conversion changed the length (光碟機 to
// 光驱), positions do not carry over, so the word is located in the request
// title as it is (ASCII words and characters both scripts share are found)
// and skipped otherwise: skipping costs the peer a word rather than crediting
// it with characters it did not choose.
Answer GreedyWordsAnswer(const TitleChars& title, const TitleChars& normalized,
                         const std::vector<std::string>& words, size_t max_len);

}  // namespace quirvel::quality
