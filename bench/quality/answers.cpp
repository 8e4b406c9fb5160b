#include "bench/quality/answers.h"

#include <stdexcept>

#include "host/unicode.h"
#include "host/utf8.h"

namespace quirvel::quality {
namespace {

bool IsBlankCodePoint(char32_t code_point) {
  return (code_point >= 0x09 && code_point <= 0x0D) || code_point == 0x20 || code_point == 0x85 ||
         code_point == 0xA0 || code_point == 0x1680 || (code_point >= 0x2000 && code_point <= 0x200A) ||
         code_point == 0x2028 || code_point == 0x2029 || code_point == 0x202F || code_point == 0x205F ||
         code_point == 0x3000;
}

size_t NonBlankCount(const TitleChars& title, size_t start, size_t length) {
  size_t count = 0;
  for (size_t i = start; i < start + length; ++i) count += title.blank[i] ? 0 : 1;
  return count;
}

bool AllFree(const Answer& answer, size_t start, size_t length) {
  for (size_t i = start; i < start + length; ++i) {
    if (answer[i]) return false;
  }
  return true;
}

void Mark(const TitleChars& title, size_t start, size_t end, Answer& answer) {
  for (size_t i = start; i < end; ++i) answer[i] = !title.blank[i];
}

}  // namespace

bool IsBlankChar(std::string_view character) {
  const DecodedChar decoded = DecodeUtf8At(character, 0);
  return decoded.length == character.size() && IsBlankCodePoint(decoded.code_point);
}

TitleChars::TitleChars(std::string_view title) : text(title), chars(SplitUtf8Chars(title)) {
  blank.reserve(chars.size());
  for (const std::string& character : chars) blank.push_back(IsBlankChar(character));
}

std::vector<size_t> OccurrenceStarts(const TitleChars& haystack, std::string_view needle) {
  std::vector<size_t> starts;
  if (needle.empty()) return starts;
  const std::vector<size_t> offsets = Utf8CharOffsets(haystack.text);
  size_t char_index = 0;
  for (size_t byte = haystack.text.find(needle); byte != std::string::npos;
       byte = haystack.text.find(needle, byte + 1)) {
    while (char_index < offsets.size() && offsets[char_index] < byte) ++char_index;
    // A match that starts inside a character (bytes of a broken title) is no occurrence.
    if (char_index < offsets.size() && offsets[char_index] == byte) starts.push_back(char_index);
  }
  return starts;
}

size_t AnswerSize(const TitleChars& title, const Answer& answer) {
  size_t size = 0;
  for (size_t i = 0; i < title.size() && i < answer.size(); ++i) size += answer[i] && !title.blank[i] ? 1 : 0;
  return size;
}

Answer AnswerFromSpans(const TitleChars& title, const std::vector<KeywordSpan>& spans) {
  Answer answer(title.size(), false);
  for (const KeywordSpan& span : spans) {
    if (!span.start || !span.end) continue;
    if (*span.start > *span.end || *span.end > title.size()) {
      throw std::runtime_error("keyword span [" + std::to_string(*span.start) + ", " +
                               std::to_string(*span.end) + ") does not lie in the title of " +
                               std::to_string(title.size()) + " characters");
    }
    Mark(title, *span.start, *span.end, answer);
  }
  return answer;
}

Answer LeadingCharsAnswer(const TitleChars& title, size_t max_len) {
  Answer answer(title.size(), false);
  size_t taken = 0;
  for (size_t i = 0; i < title.size() && taken < max_len; ++i) {
    if (title.blank[i]) continue;
    answer[i] = true;
    ++taken;
  }
  return answer;
}

Answer GreedyWordsAnswer(const TitleChars& title, const TitleChars& normalized,
                         const std::vector<std::string>& words, size_t max_len) {
  const TitleChars& haystack = normalized.size() == title.size() ? normalized : title;
  Answer answer(title.size(), false);
  size_t used = 0;
  for (const std::string& word : words) {
    const size_t length = CountUtf8Chars(word);
    for (size_t start : OccurrenceStarts(haystack, word)) {
      if (!AllFree(answer, start, length)) continue;
      const size_t cost = NonBlankCount(title, start, length);
      if (used + cost <= max_len) {
        Mark(title, start, start + length, answer);
        used += cost;
      }
      break;
    }
  }
  return answer;
}

}  // namespace quirvel::quality
