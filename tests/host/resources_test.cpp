#include "host/resources.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/encodings.h"
#include "host/service_options.h"
#include "temp_tree.h"

namespace quirvel {
namespace {

namespace fs = std::filesystem;
using test::SetEnv;
using test::TempTree;

const char* const kJiebaFiles[] = {"jieba.dict.utf8", "hmm_model.utf8", "user.dict.utf8", "idf.utf8",
                                   "stop_words.utf8"};

// Every test runs in its own process; the environment is made neutral and the
// staging folder points into the test's own tree.
class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name :
         {"QUIRVEL_OPENCC_CONFIG", "QUIRVEL_OPENCC_RESOURCE_DIR", "QUIRVEL_JIEBA_DICT_DIR"})
      SetEnv(name, nullptr);
    SetEnv("TMPDIR", tree_.MakeDir("tmp").c_str());
    exe_dir_ = tree_.MakeDir("exe");
  }

  std::string MakeJiebaDir(const std::string& relative, std::size_t file_count = 5) {
    const std::string dir = tree_.MakeDir(relative);
    for (std::size_t i = 0; i < file_count; ++i) tree_.WriteFile(relative + "/" + kJiebaFiles[i]);
    return dir;
  }

  std::string StagingRootPath() const { return tree_.root() + "/tmp/qrv_ipc_resources"; }

  // The one staged copy of name ("name-" and 16 hex digits); "" unless there
  // is exactly one.
  std::string StagedPath(const std::string& name) const {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(StagingRootPath(), error)) {
      const std::string file = entry.path().filename().string();
      if (file.size() == name.size() + 17 && file.rfind(name + "-", 0) == 0)
        found.push_back(entry.path().string());
    }
    return found.size() == 1 ? found.front() : "";
  }

  // The message of the error ResolveServicePaths raises, "" when it succeeds.
  std::string ResolveError(const ServiceOptions& options) {
    try {
      ResolveServicePaths(options, exe_dir_);
      return {};
    } catch (const std::runtime_error& error) {
      return error.what();
    }
  }

  TempTree tree_;
  std::string exe_dir_;
};

struct JoinCase {
  const char* dir;
  const char* name;
  const char* joined;
};

TEST(JoinPathTest, AddsOneSeparatorOnlyWhenNeeded) {
  const JoinCase cases[] = {
      {"C:\\res\\", "a.json", "C:\\res\\a.json"},
      {"C:\\res", "a.json", "C:\\res/a.json"},
      {"/opt/res/", "a.json", "/opt/res/a.json"},
      {"/opt/res", "a.json", "/opt/res/a.json"},
      {"", "a.json", "a.json"},
      {"dir", "", "dir/"},
  };
  for (const JoinCase& c : cases) EXPECT_EQ(JoinPath(c.dir, c.name), c.joined) << c.dir << " + " << c.name;
}

struct EncodingCase {
  const char* utf8;
  std::wstring wide;  // empty: strict decoding refuses the input
};

TEST(EncodingTest, Utf8ToWideIsStrict) {
  const EncodingCase cases[] = {
      {"abc", L"abc"},
      {"\xE8\x87\xBA\xE7\x81\xA3", L"\u81FA\u7063"},
      {"\xF0\x9F\x98\x80", L"\U0001F600"},
      {"", L""},
      {"\xC0\xAF", L""},          // overlong "/"
      {"\xE0\x80\xAF", L""},      // overlong, three bytes
      {"\xED\xA0\x80", L""},      // surrogate
      {"\xF4\x90\x80\x80", L""},  // beyond U+10FFFF
      {"\xE8\x87", L""},          // cut short
      {"a\x80"
       "b",
       L""},                  // stray continuation byte
      {"\xE8\x41\xBA", L""},  // continuation byte missing
      {"\xFF", L""},
  };
  for (const EncodingCase& c : cases) EXPECT_EQ(Utf8ToWide(c.utf8), c.wide) << c.utf8;
}

TEST(EncodingTest, WideToUtf8RoundTripsAndRefusesInvalidUnits) {
  EXPECT_EQ(WideToUtf8(Utf8ToWide("x\xE5\x8F\xB0\xF0\x9F\x98\x80")), "x\xE5\x8F\xB0\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "");
  EXPECT_EQ(WideToUtf8(std::wstring(1, static_cast<wchar_t>(0x110000))), "");
  EXPECT_EQ(WideToAnsi(L"\u53F0"), "\xE5\x8F\xB0");
}

TEST_F(ResourcesTest, FileChecksTellFilesFromFolders) {
  const std::string file = tree_.WriteFile("a/file.txt");
  EXPECT_TRUE(IsRegularFile(file));
  EXPECT_FALSE(IsRegularFile(tree_.root() + "/a"));
  EXPECT_FALSE(IsRegularFile(tree_.root() + "/a/missing"));
  EXPECT_FALSE(IsRegularFile(""));
  EXPECT_FALSE(IsRegularFile("\xFF"));
  EXPECT_TRUE(IsDirectory(tree_.root() + "/a"));
  EXPECT_FALSE(IsDirectory(file));
  EXPECT_FALSE(IsDirectory(""));
}

TEST_F(ResourcesTest, JiebaDictionaryNeedsAllFiveFiles) {
  for (std::size_t count = 0; count <= 5; ++count) {
    const std::string dir = MakeJiebaDir("jieba" + std::to_string(count), count);
    EXPECT_EQ(HasJiebaDictionary(dir), count == 5) << count << " files";
  }
}

TEST_F(ResourcesTest, ExecutableDirHoldsTheRunningTest) {
  const std::string dir = ExecutableDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), '/');
  EXPECT_TRUE(IsRegularFile(JoinPath(dir, "host_resources_tests")));
}

TEST_F(ResourcesTest, ToLibraryPathKeepsUtf8PathsAndUnconvertibleOnes) {
  EXPECT_EQ(ToLibraryPath("/opt/\xE8\x87\xBA/a.json"), "/opt/\xE8\x87\xBA/a.json");
  EXPECT_EQ(ToLibraryPath("bad\xFF"), "bad\xFF");
  EXPECT_EQ(ToLibraryPath(""), "");
}

TEST_F(ResourcesTest, NoOptionsAndNoFoldersBesideTheExecutableSucceed) {
  EXPECT_EQ(ResolveError(ServiceOptions{}), "");
  EXPECT_EQ(HostOpenccResourceDir(), "");
}

TEST_F(ResourcesTest, FoldersBesideTheExecutableAreUsedInPlace) {
  tree_.WriteFile("exe/opencc/tw2sp.json");
  MakeJiebaDir("exe/jieba_dict");
  ASSERT_EQ(ResolveError(ServiceOptions{}), "");
  EXPECT_EQ(HostOpenccResourceDir(), exe_dir_ + "/opencc");
  EXPECT_EQ(OpenccConfigCandidates(exe_dir_).front(), exe_dir_ + "/opencc/tw2sp.json");
  EXPECT_EQ(ResolveJiebaDictDir(exe_dir_), exe_dir_ + "/jieba_dict");
  EXPECT_FALSE(fs::exists(tree_.root() + "/tmp/qrv_ipc_resources"));
}

TEST_F(ResourcesTest, OpenccFolderBesideTheExecutableWithoutConfigStopsStartUp) {
  tree_.WriteFile("exe/opencc/s2twp.json");
  EXPECT_EQ(ResolveError(ServiceOptions{}), "invalid OpenCC resource directory: " + exe_dir_ + "/opencc");
}

struct ResolveFailureCase {
  const char* label;
  ServiceOptions options;
  std::string expected_message;
};

TEST_F(ResourcesTest, InvalidLocationsAreReportedWithTheirPaths) {
  const std::string config_dir = tree_.MakeDir("config_dir");
  const std::string four_files = MakeJiebaDir("jieba4", 4);
  const std::string no_config = tree_.MakeDir("empty_opencc");
  ResolveFailureCase cases[] = {
      {"config names a folder", {}, "invalid OpenCC config path: " + config_dir},
      {"config names nothing", {}, "invalid OpenCC config path: " + config_dir + "/none.json"},
      {"jieba four of five", {}, "invalid Jieba dict directory: " + four_files},
      {"opencc dir without tw2sp", {}, "invalid OpenCC resource directory: " + no_config},
  };
  cases[0].options.opencc_config_path = config_dir;
  cases[1].options.opencc_config_path = config_dir + "/none.json";
  cases[2].options.jieba_dict_dir = four_files;
  cases[3].options.opencc_resource_dir = no_config;
  for (const ResolveFailureCase& c : cases) EXPECT_EQ(ResolveError(c.options), c.expected_message) << c.label;
}

TEST_F(ResourcesTest, NonAsciiOpenccFolderIsStagedAndUsed) {
  const std::string source = tree_.MakeDir("\xE8\xB3\x87\xE6\xBA\x90/opencc");
  tree_.WriteFile("\xE8\xB3\x87\xE6\xBA\x90/opencc/tw2sp.json", "{}");
  tree_.WriteFile("\xE8\xB3\x87\xE6\xBA\x90/opencc/sub/TSPhrases.ocd2", "dict");
  ServiceOptions options;
  options.opencc_resource_dir = source;
  ASSERT_EQ(ResolveError(options), "");
  EXPECT_EQ(HostOpenccResourceDir(), StagedPath("opencc"));
  EXPECT_TRUE(IsRegularFile(StagedPath("opencc") + "/tw2sp.json"));
  EXPECT_TRUE(IsRegularFile(StagedPath("opencc") + "/sub/TSPhrases.ocd2"));
}

TEST_F(ResourcesTest, ErrorAboutAStagedFolderNamesTheCopy) {
  const std::string source = MakeJiebaDir("\xE5\xAD\x97\xE5\x85\xB8", 4);
  ServiceOptions options;
  options.jieba_dict_dir = source;
  const std::string error = ResolveError(options);
  EXPECT_EQ(error, "invalid Jieba dict directory: " + StagedPath("jieba_dict"));
}

TEST_F(ResourcesTest, StagingCreatesOwnerOnlyFolders) {
  const std::string source = MakeJiebaDir("\xE5\xAD\x97\xE5\x85\xB8");
  const std::string staged = StageResourceDir(source, "jieba_dict");
  ASSERT_EQ(staged, StagedPath("jieba_dict"));
  for (const std::string& dir : {StagingRootPath(), StagedPath("jieba_dict")}) {
    struct stat st {};
    ASSERT_EQ(::lstat(dir.substr(0, dir.find_last_not_of('/') + 1).c_str(), &st), 0) << dir;
    EXPECT_EQ(st.st_mode & 0777, 0700u) << dir;
  }
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Relative path and content of every file under folder.
std::map<std::string, std::string> FilesUnder(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file())
      files[entry.path().lexically_relative(folder).string()] = ReadAll(entry.path());
  return files;
}

void CutShort(const fs::path& file) { fs::resize_file(file, fs::file_size(file) / 2); }

// What happens in the staging root between two start-ups of workers of one
// install, given the resource folder and the first start-up's copy.
struct StagingCase {
  const char* name;
  void (*between)(const fs::path& source, const fs::path& first_copy);
  bool source_changed;
};

const StagingCase kStagingCases[] = {
    {"NothingHappened", [](const fs::path&, const fs::path&) {}, false},
    {"SourceChanged",
     [](const fs::path& source, const fs::path&) { std::ofstream(source / "idf.utf8") << "v2"; }, true},
    {"CopyCutShort", [](const fs::path&, const fs::path& copy) { CutShort(copy / "idf.utf8"); }, false},
    {"CopyLostAFile", [](const fs::path&, const fs::path& copy) { fs::remove(copy / "sub" / "extra.txt"); },
     false},
    {"CopiesOfKilledWorkersLeftBehind",
     [](const fs::path&, const fs::path& copy) {
       for (const char* leftover : {".jieba_dict.part-1-0", "jieba_dict"}) {
         fs::copy(copy, copy.parent_path() / leftover, fs::copy_options::recursive);
         CutShort(copy.parent_path() / leftover / "idf.utf8");
       }
     },
     false},
};

// Every start-up gets a complete copy of what the folder holds; a copy is
// never rewritten, so the first start-up's files stay as they were unless
// something outside the worker damaged them.
TEST_F(ResourcesTest, StagingAlwaysGivesACompleteCopyAndNeverRewritesOne) {
  int index = 0;
  for (const StagingCase& c : kStagingCases) {
    SCOPED_TRACE(c.name);
    SetEnv("TMPDIR", tree_.MakeDir("tmp" + std::to_string(++index)).c_str());
    const std::string source = MakeJiebaDir("\xE5\xAD\x97\xE5\x85\xB8" + std::to_string(index));
    tree_.WriteFile("\xE5\xAD\x97\xE5\x85\xB8" + std::to_string(index) + "/sub/extra.txt", "extra");
    const fs::path first = StageResourceDir(source, "jieba_dict");
    ASSERT_EQ(FilesUnder(first), FilesUnder(source));
    const auto first_files = FilesUnder(first);
    const auto first_time = fs::last_write_time(first / "jieba.dict.utf8");
    c.between(source, first);
    const fs::path second = StageResourceDir(source, "jieba_dict");
    EXPECT_EQ(FilesUnder(second), FilesUnder(source));
    EXPECT_EQ(second.parent_path(), fs::path(StagingRoot()));
    EXPECT_EQ(second.filename().string().rfind("jieba_dict-", 0), 0u) << second;
    if (c.source_changed) {
      EXPECT_NE(second, first);
      EXPECT_EQ(FilesUnder(first), first_files) << "the copy other workers read was changed";
    }
    if (std::string(c.name) == "NothingHappened") {
      EXPECT_EQ(second, first);
      EXPECT_EQ(fs::last_write_time(second / "jieba.dict.utf8"), first_time) << "the copy was written again";
    }
  }
}

TEST_F(ResourcesTest, PrivateFoldersAreDistinctAndGoneAfterUse) {
  std::string path;
  {
    const auto folder = PrivateFolder::Create("work");
    ASSERT_TRUE(folder);
    path = folder->path();
    EXPECT_EQ(fs::path(path).parent_path(), fs::path(StagingRoot()));
    EXPECT_TRUE(folder->WriteFile("a.txt", "text"));
    EXPECT_EQ(ReadAll(fs::path(path) / "a.txt"), "text");
    const auto other = PrivateFolder::Create("work");
    ASSERT_TRUE(other);
    EXPECT_NE(other->path(), path);
  }
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(ResourcesTest, AsciiAndEmptyFoldersAreNeverStaged) {
  const std::string source = MakeJiebaDir("ascii");
  EXPECT_EQ(StageResourceDir(source, "jieba_dict"), source);
  EXPECT_EQ(StageResourceDir("", "jieba_dict"), "");
  EXPECT_FALSE(fs::exists(StagingRootPath()));
}

// A staging root that someone else could control is refused: the given path
// is used unchanged.
TEST_F(ResourcesTest, UnsafeStagingRootIsNotUsed) {
  const std::string source = MakeJiebaDir("\xE5\xAD\x97\xE5\x85\xB8");
  const std::string root = tree_.root() + "/tmp/qrv_ipc_resources";
  const std::string elsewhere = tree_.MakeDir("attacker");

  fs::create_directory_symlink(elsewhere, root);
  EXPECT_EQ(StageResourceDir(source, "jieba_dict"), source) << "symbolic link";
  EXPECT_FALSE(fs::exists(elsewhere + "/jieba_dict/idf.utf8"));
  fs::remove(root);

  fs::create_directory(root);
  fs::permissions(root, fs::perms::all);
  EXPECT_EQ(StageResourceDir(source, "jieba_dict"), source) << "writable by others";
  fs::permissions(
      root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::group_write);
  EXPECT_EQ(StageResourceDir(source, "jieba_dict"), source) << "writable by the group";
}

TEST_F(ResourcesTest, StagingRootOwnedByAnotherUserIsNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "changing a folder's owner needs root";
  const std::string source = MakeJiebaDir("\xE5\xAD\x97\xE5\x85\xB8");
  const std::string root = tree_.MakeDir("tmp/qrv_ipc_resources");
  ::chmod(root.c_str(), 0700);
  ASSERT_EQ(::chown(root.c_str(), 65534, 65534), 0);
  EXPECT_EQ(StageResourceDir(source, "jieba_dict"), source);
}

TEST_F(ResourcesTest, StagingFallsBackWithoutAUsableTempDirectory) {
  const std::string source = MakeJiebaDir("\xE5\xAD\x97\xE5\x85\xB8");
  const std::string long_tmp = "/tmp/" + std::string(300, 'x');
  SetEnv("TMPDIR", long_tmp.c_str());
  EXPECT_EQ(StagingRoot(), "");
  EXPECT_EQ(StageResourceDir(source, "jieba_dict"), source);
  EXPECT_FALSE(PrivateFolder::Create("work"));
  SetEnv("TMPDIR", (tree_.root() + "/tmp/not_a_folder_file").c_str());
  tree_.WriteFile("tmp/not_a_folder_file");
  EXPECT_EQ(StageResourceDir(source, "jieba_dict"), source) << "copy target cannot be made";
}

TEST_F(ResourcesTest, StagingRootFollowsTmpdir) {
  EXPECT_EQ(StagingRoot(), tree_.root() + "/tmp/qrv_ipc_resources");
  SetEnv("TMPDIR", nullptr);
  EXPECT_EQ(StagingRoot(), "/tmp/qrv_ipc_resources");
}

TEST_F(ResourcesTest, OpenccCandidatesComeInTheirFixedOrder) {
  const std::string config = tree_.WriteFile("cfg/my.json");
  const std::string dir = tree_.MakeDir("res");
  tree_.WriteFile("res/tw2sp.json");
  ASSERT_TRUE(SetOpenccConfigPath(config));
  ASSERT_TRUE(SetOpenccResourceDir(dir));
  SetEnv("QUIRVEL_OPENCC_CONFIG", "/env/config.json");
  SetEnv("QUIRVEL_OPENCC_RESOURCE_DIR", "/env/res");
  const std::vector<std::string> expected = {config,
                                             dir + "/tw2sp.json",
                                             "/env/config.json",
                                             "/env/res/tw2sp.json",
                                             exe_dir_ + "/opencc/tw2sp.json",
                                             exe_dir_ + "/share/opencc/tw2sp.json",
                                             exe_dir_ + "/tw2sp.json",
                                             QUIRVEL_TEST_OPENCC_FALLBACK,
                                             "tw2sp.json"};
  EXPECT_EQ(OpenccConfigCandidates(exe_dir_), expected);
}

TEST_F(ResourcesTest, EmptyEnvironmentValuesStillAddCandidates) {
  SetEnv("QUIRVEL_OPENCC_CONFIG", "");
  SetEnv("QUIRVEL_OPENCC_RESOURCE_DIR", "");
  const std::vector<std::string> expected = {"", "tw2sp.json", QUIRVEL_TEST_OPENCC_FALLBACK, "tw2sp.json"};
  EXPECT_EQ(OpenccConfigCandidates(""), expected);
}

TEST_F(ResourcesTest, JiebaDirectoryIsTheFirstCompleteCandidate) {
  const std::string configured = MakeJiebaDir("configured");
  const std::string from_env = MakeJiebaDir("env");
  MakeJiebaDir("exe/dict");
  MakeJiebaDir("exe/jieba_dict", 3);
  SetEnv("QUIRVEL_JIEBA_DICT_DIR", from_env.c_str());
  EXPECT_EQ(ResolveJiebaDictDir(exe_dir_), from_env);
  ASSERT_TRUE(SetJiebaDictDir(configured));
  EXPECT_EQ(ResolveJiebaDictDir(exe_dir_), configured);
  SetEnv("QUIRVEL_JIEBA_DICT_DIR", nullptr);
  ASSERT_TRUE(SetJiebaDictDir(""));
  EXPECT_EQ(ResolveJiebaDictDir(exe_dir_), exe_dir_ + "/dict");
  const std::vector<std::string> tail = {QUIRVEL_TEST_JIEBA_FALLBACK, "dict"};
  const std::vector<std::string> candidates = JiebaDictCandidates("");
  EXPECT_EQ(candidates, tail);
}

TEST_F(ResourcesTest, JiebaFallbackIsReturnedWhenNothingIsComplete) {
  SetEnv("QUIRVEL_JIEBA_DICT_DIR", MakeJiebaDir("partial", 2).c_str());
  EXPECT_EQ(ResolveJiebaDictDir(exe_dir_), QUIRVEL_TEST_JIEBA_FALLBACK);
}

TEST_F(ResourcesTest, SettersRefuseWhatTheyCannotUse) {
  EXPECT_FALSE(SetOpenccResourceDir(tree_.MakeDir("no_config")));
  EXPECT_FALSE(SetOpenccConfigPath(tree_.MakeDir("a_folder")));
  EXPECT_FALSE(SetJiebaDictDir(MakeJiebaDir("four", 4)));
  EXPECT_TRUE(SetOpenccResourceDir(""));
  EXPECT_TRUE(SetOpenccConfigPath(""));
  EXPECT_TRUE(SetJiebaDictDir(""));
}

TEST_F(ResourcesTest, JiebaDirectoryIsFixedOnceTheSegmenterIsLoaded) {
  const std::string dir = MakeJiebaDir("complete");
  ASSERT_TRUE(SetJiebaDictDir(dir));
  MarkJiebaLoaded();
  EXPECT_FALSE(SetJiebaDictDir(dir));
  EXPECT_FALSE(SetJiebaDictDir(""));
  ServiceOptions options;
  options.jieba_dict_dir = dir;
  EXPECT_EQ(ResolveError(options), "invalid Jieba dict directory: " + dir);
}

}  // namespace
}  // namespace quirvel
