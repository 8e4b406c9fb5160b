// Placeholder until candidate generation lands.
#include "keywords/candidates.h"

namespace quirvel {
void AddCandidate(std::vector<Candidate>&, const std::string&, std::uint64_t, std::uint64_t, const std::string&) {}
std::vector<Candidate> BuildCandidates(const std::vector<Segment>&) { return {}; }
std::vector<Candidate> BuildTokenCandidates(const std::vector<Segment>&) { return {}; }
}  // namespace quirvel
