// The quality benchmark's command line.
#pragma once

#include <string>
#include <vector>

namespace quirvel::quality {

// One model the worker runs on: its name in the table, its model and tokenizer.
struct WorkerSystem {
  std::string name;
  std::string model;
  std::string tokenizer;
};

struct QualityOptions {
  std::string worker;
  // The labelled titles (one JSON object a line).
  std::string gold;
  // Whether --gold named the file: then a missing file is an error, not a skip.
  bool gold_required = false;
  std::vector<WorkerSystem> systems;
  std::vector<int> budgets = {24, 12};
  std::vector<std::string> worker_args;
  // Answers of word peers read from a file (one JSON object a line, each member
  // a peer's words best first) instead of running the jieba script.
  std::string peers_path;
  std::string python = "/usr/bin/python3";
  std::string peer_script;
  bool jieba_peers = true;
  std::string svg_path;
  std::string json_path;
  bool help = false;
};

// "NAME=MODEL,TOKENIZER". The tokenizer is what follows the last comma, so a
// model path may hold commas. Throws std::invalid_argument naming --system.
WorkerSystem ParseWorkerSystem(const std::string& text);

// "24,12": at least one budget, each from 1 to 1000. Throws std::invalid_argument.
std::vector<int> ParseBudgets(const std::string& text);

// Parses the arguments after the program name, starting from the defaults.
// Throws std::invalid_argument with a message for the user.
QualityOptions ParseQualityOptions(const std::vector<std::string>& args, QualityOptions defaults);
std::string QualityUsage();

}  // namespace quirvel::quality
