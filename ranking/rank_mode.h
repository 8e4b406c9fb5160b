// How the ranking scores candidates, chosen on the command line.
#pragma once

#include <cstdint>

namespace quirvel {

// Embedding: single segments, scored by their similarity to the title alone.
// Default: segments and phrases, scored against the title and the four prompts.
enum class RankMode : std::uint32_t { Embedding = 0, Default = 1 };

}  // namespace quirvel
