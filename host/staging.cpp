// Staging of resource folders whose paths the C libraries cannot open, and the
// private folders a worker writes for itself. Many workers of one install
// share the staging root while others read from it, so no file there is ever
// rewritten: a folder is copied under a private name, named after what it
// holds, and moved into place in one step; a folder of that name is only
// reused when it still holds exactly that.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "host/encodings.h"
#include "host/platform.h"
#include "host/resources.h"

namespace quirvel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStagingDirName = "qrv_ipc_resources";
constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;
constexpr std::size_t kReadChunk = 1 << 16;

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string PathToUtf8(const fs::path& path) { return WideToUtf8(platform::WidePath(path)); }

fs::path Utf8ToNative(const std::string& path) { return platform::NativePath(Utf8ToWide(path)); }

// 64-bit FNV-1a: resource versions are told apart, nobody forges them (the
// root is private to the user).
class Fingerprint {
 public:
  void Add(const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      hash_ ^= static_cast<unsigned char>(bytes[i]);
      hash_ *= kFnvPrime;
    }
  }
  void Add(const std::string& text) { Add(text.data(), text.size() + 1); }  // with its NUL as a boundary
  void AddNumber(std::uint64_t value) { Add(reinterpret_cast<const char*>(&value), sizeof value); }
  std::string Hex() const {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (int i = 15, shift = 0; i >= 0; --i, shift += 4)
      hex[static_cast<std::size_t>(i)] = kDigits[(hash_ >> shift) & 0xF];
    return hex;
  }

 private:
  std::uint64_t hash_ = kFnvOffset;
};

bool AddFileContents(const fs::path& file, Fingerprint& fingerprint) {
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) return false;
  std::vector<char> buffer(kReadChunk);
  std::uint64_t size = 0;
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    const auto got = static_cast<std::size_t>(in.gcount());
    fingerprint.Add(buffer.data(), got);
    size += got;
  }
  fingerprint.AddNumber(size);
  return !in.bad();
}

// The regular files under folder, by relative path in a fixed order.
std::optional<std::vector<std::pair<std::string, fs::path>>> FilesUnder(const fs::path& folder) {
  std::vector<std::pair<std::string, fs::path>> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error))
      files.emplace_back(PathToUtf8(it->path().lexically_relative(folder)), it->path());
  }
  if (error) return std::nullopt;
  std::sort(files.begin(), files.end());
  return files;
}

// Names, sizes and contents of every file under folder, in one hex string;
// nullopt when the folder cannot be read whole.
std::optional<std::string> FolderFingerprint(const fs::path& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) return std::nullopt;
  const auto files = FilesUnder(folder);
  if (!files) return std::nullopt;
  Fingerprint fingerprint;
  for (const auto& [relative, path] : *files) {
    fingerprint.Add(relative);
    if (!AddFileContents(path, fingerprint)) return std::nullopt;
  }
  return fingerprint.Hex();
}

// A folder that holds exactly the files its name promises.
bool HoldsCompleteCopy(const fs::path& folder, const std::string& fingerprint) {
  return platform::IsPrivateDirectory(folder) && FolderFingerprint(folder) == fingerprint;
}

fs::path StagedFolder(const fs::path& root, const std::string& name, const std::string& fingerprint) {
  return root / Utf8ToNative(name + "-" + fingerprint);
}

// A name under root that no other process uses: this process's identifier and
// a count, tried until one is free (a killed worker may have left one behind).
std::optional<fs::path> CreateUniqueFolder(const fs::path& root, const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  const std::string stem = prefix + "-" + std::to_string(platform::CurrentProcessId()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path folder = root / Utf8ToNative(stem + std::to_string(counter++));
    if (platform::CreatePrivateDirectory(folder)) return folder;
    std::error_code error;
    if (!fs::exists(folder, error)) return std::nullopt;  // not a name clash: the root is unusable
  }
  return std::nullopt;
}

void RemoveQuietly(const fs::path& folder) {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

// The staging root, created owner-only; nullopt when there is none or it is
// not safely ours.
std::optional<fs::path> PrivateStagingRoot() {
  const std::string root = StagingRoot();
  if (root.empty()) return std::nullopt;
  const fs::path root_path = Utf8ToNative(root);
  platform::CreatePrivateDirectories(root_path);
  // A staging folder that someone else controls would feed the libraries their files.
  if (!platform::IsPrivateDirectory(root_path)) return std::nullopt;
  return root_path;
}

// Moves the finished copy to the name of its content. When another worker got
// there first its copy is used; a copy under that name that does not hold
// what the name promises (files lost from the temporary folder) is moved aside
// once. If the name stays blocked, this worker keeps its own complete copy.
fs::path Publish(const fs::path& copy, const fs::path& target, const std::string& fingerprint) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (platform::MoveDirectory(copy, target)) return target;
    if (HoldsCompleteCopy(target, fingerprint)) {
      RemoveQuietly(copy);
      return target;
    }
    const auto aside =
        CreateUniqueFolder(target.parent_path(), "." + PathToUtf8(target.filename()) + ".damaged");
    if (!aside || !platform::MoveDirectory(target, *aside / "folder")) break;
  }
  return copy;
}

// Copies source under a private name beside the staged folders and publishes
// it; nullopt when the copy cannot be made.
std::optional<fs::path> CopyAndPublish(const fs::path& source, const fs::path& root,
                                       const std::string& name) {
  const auto copy = CreateUniqueFolder(root, "." + name + ".part");
  if (!copy) return std::nullopt;
  // The copy's own fingerprint names it: the source may change while it is copied.
  const std::optional<std::string> fingerprint =
      platform::CopyDirectoryTree(source, *copy) ? FolderFingerprint(*copy) : std::nullopt;
  if (!fingerprint) {
    RemoveQuietly(*copy);
    return std::nullopt;
  }
  return Publish(*copy, StagedFolder(root, name, *fingerprint), *fingerprint);
}

}  // namespace

std::string StagingRoot() {
  const std::wstring temp = platform::TempDirectory();
  if (temp.empty()) return {};
  return PathToUtf8(platform::NativePath(temp) / kStagingDirName);
}

std::string StageResourceDir(const std::string& dir, const std::string& name) {
  if (dir.empty() || IsAscii(dir)) return dir;
  const std::optional<fs::path> root = PrivateStagingRoot();
  if (!root) return dir;
  const fs::path source = Utf8ToNative(dir);
  const std::optional<std::string> fingerprint = FolderFingerprint(source);
  if (!fingerprint) return dir;
  const fs::path existing = StagedFolder(*root, name, *fingerprint);
  if (HoldsCompleteCopy(existing, *fingerprint)) return PathToUtf8(existing);
  const std::optional<fs::path> staged = CopyAndPublish(source, *root, name);
  return staged ? PathToUtf8(*staged) : dir;
}

// ---- PrivateFolder ----

std::optional<PrivateFolder> PrivateFolder::Create(const std::string& prefix) {
  const std::optional<fs::path> root = PrivateStagingRoot();
  if (!root) return std::nullopt;
  const std::optional<fs::path> folder = CreateUniqueFolder(*root, "." + prefix);
  if (!folder) return std::nullopt;
  return PrivateFolder(PathToUtf8(*folder));
}

PrivateFolder::PrivateFolder(PrivateFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}

PrivateFolder& PrivateFolder::operator=(PrivateFolder&& other) noexcept {
  if (this != &other) {
    Remove();
    path_ = std::exchange(other.path_, {});
  }
  return *this;
}

PrivateFolder::~PrivateFolder() { Remove(); }

void PrivateFolder::Remove() {
  if (!path_.empty()) RemoveQuietly(Utf8ToNative(path_));
  path_.clear();
}

bool PrivateFolder::WriteFile(const std::string& name, const std::string& text) const {
  std::ofstream out(Utf8ToNative(JoinPath(path_, name)));
  out << text;
  out.close();
  return !out.fail();
}

}  // namespace quirvel
