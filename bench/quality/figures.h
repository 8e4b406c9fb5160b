// Shopper-labelled titles and the five quality figures of an answer set:
// core@1, core, core+useful, precision and noise.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "bench/quality/answers.h"

namespace quirvel::quality {

// One line of a labelled file: the title, the terms a shopper would type
// (core, most important first), the terms that narrow a search (useful) and
// the terms nobody searches for (noise). Every term is a substring of the title.
struct LabelledTitle {
  std::string title;
  std::vector<std::string> core;
  std::vector<std::string> useful;
  std::vector<std::string> noise;
};

// Parses one JSON line ({"title": ..., "core": [...], "useful": [...],
// "noise": [...]}; other members are ignored). Throws std::runtime_error
// naming the fault: not JSON, a missing or mistyped member, no core term, an
// empty term, or a term that is not in the title.
LabelledTitle ParseLabelledTitle(const std::string& line);

// Every non-empty line of a labelled file. Throws std::runtime_error naming
// the file and line of the first bad one, or when the file cannot be read.
std::vector<LabelledTitle> LoadLabelledTitles(const std::string& path);

// True when one occurrence of the term in the title has every non-blank
// character in the answer.
bool IsCovered(const TitleChars& title, const std::string& term, const Answer& answer);

// What one answer scores on its title.
struct TitleScore {
  bool first_core_covered = false;
  double core_share = 0;
  double core_useful_share = 0;
  size_t answer_chars = 0;
  // Answer characters inside some occurrence of a core or useful term.
  size_t labelled_answer_chars = 0;
  // The answer holds a character of some occurrence of a noise term.
  bool touches_noise = false;
};

TitleScore ScoreTitle(const LabelledTitle& labels, const TitleChars& title, const Answer& answer);

// The five figures over a set of titles, each from 0 to 1.
struct Figures {
  // Share of titles whose first core term is covered.
  double core_at_1 = 0;
  // Mean share of core terms covered.
  double core = 0;
  // Mean share of core and useful terms covered.
  double core_useful = 0;
  // Share of all answer characters that lie in a core or useful term.
  double precision = 0;
  // Share of titles whose answer touches a noise term.
  double noise = 0;
};

Figures SumUp(const std::vector<TitleScore>& scores);

// Scores one answer per title and sums up. Throws std::invalid_argument when
// the three lists differ in length.
Figures FiguresOf(const std::vector<LabelledTitle>& labels, const std::vector<TitleChars>& titles,
                  const std::vector<Answer>& answers);

}  // namespace quirvel::quality
