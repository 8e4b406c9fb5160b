#include "embedcore/profiles.h"

#include <initializer_list>
#include <string>
#include <utility>

#include "host/utf8.h"

namespace quirvel {
namespace {

// Every name the worker knows a model by, in one row per model.
struct ProfileEntry {
  std::uint32_t profile;
  const char* name;  // canonical, as messages give it
  OutputMode mode;
  std::int32_t dimension;
  // Exactly as "--profile" accepts them (case-sensitive).
  std::initializer_list<const char*> command_line_names;
  // Looked for in the lower-cased model and tokenizer paths.
  std::initializer_list<const char*> path_fragments;
};

constexpr ProfileEntry kAuto{kProfileAuto, "auto", OutputMode::Auto, 0, {}, {}};

// In the order DetectProfile tries them: the first row with a fragment in the
// paths wins, so a path naming both bge-m3 and bge-large-zh is bge-m3.
const ProfileEntry kProfiles[] = {
    {kProfileQwen3Embedding06B,
     "qwen3-embedding-0.6b",
     OutputMode::LastToken,
     1024,
     {"qwen3", "qwen3-embedding", "qwen3-embedding-0.6b"},
     {"qwen3-embedding", "qwen3_embedding", "qwen3-embedding-0.6b"}},
    {kProfileBgeM3, "bge-m3", OutputMode::DenseVecs, 1024, {"bge-m3"}, {"bge-m3"}},
    {kProfileDmetaEmbeddingZh,
     "dmeta-embedding-zh",
     OutputMode::SentenceEmbedding,
     768,
     {"dmeta", "dmeta-embedding-zh", "Merel-ko--Dmeta-embedding-zh-onnx"},
     {"dmeta-embedding-zh", "dmetasoul", "merel-ko--dmeta"}},
    {kProfileGteLargeZh,
     "gte-large-zh",
     OutputMode::MeanTokens,
     1024,
     {"gte-large-zh", "gte-large"},
     {"gte-large-zh"}},
    {kProfileGteMultilingualBase,
     "gte-multilingual-base",
     OutputMode::SentenceEmbedding,
     768,
     {"gte-multilingual-base", "gte-multilingual", "lumox427"},
     {"gte-multilingual-base", "lumox427-gte-multilingual-base", "gte-multilingual"}},
    {kProfileBgeLargeZhV15,
     "bge-large-zh-v1.5",
     OutputMode::FirstToken,
     1024,
     {"bge-large-zh-v1.5", "bge", "bge-zh"},
     {"bge-large-zh-v1.5", "bge-large-zh"}},
};

// Identifiers without a row (0 and every unknown one) are "auto".
const ProfileEntry& EntryOf(std::uint32_t profile) {
  for (const ProfileEntry& entry : kProfiles) {
    if (entry.profile == profile) return entry;
  }
  return kAuto;
}

struct OutputModeEntry {
  OutputMode mode;
  const char* name;  // as "--output-mode" accepts it
};

const OutputModeEntry kOutputModes[] = {
    {OutputMode::Auto, "auto"},
    {OutputMode::SentenceEmbedding, "sentence-embedding"},
    {OutputMode::MeanTokens, "mean-tokens"},
    {OutputMode::FirstToken, "first-token"},
    {OutputMode::DenseVecs, "dense-vecs"},
    {OutputMode::LastToken, "last-token"},
};

bool ContainsAny(const std::string& haystack, std::initializer_list<const char*> fragments) {
  for (const char* fragment : fragments) {
    if (haystack.find(fragment) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

const char* ProfileName(std::uint32_t profile) { return EntryOf(profile).name; }

OutputMode DefaultOutputMode(std::uint32_t profile) { return EntryOf(profile).mode; }

std::int32_t DefaultExpectedDimension(std::uint32_t profile) { return EntryOf(profile).dimension; }

std::uint32_t ProfileIdFromName(std::string_view name) {
  for (const ProfileEntry& entry : kProfiles) {
    for (const char* accepted : entry.command_line_names) {
      if (name == accepted) return entry.profile;
    }
  }
  return kProfileAuto;
}

std::uint32_t DetectProfile(const char* model_path, const char* tokenizer_path) {
  std::string joined = model_path ? model_path : "";
  joined += ' ';
  joined += tokenizer_path ? tokenizer_path : "";
  joined = LowerAscii(std::move(joined));
  for (const ProfileEntry& entry : kProfiles) {
    if (ContainsAny(joined, entry.path_fragments)) return entry.profile;
  }
  return kProfileAuto;
}

std::optional<OutputMode> OutputModeNamed(std::string_view name) {
  for (const OutputModeEntry& entry : kOutputModes) {
    if (name == entry.name) return entry.mode;
  }
  return std::nullopt;
}

std::string OutputModeNameList() {
  std::string listed;
  for (const OutputModeEntry& entry : kOutputModes) {
    if (!listed.empty()) listed += ", ";
    listed += entry.name;
  }
  return listed;
}

}  // namespace quirvel
