#include "bench/driver/driver_options.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <stdexcept>

namespace quirvel::bench {
namespace {

size_t ParseCount(const std::string& key, const std::string& value) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(value.c_str(), &end, 10);
  if (value.empty() || value[0] == '-' || *end != '\0' || errno != 0) {
    throw std::invalid_argument(key + " needs a non-negative integer, got: " + value);
  }
  return static_cast<size_t>(parsed);
}

double ParseNonNegative(const std::string& key, const std::string& value, const char* what) {
  char* end = nullptr;
  const double parsed = std::strtod(value.c_str(), &end);
  if (value.empty() || *end != '\0' || !(parsed >= 0)) {
    throw std::invalid_argument(key + " needs " + what + ", got: " + value);
  }
  return parsed;
}

double ParsePercent(const std::string& key, const std::string& value) {
  return ParseNonNegative(key, value, "a non-negative percentage") / 100.0;
}

std::vector<bool> ParseCacheModes(const std::string& value) {
  if (value == "off") return {false};
  if (value == "on") return {true};
  if (value == "both") return {false, true};
  throw std::invalid_argument("--cache needs off, on or both, got: " + value);
}

using Setter = std::function<void(DriverOptions&, const std::string&, const std::string&)>;

const std::map<std::string, Setter>& ValueOptions() {
  static const std::map<std::string, Setter> options = {
      {"--worker", [](DriverOptions& o, auto&, auto& v) { o.worker = v; }},
      {"--launcher", [](DriverOptions& o, auto&, auto& v) { o.launcher = v; }},
      {"--model", [](DriverOptions& o, auto&, auto& v) { o.model = v; }},
      {"--tokenizer", [](DriverOptions& o, auto&, auto& v) { o.tokenizer = v; }},
      {"--worker-arg", [](DriverOptions& o, auto&, auto& v) { o.worker_args.push_back(v); }},
      {"--titles",
       [](DriverOptions& o, auto&, auto& v) {
         o.titles = v;
         o.titles_required = true;
       }},
      {"--requests", [](DriverOptions& o, auto& k, auto& v) { o.requests = ParseCount(k, v); }},
      {"--max-len",
       [](DriverOptions& o, auto& k, auto& v) { o.max_len = static_cast<int>(ParseCount(k, v)); }},
      {"--cache", [](DriverOptions& o, auto&, auto& v) { o.cache_modes = ParseCacheModes(v); }},
      {"--metrics-every", [](DriverOptions& o, auto& k, auto& v) { o.metrics_every = ParseCount(k, v); }},
      {"--warm-up", [](DriverOptions& o, auto& k, auto& v) { o.warm_up = ParseCount(k, v); }},
      {"--max-rss-growth",
       [](DriverOptions& o, auto& k, auto& v) { o.max_late_growth = ParsePercent(k, v); }},
      {"--max-rss-per-1000",
       [](DriverOptions& o, auto& k, auto& v) {
         o.max_mib_per_thousand = ParseNonNegative(k, v, "a non-negative number of MiB");
       }},
      {"--json", [](DriverOptions& o, auto&, auto& v) { o.json_path = v; }},
      {"--svg", [](DriverOptions& o, auto&, auto& v) { o.svg_path = v; }},
      {"--rss-csv", [](DriverOptions& o, auto&, auto& v) { o.rss_csv_path = v; }},
      {"--rss-svg", [](DriverOptions& o, auto&, auto& v) { o.rss_svg_path = v; }},
  };
  return options;
}

}  // namespace

DriverOptions ParseDriverOptions(const std::vector<std::string>& args, DriverOptions options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
      continue;
    }
    if (arg == "--distinct") {
      options.distinct_titles = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const std::string key = arg.substr(0, equals);
    const auto option = ValueOptions().find(key);
    if (option == ValueOptions().end()) throw std::invalid_argument("unknown argument: " + arg);
    if (equals != std::string::npos) {
      option->second(options, key, arg.substr(equals + 1));
    } else if (i + 1 < args.size()) {
      option->second(options, key, args[++i]);
    } else {
      throw std::invalid_argument("missing value for " + key);
    }
  }
  if (options.help) return options;
  if (options.worker.empty()) throw std::invalid_argument("--worker is required");
  if (options.model.empty() || options.tokenizer.empty()) {
    throw std::invalid_argument("--model and --tokenizer are required");
  }
  if (options.requests == 0) throw std::invalid_argument("--requests must be at least 1");
  return options;
}

std::string DriverUsage() {
  return "usage: quirvel-bench-driver --model FILE --tokenizer FILE [options]\n"
         "  --worker FILE          worker executable (default: the one built with the driver)\n"
         "  --launcher FILE        program that runs the worker (e.g. /usr/bin/wine for quirvel-worker.exe)\n"
         "  --worker-arg ARG       extra worker argument, repeatable (e.g. --worker-arg=--profile=bge)\n"
         "  --titles PATH          titles file, or folder of *.txt files (default: shared titles when\n"
         "                         present, else a short built-in list)\n"
         "  --requests N           extract requests per run (default 1000)\n"
         "  --max-len N            max_len of each request (default 24)\n"
         "  --cache off|on|both    candidate cache settings to run (default both)\n"
         "  --metrics-every N      sample the worker's VmRSS every N requests\n"
         "  --warm-up N            requests before memory growth is judged (default requests/10)\n"
         "  --max-rss-growth PCT   fail when memory with the cache off grows more than PCT %\n"
         "                         over the second half after warm-up\n"
         "  --distinct             send every distinct title once instead of --requests requests\n"
         "  --max-rss-per-1000 MIB fail when memory grows more than MIB per 1,000 requests after\n"
         "                         warm-up (in either cache setting)\n"
         "  --json FILE            write the results as JSON\n"
         "  --svg FILE             write the latency histogram as SVG\n"
         "  --rss-csv FILE         write the memory samples as CSV\n"
         "  --rss-svg FILE         write the memory curve as SVG\n";
}

}  // namespace quirvel::bench
