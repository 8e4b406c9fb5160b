// Scores and orders a title's candidates against the title and the scoring prompts.
#pragma once

#include <string>
#include <vector>

#include "keywords/segmentation.h"
#include "ranking/ranked_candidate.h"

namespace quirvel {

struct JiebaKeywordModel;

// Never throws for engine failures: they give an empty list and, where the
// failure is the engine's, an error text in the model.
std::vector<RankedCandidate> RankCandidates(JiebaKeywordModel& model,
                                            const std::string& normalized_title,
                                            const std::vector<Segment>& segments);

}  // namespace quirvel
