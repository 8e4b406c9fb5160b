#include "bench/quality/quality_report.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <sstream>

#include "bench/driver/svg_chart.h"

namespace quirvel::quality {
namespace {

using Json = nlohmann::ordered_json;

struct FigureColumn {
  const char* name;
  double Figures::*value;
};

const FigureColumn kColumns[] = {{"core@1", &Figures::core_at_1},
                                 {"core", &Figures::core},
                                 {"core+useful", &Figures::core_useful},
                                 {"precision", &Figures::precision},
                                 {"noise", &Figures::noise}};

// Dark for the first budget, light for the next: core@1 in blues, noise in reds.
const char* const kCoreColors[] = {"#1f5fa8", "#7fb2e5", "#a9cdf0"};
const char* const kNoiseColors[] = {"#b2282b", "#ef8a8c", "#f6b9ba"};

std::string Fixed3(double value) {
  char text[16];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string BudgetsText(const std::vector<int>& budgets) {
  std::string text;
  for (size_t i = 0; i < budgets.size(); ++i) text += (i > 0 ? " / " : "") + std::to_string(budgets[i]);
  return text;
}

std::string Cell(const SystemFigures& system, double Figures::*value) {
  std::string cell;
  for (size_t i = 0; i < system.per_budget.size(); ++i) {
    cell += (i > 0 ? " / " : "") + Fixed3(system.per_budget[i].*value);
  }
  return cell;
}

bench::BarSeries FigureSeries(const std::vector<SystemFigures>& systems, const FigureColumn& column,
                              size_t budget, int max_len, const char* const* colors) {
  bench::BarSeries series{
      std::string(column.name) + " at " + std::to_string(max_len), {}, colors[budget % 3]};
  for (const SystemFigures& system : systems)
    series.values.push_back(system.per_budget[budget].*column.value);
  return series;
}

}  // namespace

std::string MarkdownTable(const std::vector<int>& budgets, const std::vector<SystemFigures>& systems) {
  std::ostringstream out;
  const std::string budget_text = BudgetsText(budgets);
  out << "| system |";
  for (const FigureColumn& column : kColumns) out << ' ' << column.name << ' ' << budget_text << " |";
  out << "\n|---|";
  for (size_t i = 0; i < std::size(kColumns); ++i) out << "---|";
  out << '\n';
  for (const SystemFigures& system : systems) {
    out << "| " << system.name << " |";
    for (const FigureColumn& column : kColumns) out << ' ' << Cell(system, column.value) << " |";
    out << '\n';
  }
  return out.str();
}

std::string FiguresJson(const std::string& gold, size_t title_count, const std::vector<int>& budgets,
                        const std::vector<SystemFigures>& systems) {
  Json document = {{"gold", gold}, {"titles", title_count}, {"budgets", budgets}, {"systems", Json::array()}};
  for (const SystemFigures& system : systems) {
    Json by_budget = Json::object();
    for (size_t i = 0; i < budgets.size() && i < system.per_budget.size(); ++i) {
      Json figures = Json::object();
      for (const FigureColumn& column : kColumns) figures[column.name] = system.per_budget[i].*column.value;
      by_budget[std::to_string(budgets[i])] = figures;
    }
    document["systems"].push_back({{"name", system.name}, {"figures", by_budget}});
  }
  return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string CoreAndNoiseSvg(const std::vector<int>& budgets, const std::vector<SystemFigures>& systems) {
  std::vector<std::string> names;
  names.reserve(systems.size());
  for (const SystemFigures& system : systems) names.push_back(system.name);
  std::vector<bench::BarSeries> series;
  for (size_t i = 0; i < budgets.size(); ++i)
    series.push_back(FigureSeries(systems, kColumns[0], i, budgets[i], kCoreColors));
  for (size_t i = 0; i < budgets.size(); ++i)
    series.push_back(FigureSeries(systems, kColumns[4], i, budgets[i], kNoiseColors));
  return bench::GroupedBarChartSvg("core@1 (higher is better) and noise (lower is better) per system",
                                   "share of titles", names, series, 1.0);
}

}  // namespace quirvel::quality
