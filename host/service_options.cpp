#include "host/service_options.h"

#include <array>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace quirvel {
namespace {

// Reads an integer the way std::stoi does (leading blanks, sign, digits, any
// trailing text ignored), with the messages the worker reports.
std::int32_t ReadInt32(const std::string& value) {
  std::size_t used = 0;
  long long parsed = 0;
  try {
    parsed = std::stoll(value, &used, 10);
  } catch (const std::invalid_argument&) {
    throw std::invalid_argument("invalid stoi argument");
  } catch (const std::out_of_range&) {
    throw std::invalid_argument("stoi argument out of range");
  }
  if (parsed < INT32_MIN || parsed > INT32_MAX) throw std::invalid_argument("stoi argument out of range");
  return static_cast<std::int32_t>(parsed);
}

// A count: base-10 digits only, within 64 bits.
std::uint64_t ReadCount(const std::string& key, const std::string& value) {
  const std::string message = "invalid value for " + key + ": " + value;
  if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos)
    throw std::invalid_argument(message);
  try {
    return std::stoull(value, nullptr, 10);
  } catch (const std::out_of_range&) {
    throw std::invalid_argument(message);
  }
}

// A thread count below 0 would only fail later, inside ONNX Runtime.
std::int32_t ReadThreadCount(const std::string& value) {
  const std::int32_t threads = ReadInt32(value);
  if (threads < 0)
    throw std::invalid_argument("--threads must be 0 (ONNX Runtime's choice) or more: " + value);
  return threads;
}

struct SplitArgument {
  std::string key;
  std::optional<std::string> inline_value;
};

// "--key=value" splits at the first "=" when it stands at byte index 3 or later.
SplitArgument Split(const std::string& arg) {
  if (arg.rfind("--", 0) == 0) {
    const std::size_t eq = arg.find('=');
    if (eq != std::string::npos && eq >= 3) return {arg.substr(0, eq), arg.substr(eq + 1)};
  }
  return {arg, std::nullopt};
}

enum class Field {
  Model, Tokenizer, Profile, RankModeField, OutputModeField, TitleMax, CandidateMax, Threads, OpenccDir, OpenccConfig,
  JiebaDir, CandidateCacheCapacity
};

std::optional<Field> ValueOption(const std::string& key) {
  static const std::array<std::pair<const char*, Field>, 12> kOptions{{
      {"--model", Field::Model},
      {"--tokenizer", Field::Tokenizer},
      {"--profile", Field::Profile},
      {"--rank-mode", Field::RankModeField},
      {"--output-mode", Field::OutputModeField},
      {"--title-max-length", Field::TitleMax},
      {"--candidate-max-length", Field::CandidateMax},
      {"--threads", Field::Threads},
      {"--opencc-resource-dir", Field::OpenccDir},
      {"--opencc-config", Field::OpenccConfig},
      {"--jieba-dict-dir", Field::JiebaDir},
      {"--candidate-cache-capacity", Field::CandidateCacheCapacity},
  }};
  for (const auto& [name, field] : kOptions) {
    if (key == name) return field;
  }
  return std::nullopt;
}

void Apply(ServiceOptions& options, Field field, const std::string& value) {
  switch (field) {
    case Field::Model: options.model_path = value; break;
    case Field::Tokenizer: options.tokenizer_path = value; break;
    case Field::Profile: options.profile = ProfileIdFromName(value); break;
    case Field::RankModeField:
      options.rank_mode = value == "embedding" ? RankMode::Embedding : RankMode::Default;
      break;
    case Field::OutputModeField: options.output_mode = OutputModeFromName(value); break;
    case Field::TitleMax: options.title_max_length = ReadInt32(value); break;
    case Field::CandidateMax: options.candidate_max_length = ReadInt32(value); break;
    case Field::Threads: options.intra_op_threads = ReadThreadCount(value); break;
    case Field::OpenccDir: options.opencc_resource_dir = value; break;
    case Field::OpenccConfig: options.opencc_config_path = value; break;
    case Field::JiebaDir: options.jieba_dict_dir = value; break;
    case Field::CandidateCacheCapacity:
      options.candidate_cache_capacity = ReadCount("--candidate-cache-capacity", value);
      break;
  }
}

// The host's switches. A value would read as a way to turn one off ("=0"),
// which it is not, so one is refused.
bool* HostSwitch(ServiceOptions& options, const std::string& key) {
  if (key == "--keep-request-characters") return &options.keep_request_characters;
  if (key == "--reuse-converters") return &options.reuse_converters;
  return nullptr;
}

}  // namespace

ServiceOptions ParseServiceOptions(const std::vector<std::string>& args) {
  ServiceOptions options;
  int positional = 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    SplitArgument split = Split(arg);
    if (split.key == "--candidate-cache") {
      options.candidate_cache = true;  // an inline value, whatever it says, is ignored
      continue;
    }
    if (bool* host_switch = HostSwitch(options, split.key)) {
      if (split.inline_value) throw std::invalid_argument("unsupported argument: " + arg);
      *host_switch = true;
      continue;
    }
    if (const auto field = ValueOption(split.key)) {
      if (!split.inline_value) {
        if (i + 1 >= args.size()) throw std::invalid_argument("missing value for argument: " + split.key);
        split.inline_value = args[++i];
      }
      Apply(options, *field, *split.inline_value);
      continue;
    }
    if (!arg.empty() && arg[0] == '-') throw std::invalid_argument("unsupported argument: " + arg);
    if (positional == 0) {
      options.model_path = arg;
    } else if (positional == 1) {
      options.tokenizer_path = arg;
    } else {
      throw std::invalid_argument("too many positional arguments");
    }
    ++positional;
  }
  if (options.model_path.empty() || options.tokenizer_path.empty()) {
    throw std::invalid_argument("model path and tokenizer path are required");
  }
  return options;
}

std::uint32_t OutputModeFromName(std::string_view name) {
  if (const std::optional<OutputMode> mode = OutputModeNamed(name)) return static_cast<std::uint32_t>(*mode);
  throw std::invalid_argument("unknown output mode: " + std::string(name) + " (expected one of " +
                              OutputModeNameList() + ")");
}

}  // namespace quirvel
