// Scores and orders a title's candidates against the title and the scoring prompts.
#pragma once

#include <string>
#include <vector>

#include "keywords/candidates.h"
#include "keywords/segmentation.h"
#include "ranking/embedding_client.h"
#include "ranking/ranked_candidate.h"

namespace quirvel {

struct JiebaKeywordModel;

// Never throws for engine failures: they give an empty list and, where the
// failure is the engine's, an error text in the model.
std::vector<RankedCandidate> RankCandidates(JiebaKeywordModel& model, const std::string& normalized_title,
                                            const std::vector<Segment>& segments);

// The ranking of an already built candidate list (RankCandidates builds the
// list from the segments by rank mode, then calls this).
std::vector<RankedCandidate> RankCandidateList(JiebaKeywordModel& model, const std::string& normalized_title,
                                               const std::vector<Candidate>& candidates);

// Dot product over the common prefix, summed in single precision from 0.
float Similarity(const Embedding& a, const Embedding& b);

// True when a belongs before b: the higher score first, but scores within
// 0.0001 of each other go by the smaller start.
bool RanksBefore(const RankedCandidate& a, const RankedCandidate& b);

// Stable sort by RanksBefore. The tolerance makes RanksBefore intransitive for
// chains of near-ties, so this merge sort relies only on single pairwise
// answers and stays within bounds whatever they are.
void SortRanked(std::vector<RankedCandidate>& records);

}  // namespace quirvel
