#include "keywords/candidates.h"

#include <algorithm>

#include "host/utf8.h"
#include "host/word_join.h"

namespace quirvel {
namespace {

constexpr std::size_t kMaxPhraseWindow = 4;

// An ASCII byte of a model number or word (IsWordChar: "*" is not one).
bool HasModelByte(const std::string& text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return IsWordChar(static_cast<unsigned char>(c)); });
}

bool HasCandidateLength(const std::string& text) {
  const std::size_t chars = CountUtf8Chars(text);
  return chars >= 1 && chars <= kMaxCandidateChars;
}

std::uint64_t SegmentEnd(const Segment& segment) { return segment.offset + segment.text.size(); }

// Windows of 2 to 4 neighbouring segments from `first`, shortest first; a
// segment that cannot be a candidate ends the windows of this start.
void AddPhrasesFrom(std::vector<Candidate>& list, const std::vector<Segment>& segments, std::size_t first) {
  std::string phrase;
  for (std::size_t window = 1; window <= kMaxPhraseWindow && first + window <= segments.size(); ++window) {
    const Segment& last = segments[first + window - 1];
    if (!HasCandidateLength(last.text)) return;
    AppendJoined(phrase, last.text);
    if (window >= 2) {
      AddCandidate(list, phrase, segments[first].offset, SegmentEnd(last), "phrase" + std::to_string(window));
    }
  }
}

}  // namespace

void AddCandidate(std::vector<Candidate>& list, const std::string& text, std::uint64_t start,
                  std::uint64_t end, const std::string& kind) {
  if (!HasCandidateLength(text)) return;
  for (const Candidate& candidate : list) {
    if (candidate.text == text) return;
  }
  list.push_back({text, start, end, kind});
}

// Tokens first, then phrases by start and window size: the ranking breaks
// score ties by start and keeps this order otherwise.
std::vector<Candidate> BuildCandidates(const std::vector<Segment>& segments) {
  std::vector<Candidate> list;
  list.reserve(segments.size() * kMaxPhraseWindow);
  for (const Segment& segment : segments) {
    if (!HasCandidateLength(segment.text)) continue;
    const char* kind = HasModelByte(segment.text) ? "ascii_model" : "token";
    AddCandidate(list, segment.text, segment.offset, SegmentEnd(segment), kind);
  }
  for (std::size_t first = 0; first < segments.size(); ++first) AddPhrasesFrom(list, segments, first);
  return list;
}

std::vector<Candidate> BuildTokenCandidates(const std::vector<Segment>& segments) {
  std::vector<Candidate> list;
  list.reserve(segments.size());
  for (const Segment& segment : segments) {
    AddCandidate(list, segment.text, segment.offset, SegmentEnd(segment), "token");
  }
  return list;
}

}  // namespace quirvel
