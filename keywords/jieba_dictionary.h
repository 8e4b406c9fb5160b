// Checks of a Jieba dictionary directory made before the segmenter reads it:
// cppjieba ends the process on a file it cannot open or parse, so every file
// it would refuse is refused here first, with a message the request loop can
// report. The five files are read once and the bytes that passed are the ones
// the segmenter loads, from a private copy nobody else writes.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "host/resources.h"

namespace quirvel {

// The five files' text, in the order of kJiebaDictFiles.
struct JiebaDictionaryBytes {
  std::array<std::string, std::size(kJiebaDictFiles)> files;
};

// Reads the five files of `dir` (a path the process can open directly, the
// library form); "" when all were read, otherwise what is wrong.
std::string ReadJiebaDictionary(const std::string& dir, JiebaDictionaryBytes& bytes);

// "" when cppjieba can load these files; otherwise what is wrong.
std::string FindJiebaDictionaryProblem(const JiebaDictionaryBytes& bytes);
// The same for the files in `dir` (library form), read once.
std::string FindJiebaDictionaryProblem(const std::string& dir);

// The five files of `library_dir`, read once and checked. Throws
// std::runtime_error naming the directory (`display_dir`, UTF-8) and the
// problem when they cannot be loaded.
JiebaDictionaryBytes ReadCheckedJiebaDictionary(const std::string& display_dir,
                                                const std::string& library_dir);
void CheckJiebaDictionary(const std::string& display_dir, const std::string& library_dir);

// The files written into a new private folder that the library can open
// through ToLibraryPath of its path; nullopt when no such folder can be made.
std::optional<PrivateFolder> PrivateJiebaCopy(const JiebaDictionaryBytes& bytes);

}  // namespace quirvel
