// The keyword model's settings: what the host hands to the model factory. The
// worker's command line is this record plus the host's own settings, so each
// setting is declared once on its way from the command line to the model.
#pragma once

#include <cstdint>
#include <string>

#include "ranking/rank_mode.h"

namespace quirvel {

struct KeywordModelConfig {
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
};

}  // namespace quirvel
