// Quality benchmark: the worker on one or more models beside peers that need
// no model (the title's first characters, jieba's TF-IDF and TextRank), scored
// on shopper-labelled titles at every budget; a table, JSON and an SVG chart.
#include <filesystem>
#include <functional>
#include <iostream>
#include <stdexcept>

#include "bench/driver/report.h"
#include "bench/quality/answers.h"
#include "bench/quality/figures.h"
#include "bench/quality/peer_words.h"
#include "bench/quality/quality_options.h"
#include "bench/quality/quality_report.h"
#include "bench/quality/worker_answers.h"

namespace {

using namespace quirvel::quality;

constexpr int kExitFailure = 1;

// The labelled titles, each cut into characters once.
struct LabelledSet {
  std::vector<LabelledTitle> labels;
  std::vector<TitleChars> titles;
};

QualityOptions DefaultOptions() {
  QualityOptions defaults;
  defaults.worker = QUIRVEL_QUALITY_DEFAULT_WORKER;
  defaults.gold = QUIRVEL_QUALITY_DEFAULT_GOLD;
  defaults.peer_script = QUIRVEL_QUALITY_PEER_SCRIPT;
  return defaults;
}

LabelledSet LoadSet(const std::string& path) {
  LabelledSet set;
  set.labels = LoadLabelledTitles(path);
  for (const LabelledTitle& labels : set.labels) {
    set.titles.emplace_back(labels.title);
  }
  return set;
}

// One row: the figures of one way of answering, at every budget.
SystemFigures Score(const std::string& name, const LabelledSet& set, const std::vector<int>& budgets,
                    const std::function<Answer(size_t budget_index, size_t title)>& answer_of) {
  SystemFigures row{name, {}};
  for (size_t b = 0; b < budgets.size(); ++b) {
    std::vector<Answer> answers;
    for (size_t i = 0; i < set.titles.size(); ++i) answers.push_back(answer_of(b, i));
    row.per_budget.push_back(FiguresOf(set.labels, set.titles, answers));
  }
  return row;
}

std::vector<std::string> WorkerCommand(const QualityOptions& options, const WorkerSystem& system) {
  std::vector<std::string> command = {options.worker, "--model", system.model, "--tokenizer",
                                      system.tokenizer};
  command.insert(command.end(), options.worker_args.begin(), options.worker_args.end());
  return command;
}

// Runs the worker on every model; the first run also gives the normalised titles.
std::vector<SystemFigures> ScoreWorkers(const QualityOptions& options, const LabelledSet& set,
                                        std::vector<std::string>& normalized) {
  std::vector<std::string> texts;
  for (const LabelledTitle& labels : set.labels) texts.push_back(labels.title);
  std::vector<SystemFigures> rows;
  for (const WorkerSystem& system : options.systems) {
    std::cerr << "the worker on " << system.name << " (" << system.model << ")\n";
    const WorkerAnswers answers =
        RunWorkerOnTitles(WorkerCommand(options, system), texts, options.budgets, normalized.empty());
    if (normalized.empty()) normalized = answers.normalized;
    rows.push_back(Score(system.name, set, options.budgets, [&](size_t b, size_t i) {
      return AnswerFromSpans(set.titles[i], answers.spans[b][i]);
    }));
  }
  return rows;
}

std::string PeerName(const std::string& key) {
  if (key == "tfidf") return "jieba TF-IDF";
  if (key == "textrank") return "jieba TextRank";
  return key;
}

PeerWords GetPeerWords(const QualityOptions& options, const std::vector<std::string>& normalized) {
  if (!options.peers_path.empty()) return LoadPeerWords(options.peers_path, normalized.size());
  if (!options.jieba_peers) return {};
  std::cerr << "jieba TF-IDF and TextRank (" << options.peer_script << ")\n";
  return RunJiebaPeers(options.python, options.peer_script, normalized);
}

std::vector<SystemFigures> ScorePeers(const QualityOptions& options, const LabelledSet& set,
                                      const std::vector<std::string>& normalized) {
  const std::vector<int>& budgets = options.budgets;
  std::vector<SystemFigures> rows;
  rows.push_back(Score("the title's first max_len characters", set, budgets, [&](size_t b, size_t i) {
    return LeadingCharsAnswer(set.titles[i], static_cast<size_t>(budgets[b]));
  }));
  std::vector<TitleChars> normalized_chars;
  normalized_chars.reserve(normalized.size());
  for (const std::string& title : normalized) normalized_chars.emplace_back(title);
  const PeerWords peers = GetPeerWords(options, normalized);
  for (size_t p = 0; p < peers.peers.size(); ++p) {
    rows.push_back(Score(PeerName(peers.peers[p]), set, budgets, [&](size_t b, size_t i) {
      return GreedyWordsAnswer(set.titles[i], normalized_chars[i], peers.words[p][i],
                               static_cast<size_t>(budgets[b]));
    }));
  }
  return rows;
}

int Run(const std::vector<std::string>& args) {
  const QualityOptions options = ParseQualityOptions(args, DefaultOptions());
  if (options.help) {
    std::cout << QualityUsage();
    return 0;
  }
  if (!options.gold_required && !std::filesystem::exists(options.gold)) {
    std::cout << "quality benchmark skipped: no labelled titles at " << options.gold << "\n";
    return 0;
  }
  const LabelledSet set = LoadSet(options.gold);
  std::vector<std::string> normalized;
  std::vector<SystemFigures> rows = ScoreWorkers(options, set, normalized);
  for (SystemFigures& row : ScorePeers(options, set, normalized)) rows.push_back(std::move(row));
  std::cout << set.titles.size() << " labelled titles of " << options.gold << "\n\n"
            << MarkdownTable(options.budgets, rows);
  if (!options.json_path.empty()) {
    quirvel::bench::WriteFile(options.json_path,
                              FiguresJson(options.gold, set.titles.size(), options.budgets, rows));
  }
  if (!options.svg_path.empty())
    quirvel::bench::WriteFile(options.svg_path, CoreAndNoiseSvg(options.budgets, rows));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::invalid_argument& error) {
    std::cerr << "quirvel-quality: " << error.what() << "\n" << QualityUsage();
  } catch (const std::exception& error) {
    std::cerr << "quirvel-quality: " << error.what() << "\n";
  }
  return kExitFailure;
}
