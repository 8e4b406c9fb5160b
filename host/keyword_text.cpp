#include "host/keyword_text.h"

#include <algorithm>

#include "host/utf8.h"
#include "host/word_join.h"

namespace quirvel {
namespace {

std::size_t Budget(std::int32_t max_len) {
  return static_cast<std::size_t>(std::max<std::int32_t>(max_len, 0));
}

// Walks a span of the normalized title, character by character, and hands out
// the request's character for each keyword character it finds there.
class SpanWalk {
 public:
  SpanWalk(const std::vector<std::string>& input_chars, const std::string& title, std::uint64_t begin,
           std::uint64_t end)
      : input_chars_(input_chars), title_(title), end_(std::min<std::uint64_t>(end, title.size())) {
    while (pos_ < title_.size() && pos_ < begin) Step();
  }

  // The character index the walk stands at.
  std::size_t index() const { return index_; }

  // Segments hold no blank, so a keyword's blank is always its join's: it
  // stays one blank, and stands for the title's blank when there is one.
  std::string Blank() {
    if (InSpan() && title_[pos_] == ' ') Step();
    return " ";
  }

  // The request's character at the next occurrence of `ch`; what lies between
  // (separators, a repeat the segments dropped) is stepped over. A character
  // the span lacks is kept as the keyword has it.
  std::string Take(const std::string& ch) {
    const std::size_t saved_pos = pos_;
    const std::size_t saved_index = index_;
    for (; InSpan(); Step()) {
      if (title_.compare(pos_, CharLength(), ch) != 0) continue;
      std::string found = input_chars_[index_];
      Step();
      return found;
    }
    pos_ = saved_pos;
    index_ = saved_index;
    return ch;
  }

 private:
  bool InSpan() const { return pos_ < end_ && index_ < input_chars_.size(); }
  std::size_t CharLength() const { return Utf8CharLengthAt(title_, pos_); }
  void Step() {
    pos_ += CharLength();
    ++index_;
  }

  const std::vector<std::string>& input_chars_;
  const std::string& title_;
  std::uint64_t end_;
  std::size_t pos_ = 0;
  std::size_t index_ = 0;
};

}  // namespace

std::string MapSpanToInput(const std::vector<std::string>& input_chars, const std::string& normalized_title,
                           std::uint64_t offset, const std::string& keyword, std::uint64_t end) {
  SpanWalk walk(input_chars, normalized_title, offset, end > offset ? end : normalized_title.size());
  if (walk.index() >= input_chars.size()) return keyword;
  std::string piece;
  for (const std::string& ch : SplitUtf8Chars(keyword)) piece += ch == " " ? walk.Blank() : walk.Take(ch);
  return piece;
}

std::string BuildKeywordText(const ExtractionResult& result, std::int32_t max_len) {
  const std::vector<std::string> input_chars = SplitUtf8Chars(result.input_title);
  if (input_chars.size() != CountUtf8Chars(result.normalized_title)) return result.keyword_text;
  std::string output;
  std::string joined_texts;  // the model's own text so far: the join's rule reads it
  for (const std::size_t index : result.chosen) {
    if (index >= result.ranked.size()) continue;
    const RankedCandidate& keyword = result.ranked[index];
    const std::string piece =
        MapSpanToInput(input_chars, result.normalized_title, keyword.start, keyword.text, keyword.end);
    const bool blank = NeedsJoinBlank(joined_texts, keyword.text);
    if (CountUtf8Chars(output) + (blank ? 1 : 0) + CountUtf8Chars(piece) > Budget(max_len)) continue;
    if (blank) output += ' ';
    output += piece;
    AppendJoined(joined_texts, keyword.text);
  }
  return output.empty() ? result.keyword_text : output;
}

std::string FitToBudget(const std::string& keywords, std::int32_t max_len) {
  if (CountUtf8Chars(keywords) <= Budget(max_len)) return keywords;
  std::string cut = TruncateUtf8Chars(keywords, Budget(max_len));
  while (!cut.empty() && cut.back() == ' ') cut.pop_back();
  return cut;
}

}  // namespace quirvel
