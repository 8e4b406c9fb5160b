// Segmentation and candidate building on arbitrary bytes with the real Jieba
// dictionary: every segment stands at its offset, every candidate is 1 to 24
// characters over a byte range inside the title.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host/utf8.h"
#include "keywords/candidates.h"
#include "keywords/segmentation.h"

namespace {

using quirvel::fuzz::Require;

void CheckSegments(const std::string& title, const std::vector<quirvel::Segment>& segments) {
  std::set<std::string> seen;
  for (const quirvel::Segment& segment : segments) {
    Require(!segment.text.empty(), "a segment is never empty");
    Require(segment.offset <= title.size() && segment.text.size() <= title.size() - segment.offset,
            "a segment lies inside the title", segment.text);
    Require(title.compare(segment.offset, segment.text.size(), segment.text) == 0,
            "a segment's offset points at its text", segment.text);
    Require(seen.insert(segment.text).second, "no segment text repeats", segment.text);
  }
}

void CheckCandidates(const std::string& title, const std::vector<quirvel::Candidate>& candidates) {
  std::set<std::string> seen;
  for (const quirvel::Candidate& candidate : candidates) {
    const std::size_t chars = quirvel::CountUtf8Chars(candidate.text);
    Require(chars >= 1 && chars <= quirvel::kMaxCandidateChars, "a candidate has 1 to 24 characters",
            candidate.text);
    Require(candidate.start <= candidate.end && candidate.end <= title.size(),
            "start <= end <= title size", candidate.text);
    Require(seen.insert(candidate.text).second, "no candidate text repeats", candidate.text);
    Require(!candidate.kind.empty(), "a candidate has a kind", candidate.text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  quirvel::fuzz::UseBuildResources();
  quirvel::EnsureJieba();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string title(quirvel::fuzz::AsText(data, size));
  const std::vector<quirvel::Segment> segments = quirvel::SegmentTitle(title);
  CheckSegments(title, segments);
  CheckCandidates(title, quirvel::BuildCandidates(segments));
  const std::vector<quirvel::Candidate> tokens = quirvel::BuildTokenCandidates(segments);
  CheckCandidates(title, tokens);
  Require(tokens.size() <= segments.size(), "at most one token candidate per segment");
  return 0;
}
