// Placeholder until the ranking lands.
#include "ranking/ranking.h"

namespace quirvel {
std::vector<RankedCandidate> RankCandidates(JiebaKeywordModel&, const std::string&, const std::vector<Segment>&) {
  return {};
}
}  // namespace quirvel
