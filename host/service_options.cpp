#include "host/service_options.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace quirvel {
namespace {

// Reads an integer the way std::stoi does (leading blanks, sign, digits, any
// trailing text ignored); a value that does not read names its option.
std::int32_t ReadInt32(const std::string& key, const std::string& value) {
  std::size_t used = 0;
  long long parsed = 0;
  try {
    parsed = std::stoll(value, &used, 10);
  } catch (const std::invalid_argument&) {
    throw std::invalid_argument("invalid value for " + key + ": " + value + " (expected an integer)");
  } catch (const std::out_of_range&) {
    parsed = INT64_MAX;
  }
  if (parsed < INT32_MIN || parsed > INT32_MAX)
    throw std::invalid_argument("value out of range for " + key + ": " + value);
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
  const std::int32_t threads = ReadInt32("--threads", value);
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
  Model, Tokenizer, Profile, RankModeField, OutputModeField, TitleMax, CandidateMax, Threads, CandidateCache,
  CandidateCacheCapacity, OpenccDir, OpenccConfig, JiebaDir, KeepRequestCharacters, BackConvertEverything,
  ReuseConverters, Help, Version
};

// One option: its name, the value it takes (none for a switch) and what
// --help says of it. Parsing and the usage text read the same table.
struct OptionSpec {
  const char* name;
  Field field;
  const char* value;  // nullptr: a switch
  const char* help;
};

constexpr std::array<OptionSpec, 18> kOptions{{
    {"--model", Field::Model, "PATH", "the embedding model (ONNX); or the first positional path"},
    {"--tokenizer", Field::Tokenizer, "PATH", "its tokenizer.json or vocab.txt; or the second positional path"},
    {"--profile", Field::Profile, "NAME",
     "model profile: auto (default; guessed from the paths), bge, gte-large, gte-multilingual, bge-m3, dmeta, "
     "qwen3"},
    {"--rank-mode", Field::RankModeField, "NAME",
     "embedding (title similarity only), or default (default; any other name too)"},
    {"--output-mode", Field::OutputModeField, "NAME", "the model output to pool: auto (default; the profile's)"},
    {"--title-max-length", Field::TitleMax, "N", "token limit for the title and the prompts (default 128)"},
    {"--candidate-max-length", Field::CandidateMax, "N", "token limit for each candidate (default 64)"},
    {"--threads", Field::Threads, "N", "ONNX Runtime threads for one model run; 0: its own choice (default 0)"},
    {"--candidate-cache", Field::CandidateCache, nullptr, "keep candidate embeddings between requests (off)"},
    {"--candidate-cache-capacity", Field::CandidateCacheCapacity, "N",
     "most cached candidates, least recently used out first; 0: no limit (default 0)"},
    {"--opencc-resource-dir", Field::OpenccDir, "DIR",
     "folder of tw2sp.json, s2twp.json and their dictionaries (default: opencc/ beside the worker)"},
    {"--opencc-config", Field::OpenccConfig, "PATH", "the tw2sp.json that normalises titles (default: found)"},
    {"--jieba-dict-dir", Field::JiebaDir, "DIR", "the Jieba dictionary folder (default: jieba_dict/ beside it)"},
    {"--keep-request-characters", Field::KeepRequestCharacters, nullptr,
     "keywords keep every character the seller wrote, Simplified ones too (off)"},
    {"--back-convert-everything", Field::BackConvertEverything, nullptr,
     "title and keywords converted with s2twp whatever script the seller wrote, as before 0.2.0 (off)"},
    {"--reuse-converters", Field::ReuseConverters, nullptr,
     "keep each OpenCC converter open from its first use: same replies, faster (off)"},
    {"--help", Field::Help, nullptr, "print this text and exit"},
    {"--version", Field::Version, nullptr, "print the version and exit"},
}};

const OptionSpec* FindOption(const std::string& key) {
  for (const OptionSpec& option : kOptions) {
    if (key == option.name) return &option;
  }
  return nullptr;
}

void ApplyValue(ServiceOptions& options, Field field, const std::string& key, const std::string& value) {
  switch (field) {
    case Field::Model: options.model_path = value; break;
    case Field::Tokenizer: options.tokenizer_path = value; break;
    case Field::Profile: options.profile = ProfileIdFromName(value); break;
    case Field::RankModeField:
      options.rank_mode = value == "embedding" ? RankMode::Embedding : RankMode::Default;
      break;
    case Field::OutputModeField: options.output_mode = OutputModeFromName(value); break;
    case Field::TitleMax: options.title_max_length = ReadInt32(key, value); break;
    case Field::CandidateMax: options.candidate_max_length = ReadInt32(key, value); break;
    case Field::Threads: options.intra_op_threads = ReadThreadCount(value); break;
    case Field::CandidateCacheCapacity: options.candidate_cache_capacity = ReadCount(key, value); break;
    case Field::OpenccDir: options.opencc_resource_dir = value; break;
    case Field::OpenccConfig: options.opencc_config_path = value; break;
    case Field::JiebaDir: options.jieba_dict_dir = value; break;
    default: break;
  }
}

bool& SwitchOf(ServiceOptions& options, Field field) {
  switch (field) {
    case Field::CandidateCache: return options.candidate_cache;
    case Field::KeepRequestCharacters: return options.keep_request_characters;
    case Field::BackConvertEverything: return options.back_convert_everything;
    case Field::ReuseConverters: return options.reuse_converters;
    case Field::Help: return options.show_help;
    default: return options.show_version;
  }
}

// A switch refuses a value, which would read as a way to turn it off ("=0");
// "--candidate-cache" has always ignored one.
void ApplySwitch(ServiceOptions& options, const OptionSpec& option, const SplitArgument& split,
                 const std::string& arg) {
  if (split.inline_value && option.field != Field::CandidateCache)
    throw std::invalid_argument("unsupported argument: " + arg);
  SwitchOf(options, option.field) = true;
}

}  // namespace

ServiceOptions ParseServiceOptions(const std::vector<std::string>& args) {
  ServiceOptions options;
  int positional = 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    SplitArgument split = Split(arg);
    if (const OptionSpec* option = FindOption(split.key)) {
      if (option->value == nullptr) {
        ApplySwitch(options, *option, split, arg);
        continue;
      }
      if (!split.inline_value) {
        if (i + 1 >= args.size()) throw std::invalid_argument("missing value for argument: " + split.key);
        split.inline_value = args[++i];
      }
      ApplyValue(options, option->field, split.key, *split.inline_value);
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
  const bool asks_only = options.show_help || options.show_version;
  if (!asks_only && (options.model_path.empty() || options.tokenizer_path.empty())) {
    throw std::invalid_argument("model path and tokenizer path are required");
  }
  return options;
}

std::string UsageText() {
  std::string text =
      "usage: quirvel-worker MODEL TOKENIZER [OPTION]...\n"
      "Reads one JSON request per line on standard input (extract, convert, metrics, shutdown) and writes\n"
      "one JSON reply per line on standard output; \"ready\" on standard error once the model is loaded.\n"
      "\n"
      "Options (a value follows as the next argument or after \"=\"):\n";
  for (const OptionSpec& option : kOptions) {
    std::string head = std::string("  ") + option.name + (option.value ? std::string(" ") + option.value : "");
    head.resize(std::max<std::size_t>(head.size() + 1, 34), ' ');
    text += head + option.help + "\n";
  }
  text +=
      "\n"
      "Environment (a command-line option wins):\n"
      "  QUIRVEL_OPENCC_CONFIG        the tw2sp.json that normalises titles\n"
      "  QUIRVEL_OPENCC_RESOURCE_DIR  folder of the OpenCC configurations and dictionaries\n"
      "  QUIRVEL_JIEBA_DICT_DIR       the Jieba dictionary folder\n"
      "\n"
      "Example:\n"
      "  echo '{\"id\":\"1\",\"type\":\"extract\",\"title\":\"iPhone 15 Pro 手機殼\",\"max_len\":12}' |\n"
      "    quirvel-worker default_model/model.onnx default_model/tokenizer.json\n";
  return text;
}

std::uint32_t OutputModeFromName(std::string_view name) {
  if (const std::optional<OutputMode> mode = OutputModeNamed(name)) return static_cast<std::uint32_t>(*mode);
  throw std::invalid_argument("unknown output mode: " + std::string(name) + " (expected one of " +
                              OutputModeNameList() + ")");
}

}  // namespace quirvel
