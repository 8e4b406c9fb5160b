// One scored candidate, as the ranking returns it (best first).
#pragma once

#include <cstdint>
#include <string>

namespace quirvel {

struct RankedCandidate {
  std::string text;
  float score = 0.0f;
  float title_similarity = 0.0f;
  float core_similarity = 0.0f;
  float category_similarity = 0.0f;
  float attribute_similarity = 0.0f;
  float marketing_similarity = 0.0f;
  std::uint64_t start = 0;  // byte span [start, end) in the normalised title
  std::uint64_t end = 0;
  std::string kind;
};

// Two non-empty half-open byte spans that share at least one byte.
inline bool SpansOverlap(const RankedCandidate& a, const RankedCandidate& b) {
  return a.end > a.start && b.end > b.start && a.start < b.end && b.start < a.end;
}

}  // namespace quirvel
