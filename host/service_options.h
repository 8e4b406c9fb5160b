// The worker's command line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ranking/rank_mode.h"

namespace quirvel {

struct ServiceOptions {
  std::string model_path;
  std::string tokenizer_path;
  std::uint32_t profile = 0;  // ModelProfile identifier, 0 = "auto"
  RankMode rank_mode = RankMode::Default;
  std::uint32_t output_mode = 0;  // the engine's OutputMode identifier, 0 = the profile's default
  std::int32_t title_max_length = 128;
  std::int32_t candidate_max_length = 64;
  bool candidate_cache = false;
  // Bounds the candidate cache (least recently used out first); 0: unbounded.
  std::uint64_t candidate_cache_capacity = 0;
  std::int32_t intra_op_threads = 0;  // "--threads": 0 = ONNX Runtime's own choice
  // Back-convert only the keyword characters not taken from the request.
  bool keep_request_characters = false;
  std::string opencc_resource_dir;
  std::string opencc_config_path;
  std::string jieba_dict_dir;
};

// Parses the argument list (UTF-8; the first entry is the program name and is
// skipped). Throws std::invalid_argument with the user-facing message.
ServiceOptions ParseServiceOptions(const std::vector<std::string>& args);

// Profile identifier for a command-line profile name; 0 ("auto") when unknown.
std::uint32_t ProfileIdFromName(std::string_view name);

// Output mode identifier for "--output-mode"; throws std::invalid_argument with
// the accepted names for any other text.
std::uint32_t OutputModeFromName(std::string_view name);

}  // namespace quirvel
