#include "bench/quality/quality_options.h"

#include <sstream>
#include <stdexcept>

#include "tools/options/tool_options.h"

namespace quirvel::quality {
namespace {

constexpr int kLargestBudget = 1000;

cli::OptionParser QualityParser(QualityOptions& o) {
  cli::OptionParser parser;
  parser.Switch("--help", [&] { o.help = true; })
      .Switch("-h", [&] { o.help = true; })
      .Switch("--no-jieba", [&] { o.jieba_peers = false; })
      .Value("--worker", [&](auto&, auto& v) { o.worker = v; })
      .Value("--gold",
             [&](auto&, auto& v) {
               o.gold = v;
               o.gold_required = true;
             })
      .Value("--system", [&](auto&, auto& v) { o.systems.push_back(ParseWorkerSystem(v)); })
      .Value("--budgets", [&](auto&, auto& v) { o.budgets = ParseBudgets(v); })
      .Value("--worker-arg", [&](auto&, auto& v) { o.worker_args.push_back(v); })
      .Value("--peers", [&](auto&, auto& v) { o.peers_path = v; })
      .Value("--python", [&](auto&, auto& v) { o.python = v; })
      .Value("--peer-script", [&](auto&, auto& v) { o.peer_script = v; })
      .Value("--svg", [&](auto&, auto& v) { o.svg_path = v; })
      .Value("--json", [&](auto&, auto& v) { o.json_path = v; });
  return parser;
}

}  // namespace

WorkerSystem ParseWorkerSystem(const std::string& text) {
  const size_t equals = text.find('=');
  const size_t comma = text.rfind(',');
  if (equals == std::string::npos || equals == 0 || comma == std::string::npos || comma < equals + 2 ||
      comma + 1 == text.size()) {
    throw std::invalid_argument("--system: expected NAME=MODEL,TOKENIZER, got: " + text);
  }
  return {text.substr(0, equals), text.substr(equals + 1, comma - equals - 1), text.substr(comma + 1)};
}

std::vector<int> ParseBudgets(const std::string& text) {
  std::vector<int> budgets;
  std::istringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    budgets.push_back(cli::ParseInteger<int>("--budgets", item, 1, kLargestBudget));
  }
  if (budgets.empty() || text.back() == ',') {
    throw std::invalid_argument("--budgets: expected numbers separated by commas, got: " + text);
  }
  return budgets;
}

QualityOptions ParseQualityOptions(const std::vector<std::string>& args, QualityOptions options) {
  QualityParser(options).Parse(args);
  if (options.help) return options;
  if (options.worker.empty()) throw std::invalid_argument("--worker is required");
  if (options.systems.empty()) {
    throw std::invalid_argument(
        "--system is required (the worker also gives the peers their normalised titles)");
  }
  return options;
}

std::string QualityUsage() {
  return "usage: quirvel-quality --system NAME=MODEL,TOKENIZER [--system ...] [options]\n"
         "  --system NAME=MODEL,TOKENIZER  a model to run the worker on, repeatable; each is one row\n"
         "  --gold FILE          labelled titles, one JSON object a line (default: the shared dev set;\n"
         "                       the run is skipped when the default is absent)\n"
         "  --worker FILE        worker executable (default: the one built with this program)\n"
         "  --worker-arg ARG     extra worker argument, repeatable (e.g. --worker-arg=--profile=bge)\n"
         "  --budgets N,N        max_len budgets (default 24,12)\n"
         "  --peers FILE         word peers' answers, one JSON object a line per title, each member a\n"
         "                       peer's words best first (default: run the jieba script)\n"
         "  --no-jieba           run no jieba peers\n"
         "  --python FILE        Python 3 for the jieba script (default /usr/bin/python3)\n"
         "  --peer-script FILE   the jieba script (default: bench/quality/jieba_peers.py)\n"
         "  --svg FILE           write core@1 and noise per system as an SVG bar chart\n"
         "  --json FILE          write every figure as JSON\n";
}

}  // namespace quirvel::quality
