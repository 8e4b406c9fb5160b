#include "host/keyword_text.h"

#include <algorithm>

#include "host/utf8.h"

namespace quirvel {
namespace {

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

  // The index of the request's character at the next occurrence of `ch`;
  // what lies between (separators, a repeat the segments dropped) is stepped
  // over. kNotFromRequest when the span lacks it.
  std::size_t Take(const std::string& ch) {
    const std::size_t saved_pos = pos_;
    const std::size_t saved_index = index_;
    for (; InSpan(); Step()) {
      if (title_.compare(pos_, CharLength(), ch) != 0) continue;
      const std::size_t found = index_;
      Step();
      return found;
    }
    pos_ = saved_pos;
    index_ = saved_index;
    return kNotFromRequest;
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

MappedChars UnmappedChars(const std::string& keyword) {
  MappedChars mapped;
  mapped.chars = SplitUtf8Chars(keyword);
  mapped.sources.assign(mapped.chars.size(), kNotFromRequest);
  return mapped;
}

std::string JoinChars(const std::vector<std::string>& chars) {
  std::string text;
  for (const std::string& ch : chars) text += ch;
  return text;
}

MappedChars MapSpanToSources(const std::vector<std::string>& input_chars, const std::string& normalized_title,
                             std::uint64_t offset, const std::string& keyword, std::uint64_t end) {
  SpanWalk walk(input_chars, normalized_title, offset, end > offset ? end : normalized_title.size());
  MappedChars mapped = UnmappedChars(keyword);
  if (walk.index() >= input_chars.size()) return mapped;
  for (std::size_t i = 0; i < mapped.chars.size(); ++i) {
    if (mapped.chars[i] == " ") {
      mapped.chars[i] = walk.Blank();
      continue;
    }
    mapped.sources[i] = walk.Take(mapped.chars[i]);
    if (mapped.sources[i] != kNotFromRequest) mapped.chars[i] = input_chars[mapped.sources[i]];
  }
  return mapped;
}

std::string MapSpanToInput(const std::vector<std::string>& input_chars, const std::string& normalized_title,
                           std::uint64_t offset, const std::string& keyword, std::uint64_t end) {
  return JoinChars(MapSpanToSources(input_chars, normalized_title, offset, keyword, end).chars);
}

bool TitlesAlign(const std::string& input_title, const std::string& normalized_title) {
  return CountUtf8Chars(input_title) == CountUtf8Chars(normalized_title);
}

}  // namespace quirvel
