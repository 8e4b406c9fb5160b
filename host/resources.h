// Where the OpenCC and Jieba resource files are, the process-wide settings that
// hold those locations, staging of non-ASCII resource directories, and the path
// and encoding helpers the libraries are fed through.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quirvel {

struct ServiceOptions;

// The five files that make a directory a Jieba dictionary, in the order the
// Jieba constructor takes them.
inline constexpr const char* kJiebaMainDictFile = "jieba.dict.utf8";
inline constexpr const char* kJiebaHmmModelFile = "hmm_model.utf8";
inline constexpr const char* kJiebaUserDictFile = "user.dict.utf8";
inline constexpr const char* kJiebaIdfFile = "idf.utf8";
inline constexpr const char* kJiebaStopWordsFile = "stop_words.utf8";
inline constexpr const char* kJiebaDictFiles[] = {kJiebaMainDictFile, kJiebaHmmModelFile, kJiebaUserDictFile,
                                                  kJiebaIdfFile, kJiebaStopWordsFile};

// ---- Path helpers (UTF-8 paths) ----
std::string JoinPath(std::string_view dir, std::string_view name);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);
// All five Jieba dictionary files are regular files inside dir.
bool HasJiebaDictionary(const std::string& dir);
std::string ExecutableDir();
std::string StagingRoot();
// A folder whose path is not plain ASCII is copied into the staging root under
// name, a dash and a fingerprint of its files (names, sizes, contents), and that
// copy's path is returned; a complete copy made earlier is reused. Files there
// are never rewritten, so workers reading them are never disturbed. dir itself
// comes back when it needs no copy or none can be made.
std::string StageResourceDir(const std::string& dir, const std::string& name);
// The path in the form the C libraries open (system ANSI code page, short form).
std::string ToLibraryPath(const std::string& path);

// A new folder inside the staging root that no other process writes,
// removed with the object.
class PrivateFolder {
 public:
  // nullopt when the staging root cannot be had.
  static std::optional<PrivateFolder> Create(const std::string& prefix);
  PrivateFolder(PrivateFolder&& other) noexcept;
  PrivateFolder& operator=(PrivateFolder&& other) noexcept;
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  ~PrivateFolder();

  const std::string& path() const { return path_; }  // UTF-8
  // Writes text into the file name of the folder (text mode, as the
  // libraries read it back); false when it was not written whole.
  bool WriteFile(const std::string& name, const std::string& text) const;

 private:
  explicit PrivateFolder(std::string path) : path_(std::move(path)) {}
  void Remove();

  std::string path_;
};

// ---- Process-wide resource settings (one mutex guards them) ----
bool SetOpenccResourceDir(const std::string& dir);
bool SetOpenccConfigPath(const std::string& path);
bool SetJiebaDictDir(const std::string& dir);
// Called once the Jieba segmenter is built; afterwards SetJiebaDictDir refuses.
void MarkJiebaLoaded();

// The OpenCC resource directory chosen at start-up (possibly staged, possibly
// empty); the back-conversion opens "s2twp.json" inside it.
std::string HostOpenccResourceDir();
void SetHostOpenccResourceDir(const std::string& dir);

std::vector<std::string> OpenccConfigCandidates();
std::string ResolveJiebaDictDir();
// The same searches with the executable's directory given (tests use a temporary one).
std::vector<std::string> OpenccConfigCandidates(const std::string& exe_dir);
std::vector<std::string> JiebaDictCandidates(const std::string& exe_dir);
std::string ResolveJiebaDictDir(const std::string& exe_dir);

// Resolves, stages and validates the resource locations at start-up.
// Throws std::runtime_error with the user-facing message.
void ResolveServicePaths(const ServiceOptions& options);
void ResolveServicePaths(const ServiceOptions& options, const std::string& exe_dir);

}  // namespace quirvel
