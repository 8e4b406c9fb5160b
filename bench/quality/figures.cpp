#include "bench/quality/figures.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>

namespace quirvel::quality {
namespace {

using Json = nlohmann::json;

std::vector<std::string> ReadTerms(const Json& line, const char* member, const std::string& title) {
  const auto found = line.find(member);
  if (found == line.end()) throw std::runtime_error(std::string("missing member \"") + member + "\"");
  if (!found->is_array()) throw std::runtime_error(std::string("\"") + member + "\" is not an array");
  std::vector<std::string> terms;
  for (const Json& term : *found) {
    if (!term.is_string() || term.get_ref<const std::string&>().empty()) {
      throw std::runtime_error(std::string("\"") + member +
                               "\" holds something other than a non-empty string");
    }
    const std::string& text = term.get_ref<const std::string&>();
    if (title.find(text) == std::string::npos) {
      throw std::runtime_error(std::string("\"") + member + "\" term \"" + text + "\" is not in the title");
    }
    terms.push_back(text);
  }
  return terms;
}

// Marks every character of every occurrence of the terms.
std::vector<bool> TermChars(const TitleChars& title,
                            const std::vector<const std::vector<std::string>*>& lists) {
  std::vector<bool> inside(title.size(), false);
  for (const std::vector<std::string>* terms : lists) {
    for (const std::string& term : *terms) {
      const size_t length = TitleChars(term).size();
      for (size_t start : OccurrenceStarts(title, term)) {
        for (size_t i = start; i < start + length; ++i) inside[i] = true;
      }
    }
  }
  return inside;
}

double CoveredShare(const TitleChars& title, const std::vector<const std::vector<std::string>*>& lists,
                    const Answer& answer) {
  size_t terms = 0;
  size_t covered = 0;
  for (const std::vector<std::string>* list : lists) {
    for (const std::string& term : *list) {
      ++terms;
      covered += IsCovered(title, term, answer) ? 1 : 0;
    }
  }
  return terms == 0 ? 0 : static_cast<double>(covered) / static_cast<double>(terms);
}

double Share(double part, double whole) { return whole == 0 ? 0 : part / whole; }

}  // namespace

LabelledTitle ParseLabelledTitle(const std::string& line) {
  const Json parsed = Json::parse(line, nullptr, false);
  if (!parsed.is_object()) throw std::runtime_error("not a JSON object");
  const auto title = parsed.find("title");
  if (title == parsed.end() || !title->is_string())
    throw std::runtime_error("missing string member \"title\"");
  LabelledTitle labels;
  labels.title = title->get<std::string>();
  labels.core = ReadTerms(parsed, "core", labels.title);
  labels.useful = ReadTerms(parsed, "useful", labels.title);
  labels.noise = ReadTerms(parsed, "noise", labels.title);
  if (labels.core.empty()) throw std::runtime_error("\"core\" is empty");
  return labels;
}

std::vector<LabelledTitle> LoadLabelledTitles(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read labelled titles " + path);
  std::vector<LabelledTitle> titles;
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    try {
      titles.push_back(ParseLabelledTitle(line));
    } catch (const std::runtime_error& error) {
      throw std::runtime_error(path + ":" + std::to_string(number) + ": " + error.what());
    }
  }
  if (titles.empty()) throw std::runtime_error("no labelled titles in " + path);
  return titles;
}

bool IsCovered(const TitleChars& title, const std::string& term, const Answer& answer) {
  const TitleChars term_chars(term);
  for (size_t start : OccurrenceStarts(title, term)) {
    bool all_in = true;
    for (size_t i = 0; i < term_chars.size() && all_in; ++i) {
      all_in = term_chars.blank[i] || answer[start + i];
    }
    if (all_in) return true;
  }
  return false;
}

TitleScore ScoreTitle(const LabelledTitle& labels, const TitleChars& title, const Answer& answer) {
  if (answer.size() != title.size()) throw std::invalid_argument("answer and title differ in length");
  TitleScore score;
  score.first_core_covered = !labels.core.empty() && IsCovered(title, labels.core.front(), answer);
  score.core_share = CoveredShare(title, {&labels.core}, answer);
  score.core_useful_share = CoveredShare(title, {&labels.core, &labels.useful}, answer);
  const std::vector<bool> labelled = TermChars(title, {&labels.core, &labels.useful});
  const std::vector<bool> noise = TermChars(title, {&labels.noise});
  for (size_t i = 0; i < title.size(); ++i) {
    if (!answer[i] || title.blank[i]) continue;
    ++score.answer_chars;
    score.labelled_answer_chars += labelled[i] ? 1 : 0;
    score.touches_noise = score.touches_noise || noise[i];
  }
  return score;
}

Figures SumUp(const std::vector<TitleScore>& scores) {
  Figures figures;
  double answer_chars = 0;
  double labelled_chars = 0;
  for (const TitleScore& score : scores) {
    figures.core_at_1 += score.first_core_covered ? 1 : 0;
    figures.core += score.core_share;
    figures.core_useful += score.core_useful_share;
    figures.noise += score.touches_noise ? 1 : 0;
    answer_chars += static_cast<double>(score.answer_chars);
    labelled_chars += static_cast<double>(score.labelled_answer_chars);
  }
  const auto titles = static_cast<double>(scores.size());
  figures.core_at_1 = Share(figures.core_at_1, titles);
  figures.core = Share(figures.core, titles);
  figures.core_useful = Share(figures.core_useful, titles);
  figures.noise = Share(figures.noise, titles);
  figures.precision = Share(labelled_chars, answer_chars);
  return figures;
}

Figures FiguresOf(const std::vector<LabelledTitle>& labels, const std::vector<TitleChars>& titles,
                  const std::vector<Answer>& answers) {
  if (labels.size() != titles.size() || answers.size() != titles.size()) {
    throw std::invalid_argument("one answer and one labelled title are needed per title");
  }
  std::vector<TitleScore> scores;
  for (size_t i = 0; i < titles.size(); ++i) scores.push_back(ScoreTitle(labels[i], titles[i], answers[i]));
  return SumUp(scores);
}

}  // namespace quirvel::quality
