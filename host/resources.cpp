// Resource location: where OpenCC's configuration and the Jieba dictionary are,
// the validating process-wide settings, and the path forms the C libraries are
// given. Staging lives in staging.cpp.
#include "host/resources.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "host/encodings.h"
#include "host/platform.h"
#include "host/service_options.h"

namespace quirvel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kOpenccDirName = "opencc";
constexpr const char* kJiebaDirName = "jieba_dict";
constexpr const char* kNormalizeConfigName = "tw2sp.json";

#ifdef _WIN32
constexpr const wchar_t* kPathSeparators = L"\\/";
#else
constexpr const wchar_t* kPathSeparators = L"/";
#endif

struct ResourceSettings {
  std::mutex mutex;
  std::string opencc_resource_dir;
  std::string opencc_config_path;
  std::string jieba_dict_dir;
  bool jieba_loaded = false;
  std::string host_opencc_resource_dir;
};

ResourceSettings& Settings() {
  static ResourceSettings settings;
  return settings;
}

std::optional<std::string> EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

// The directory named by option, else the folder of that name beside the
// executable; staged when its path is not plain ASCII.
std::string ChooseResourceDir(const std::string& option, const std::string& exe_dir, const char* name) {
  std::string dir = option;
  if (dir.empty() && IsDirectory(JoinPath(exe_dir, name))) dir = JoinPath(exe_dir, name);
  if (!dir.empty()) dir = StageResourceDir(dir, name);
  return dir;
}

}  // namespace

// ---- Path helpers ----

std::string JoinPath(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string joined(dir);
  if (joined.back() != '/' && joined.back() != '\\') joined += '/';
  joined += name;
  return joined;
}

bool IsDirectory(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  if (wide.empty()) return false;
  std::error_code error;
  return fs::is_directory(platform::NativePath(wide), error);
}

bool IsRegularFile(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  bool is_directory = false;
  return !wide.empty() && platform::QueryAttributes(wide, is_directory) && !is_directory;
}

bool HasJiebaDictionary(const std::string& dir) {
  return std::all_of(std::begin(kJiebaDictFiles), std::end(kJiebaDictFiles),
                     [&dir](const char* file) { return IsRegularFile(JoinPath(dir, file)); });
}

std::string ExecutableDir() {
  std::wstring path = platform::ExecutablePath();
  if (path.empty()) return {};
  const std::size_t last = path.find_last_of(kPathSeparators);
  path.erase(last == std::wstring::npos ? 0 : last);
  const std::size_t end = path.find_last_not_of(kPathSeparators);
  path.erase(end == std::wstring::npos ? std::min<std::size_t>(path.size(), 1) : end + 1);
  return WideToUtf8(path);
}

std::string ToLibraryPath(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  if (wide.empty()) return path;
  const std::wstring short_form = platform::ShortPathName(wide);
  if (!short_form.empty()) {
    std::string ansi = WideToAnsi(short_form);
    if (!ansi.empty()) return ansi;
  }
  std::string ansi = WideToAnsi(wide);
  return ansi.empty() ? path : ansi;
}

// ---- Process-wide settings ----

bool SetOpenccResourceDir(const std::string& dir) {
  if (!dir.empty() && !IsRegularFile(JoinPath(dir, kNormalizeConfigName))) return false;
  std::lock_guard<std::mutex> lock(Settings().mutex);
  Settings().opencc_resource_dir = dir;
  return true;
}

bool SetOpenccConfigPath(const std::string& path) {
  if (!path.empty() && !IsRegularFile(path)) return false;
  std::lock_guard<std::mutex> lock(Settings().mutex);
  Settings().opencc_config_path = path;
  return true;
}

bool SetJiebaDictDir(const std::string& dir) {
  std::lock_guard<std::mutex> lock(Settings().mutex);
  if (Settings().jieba_loaded) return false;
  if (!dir.empty() && !HasJiebaDictionary(dir)) return false;
  Settings().jieba_dict_dir = dir;
  return true;
}

void MarkJiebaLoaded() {
  std::lock_guard<std::mutex> lock(Settings().mutex);
  Settings().jieba_loaded = true;
}

std::string HostOpenccResourceDir() {
  std::lock_guard<std::mutex> lock(Settings().mutex);
  return Settings().host_opencc_resource_dir;
}

void SetHostOpenccResourceDir(const std::string& dir) {
  std::lock_guard<std::mutex> lock(Settings().mutex);
  Settings().host_opencc_resource_dir = dir;
}

// ---- Candidate lists ----

std::vector<std::string> OpenccConfigCandidates() { return OpenccConfigCandidates(ExecutableDir()); }

std::vector<std::string> OpenccConfigCandidates(const std::string& exe_dir) {
  std::vector<std::string> candidates;
  {
    std::lock_guard<std::mutex> lock(Settings().mutex);
    if (!Settings().opencc_config_path.empty()) candidates.push_back(Settings().opencc_config_path);
    if (!Settings().opencc_resource_dir.empty())
      candidates.push_back(JoinPath(Settings().opencc_resource_dir, kNormalizeConfigName));
  }
  if (auto config = EnvironmentValue("QUIRVEL_OPENCC_CONFIG")) candidates.push_back(*config);
  if (auto dir = EnvironmentValue("QUIRVEL_OPENCC_RESOURCE_DIR"))
    candidates.push_back(JoinPath(*dir, kNormalizeConfigName));
  if (!exe_dir.empty()) {
    candidates.push_back(JoinPath(JoinPath(exe_dir, kOpenccDirName), kNormalizeConfigName));
    candidates.push_back(JoinPath(JoinPath(JoinPath(exe_dir, "share"), "opencc"), kNormalizeConfigName));
    candidates.push_back(JoinPath(exe_dir, kNormalizeConfigName));
  }
  candidates.push_back(QUIRVEL_OPENCC_FALLBACK_CONFIG);
  candidates.push_back(kNormalizeConfigName);
  return candidates;
}

std::vector<std::string> JiebaDictCandidates(const std::string& exe_dir) {
  std::vector<std::string> candidates;
  {
    std::lock_guard<std::mutex> lock(Settings().mutex);
    if (!Settings().jieba_dict_dir.empty()) candidates.push_back(Settings().jieba_dict_dir);
  }
  if (auto dir = EnvironmentValue("QUIRVEL_JIEBA_DICT_DIR")) candidates.push_back(*dir);
  if (!exe_dir.empty()) {
    candidates.push_back(JoinPath(exe_dir, kJiebaDirName));
    candidates.push_back(JoinPath(exe_dir, "dict"));
    candidates.push_back(JoinPath(JoinPath(JoinPath(exe_dir, "share"), "cppjieba"), "dict"));
  }
  candidates.push_back(QUIRVEL_JIEBA_DICT_FALLBACK);
  candidates.push_back("dict");
  return candidates;
}

std::string ResolveJiebaDictDir() { return ResolveJiebaDictDir(ExecutableDir()); }

std::string ResolveJiebaDictDir(const std::string& exe_dir) {
  for (const std::string& dir : JiebaDictCandidates(exe_dir))
    if (HasJiebaDictionary(dir)) return dir;
  return QUIRVEL_JIEBA_DICT_FALLBACK;
}

// ---- Start-up ----

void ResolveServicePaths(const ServiceOptions& options) { ResolveServicePaths(options, ExecutableDir()); }

void ResolveServicePaths(const ServiceOptions& options, const std::string& exe_dir) {
  const std::string opencc_dir = ChooseResourceDir(options.opencc_resource_dir, exe_dir, kOpenccDirName);
  const std::string jieba_dir = ChooseResourceDir(options.jieba_dict_dir, exe_dir, kJiebaDirName);
  if (!opencc_dir.empty() && !SetOpenccResourceDir(opencc_dir))
    throw std::runtime_error("invalid OpenCC resource directory: " + opencc_dir);
  SetHostOpenccResourceDir(opencc_dir);
  if (!options.opencc_config_path.empty() && !SetOpenccConfigPath(options.opencc_config_path))
    throw std::runtime_error("invalid OpenCC config path: " + options.opencc_config_path);
  if (!jieba_dir.empty() && !SetJiebaDictDir(jieba_dir))
    throw std::runtime_error("invalid Jieba dict directory: " + jieba_dir);
}

}  // namespace quirvel
