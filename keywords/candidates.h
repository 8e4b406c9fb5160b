// Keyword candidates built from a title's segments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "keywords/segmentation.h"

namespace quirvel {

struct Candidate {
  std::string text;          // 1 to 24 characters
  std::uint64_t start = 0;   // byte offset of the first covered byte
  std::uint64_t end = 0;     // one past the last covered byte
  std::string kind;          // "token", "ascii_model", "phrase2".."phrase4"
};

inline constexpr std::size_t kMaxCandidateChars = 24;

void AddCandidate(std::vector<Candidate>& list, const std::string& text, std::uint64_t start,
                  std::uint64_t end, const std::string& kind);
// Tokens, model numbers and phrases of 2 to 4 segments (rank mode Default).
std::vector<Candidate> BuildCandidates(const std::vector<Segment>& segments);
// One "token" candidate per segment (rank mode Embedding).
std::vector<Candidate> BuildTokenCandidates(const std::vector<Segment>& segments);

}  // namespace quirvel
