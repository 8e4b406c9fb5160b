// Model profiles: which model the engine runs, and so which output becomes the
// sentence vector and which dimension the model must produce.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quirvel {

// Profile identifiers as the command line and the engine options carry them.
enum ModelProfile : std::uint32_t {
  kProfileAuto = 0,
  kProfileBgeLargeZhV15 = 1,
  kProfileGteLargeZh = 2,
  kProfileGteMultilingualBase = 3,
  kProfileBgeM3 = 4,
  kProfileDmetaEmbeddingZh = 5,
  kProfileQwen3Embedding06B = 6,
};

// Which model output becomes the sentence vector.
enum class OutputMode : std::uint32_t {
  Auto = 0,
  SentenceEmbedding = 1,
  MeanTokens = 2,
  FirstToken = 3,
  DenseVecs = 4,
  LastToken = 5,
};

// Canonical name; "auto" for 0 and for every unknown identifier.
const char* ProfileName(std::uint32_t profile);
OutputMode DefaultOutputMode(std::uint32_t profile);
// 0 means any dimension is accepted.
std::int32_t DefaultExpectedDimension(std::uint32_t profile);

// The profile "--profile" names (the exact, case-sensitive canonical name or
// one of its short names); 0 ("auto") for any other text.
std::uint32_t ProfileIdFromName(std::string_view name);

// Guesses the profile from the model and tokenizer paths (either may be null):
// model directories are usually named after the model.
std::uint32_t DetectProfile(const char* model_path, const char* tokenizer_path);

// The mode "--output-mode" names ("auto", "sentence-embedding", ...), if any.
std::optional<OutputMode> OutputModeNamed(std::string_view name);
// Every such name, in identifier order, separated by ", ".
std::string OutputModeNameList();

}  // namespace quirvel
