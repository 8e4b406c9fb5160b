// The worker's command line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "embedcore/profiles.h"  // ProfileIdFromName, which "--profile" reads with
#include "keywords/keyword_model_config.h"

namespace quirvel {

// The keyword model's settings, which the host hands on as they are, and the
// host's own.
struct ServiceOptions : KeywordModelConfig {
  // Back-convert only the keyword characters not taken from the request.
  bool keep_request_characters = false;
  // Back-convert the whole title and keyword text with s2twp, whatever script
  // the seller wrote (the reply of versions before 0.2.0).
  bool back_convert_everything = false;
  // Keep each OpenCC converter open from its first use until the worker exits.
  bool reuse_converters = false;
  // "--help" and "--version": the worker prints and exits; no path is needed.
  bool show_help = false;
  bool show_version = false;
  std::string opencc_resource_dir;
  std::string opencc_config_path;
  std::string jieba_dict_dir;
};

// Parses the argument list (UTF-8; the first entry is the program name and is
// skipped). Throws std::invalid_argument with the user-facing message.
ServiceOptions ParseServiceOptions(const std::vector<std::string>& args);

// What "--help" prints: the positional paths, every option with its value and
// default, the environment variables and an example.
std::string UsageText();

// Output mode identifier for "--output-mode"; throws std::invalid_argument with
// the accepted names for any other text.
std::uint32_t OutputModeFromName(std::string_view name);

}  // namespace quirvel
