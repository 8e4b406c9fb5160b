// The worker's answers for the labelled titles: one worker per model, every
// title at every budget, keywords as data ("detail": true).
#pragma once

#include <string>
#include <vector>

#include "bench/quality/answers.h"

namespace quirvel::quality {

struct WorkerAnswers {
  // Per title: the worker's normalised (tw2sp) title, from its convert
  // request; empty unless asked for.
  std::vector<std::string> normalized;
  // Per budget, per title: the spans of the reply's keyword_list.
  std::vector<std::vector<std::vector<KeywordSpan>>> spans;
};

// Starts the worker (command: executable, then its arguments), sends every
// title at every budget and shuts it down. Throws std::runtime_error when
// the worker fails, or answers a title with an error or without a keyword list.
WorkerAnswers RunWorkerOnTitles(const std::vector<std::string>& command,
                                const std::vector<std::string>& titles, const std::vector<int>& budgets,
                                bool normalize);

// The spans of an extract reply's keyword_list (null start or end: absent).
// Throws std::runtime_error when the reply has no such list.
std::vector<KeywordSpan> KeywordSpans(const std::string& reply_line);

}  // namespace quirvel::quality
