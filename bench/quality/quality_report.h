// The quality benchmark's outputs: a markdown table of the five figures per
// system at every budget, the same as JSON, and a bar chart of core@1 and
// noise.
#pragma once

#include <string>
#include <vector>

#include "bench/quality/figures.h"

namespace quirvel::quality {

// One row of the table: a system and its figures, one per budget.
struct SystemFigures {
  std::string name;
  std::vector<Figures> per_budget;
};

// | system | core@1 24 / 12 | ... |, figures with three decimals.
std::string MarkdownTable(const std::vector<int>& budgets, const std::vector<SystemFigures>& systems);

std::string FiguresJson(const std::string& gold, size_t title_count, const std::vector<int>& budgets,
                        const std::vector<SystemFigures>& systems);

// core@1 and noise per system, one bar per figure and budget.
std::string CoreAndNoiseSvg(const std::vector<int>& budgets, const std::vector<SystemFigures>& systems);

}  // namespace quirvel::quality
