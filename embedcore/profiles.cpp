#include "embedcore/profiles.h"

#include <initializer_list>
#include <string>
#include <utility>

#include "host/utf8.h"

namespace quirvel {
namespace {

struct ProfileDefaults {
  const char* name;
  OutputMode mode;
  std::int32_t dimension;
};

constexpr ProfileDefaults kProfiles[] = {
    {"auto", OutputMode::Auto, 0},
    {"bge-large-zh-v1.5", OutputMode::FirstToken, 1024},
    {"gte-large-zh", OutputMode::MeanTokens, 1024},
    {"gte-multilingual-base", OutputMode::SentenceEmbedding, 768},
    {"bge-m3", OutputMode::DenseVecs, 1024},
    {"dmeta-embedding-zh", OutputMode::SentenceEmbedding, 768},
    {"qwen3-embedding-0.6b", OutputMode::LastToken, 1024},
};

const ProfileDefaults& DefaultsOf(std::uint32_t profile) {
  constexpr std::uint32_t kCount = sizeof(kProfiles) / sizeof(kProfiles[0]);
  return kProfiles[profile < kCount ? profile : 0];
}

struct DetectionGroup {
  std::initializer_list<const char*> fragments;
  std::uint32_t profile;
};

// Tried in this order: the first group with a fragment in the paths wins, so a
// path naming both bge-m3 and bge-large-zh is bge-m3.
const DetectionGroup kDetectionGroups[] = {
    {{"qwen3-embedding", "qwen3_embedding", "qwen3-embedding-0.6b"}, kProfileQwen3Embedding06B},
    {{"bge-m3"}, kProfileBgeM3},
    {{"dmeta-embedding-zh", "dmetasoul", "merel-ko--dmeta"}, kProfileDmetaEmbeddingZh},
    {{"gte-large-zh"}, kProfileGteLargeZh},
    {{"gte-multilingual-base", "lumox427-gte-multilingual-base", "gte-multilingual"},
     kProfileGteMultilingualBase},
    {{"bge-large-zh-v1.5", "bge-large-zh"}, kProfileBgeLargeZhV15},
};

bool ContainsAny(const std::string& haystack, std::initializer_list<const char*> fragments) {
  for (const char* fragment : fragments) {
    if (haystack.find(fragment) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

const char* ProfileName(std::uint32_t profile) { return DefaultsOf(profile).name; }

OutputMode DefaultOutputMode(std::uint32_t profile) { return DefaultsOf(profile).mode; }

std::int32_t DefaultExpectedDimension(std::uint32_t profile) { return DefaultsOf(profile).dimension; }

std::uint32_t DetectProfile(const char* model_path, const char* tokenizer_path) {
  std::string joined = model_path ? model_path : "";
  joined += ' ';
  joined += tokenizer_path ? tokenizer_path : "";
  joined = LowerAscii(std::move(joined));
  for (const DetectionGroup& group : kDetectionGroups) {
    if (ContainsAny(joined, group.fragments)) return group.profile;
  }
  return kProfileAuto;
}

}  // namespace quirvel
