// Placeholder until resource location lands: enough for the other subsystems to link.
#include "host/resources.h"

#include <cstdlib>
#include <sys/stat.h>

namespace quirvel {
namespace {
bool IsFile(const std::string& p) {
  struct stat st {};
  return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace
std::string JoinPath(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string out(dir);
  if (out.back() != '/' && out.back() != '\\') out += '/';
  out += name;
  return out;
}
bool IsRegularFile(const std::string& path) { return IsFile(path); }
bool HasJiebaDictionary(const std::string& dir) {
  for (const char* f : {"jieba.dict.utf8", "hmm_model.utf8", "user.dict.utf8", "idf.utf8", "stop_words.utf8"})
    if (!IsFile(JoinPath(dir, f))) return false;
  return true;
}
std::string ToLibraryPath(const std::string& path) { return path; }
void MarkJiebaLoaded() {}
std::string HostOpenccResourceDir() { return {}; }
void SetHostOpenccResourceDir(const std::string&) {}
std::string ResolveJiebaDictDir() {
  if (const char* env = std::getenv("QUIRVEL_JIEBA_DICT_DIR")) return env;
  return QUIRVEL_JIEBA_DICT_FALLBACK;
}
std::vector<std::string> OpenccConfigCandidates() { return {QUIRVEL_OPENCC_FALLBACK_CONFIG}; }
void ResolveServicePaths(const ServiceOptions&) {}
}  // namespace quirvel
