// Placeholder until segmentation lands.
#include "keywords/segmentation.h"

namespace quirvel {
void AddSegment(std::vector<Segment>& list, const std::string& text, std::uint64_t offset) {
  if (!text.empty()) list.push_back({text, offset});
}
void EnsureJieba() {}
std::vector<Segment> SegmentTitle(const std::string&) { return {}; }
}  // namespace quirvel
