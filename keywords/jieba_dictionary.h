// Checks of a Jieba dictionary directory made before the segmenter reads it:
// cppjieba ends the process on a file it cannot open or parse, so every file
// it would refuse is refused here first, with a message the request loop can
// report.
#pragma once

#include <string>

namespace quirvel {

// The five files, in the order the Jieba constructor takes them.
inline constexpr const char* kJiebaMainDictFile = "jieba.dict.utf8";
inline constexpr const char* kJiebaHmmModelFile = "hmm_model.utf8";
inline constexpr const char* kJiebaUserDictFile = "user.dict.utf8";
inline constexpr const char* kJiebaIdfFile = "idf.utf8";
inline constexpr const char* kJiebaStopWordsFile = "stop_words.utf8";

// "" when cppjieba can load the dictionary in `dir`; otherwise what is wrong.
// `dir` is a path the process can open directly (the library form).
std::string FindJiebaDictionaryProblem(const std::string& dir);

// Throws std::runtime_error naming the directory (`display_dir`, UTF-8) and
// the problem when the dictionary in `library_dir` cannot be loaded.
void CheckJiebaDictionary(const std::string& display_dir, const std::string& library_dir);

}  // namespace quirvel
