#include "keywords/jieba_dictionary.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include <cppjieba/Unicode.hpp>
#include <limonp/StringUtil.hpp>

#include "host/resources.h"

namespace quirvel {
namespace {

// The checks split lines as the library's own helper (limonp::Split) does, so
// that a line passes here exactly when the loader would accept it: a field
// ends at any separator byte, separators side by side give empty fields, and a
// separator at the very end gives none. Views into the line, so that the
// hundreds of thousands of lines of a dictionary cost no allocation.
void SplitFields(std::string_view line, std::string_view separators, std::vector<std::string_view>& fields) {
  fields.clear();
  std::size_t start = 0;
  while (start < line.size()) {
    // One separator (the usual case) is a plain byte search.
    const std::size_t end =
        separators.size() == 1 ? line.find(separators[0], start) : line.find_first_of(separators, start);
    if (end == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return;
    }
    fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
}

std::size_t CountFields(const std::string& line, const char* separators) {
  std::vector<std::string_view> fields;
  SplitFields(line, separators, fields);
  return fields.size();
}

// The number the loader reads with atof, which stops at a NUL byte as here.
double FieldValue(std::string_view field) { return std::atof(std::string(field).c_str()); }

// Calls visit with each line as std::getline gives them from the text (a line
// ends at a line feed; a last line without one still counts; an empty text has
// none) until visit returns false.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (!visit(text.substr(start, end - start))) return;
    start = end + 1;
  }
}

// Every line of the main dictionary is "word frequency tag" with a positive
// frequency (the weights are logarithms of it); an empty line is refused as
// well, and so is a dictionary without words.
std::string MainDictProblem(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t line_number = 0;
  std::string problem;
  ForEachLine(text, [&](std::string_view line) {
    ++line_number;
    SplitFields(line, " ", fields);
    if (fields.size() == 3 && FieldValue(fields[1]) > 0.0) return true;
    problem = "line " + std::to_string(line_number) + " is not \"word frequency tag\"";
    return false;
  });
  if (!problem.empty()) return problem;
  return line_number == 0 ? "no words" : "";
}

// The model reader skips blank lines and "#" comments.
bool NextModelLine(std::istream& in, std::string& line) {
  while (std::getline(in, line)) {
    limonp::Trim(line);
    if (!line.empty() && line[0] != '#') return true;
  }
  return false;
}

// Decoded the way the model reader decodes its keys.
bool IsOneCharacter(std::string_view key) {
  return !key.empty() && cppjieba::DecodeUTF8ToRune(key.data(), key.size()).len == key.size();
}

// "char:probability" pairs separated by commas, each key one character.
bool IsEmissionLine(const std::string& line) {
  std::vector<std::string_view> pairs;
  std::vector<std::string_view> parts;
  SplitFields(line, ",", pairs);
  for (const std::string_view pair : pairs) {
    SplitFields(pair, ":", parts);
    if (parts.size() != 2 || !IsOneCharacter(parts[0])) return false;
  }
  return true;
}

// Four state lines of four probabilities (start, then one transition row per
// state), then four emission lines.
std::string HmmModelProblem(std::string_view text) {
  std::istringstream in{std::string(text)};
  std::string line;
  for (int row = 0; row < 5; ++row) {
    if (!NextModelLine(in, line) || CountFields(line, " ") != 4) {
      return "probability row " + std::to_string(row + 1) + " is not four numbers";
    }
  }
  for (int row = 0; row < 4; ++row) {
    if (!NextModelLine(in, line) || !IsEmissionLine(line)) {
      return "emission row " + std::to_string(row + 1) + " is malformed";
    }
  }
  return "";
}

// The IDF reader averages the values of its "word value" lines and requires
// the average to be positive.
std::string IdfProblem(std::string_view text) {
  std::vector<std::string_view> fields;
  double sum = 0.0;
  ForEachLine(text, [&](std::string_view line) {
    SplitFields(line, " ", fields);
    if (fields.size() == 2) sum += FieldValue(fields[1]);
    return true;
  });
  return sum > 0.0 ? "" : "no positive values";
}

// The stop words must hold at least one line.
std::string NonEmptyProblem(std::string_view text) { return text.empty() ? "empty file" : ""; }

// The user dictionary accepts any line.
std::string NoProblem(std::string_view) { return ""; }

using FileCheck = std::string (*)(std::string_view);

// The checks in the order of the five files.
const FileCheck kFileChecks[] = {MainDictProblem, HmmModelProblem, NoProblem, IdfProblem, NonEmptyProblem};

// Read in text mode, as the library reads: what is checked is what it gets.
// Whole, through the stream buffer, not character by character.
bool ReadWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path);
  if (!in.is_open()) return false;
  std::ostringstream contents;
  if (in.peek() != std::ifstream::traits_type::eof()) contents << in.rdbuf();
  text = std::move(contents).str();
  return !in.bad();
}

// The loader reads the user dictionary setting as a list split at "|" and
// ";", so such a directory would make it open a path that does not exist.
bool IsListSafePath(const std::string& dir) { return dir.find_first_of("|;") == std::string::npos; }

// Every file opens through the path the library will be given.
bool OpensThere(const std::string& library_dir) {
  return IsListSafePath(library_dir) &&
         std::all_of(std::begin(kJiebaDictFiles), std::end(kJiebaDictFiles),
                     [&](const char* name) { return std::ifstream(JoinPath(library_dir, name)).is_open(); });
}

}  // namespace

std::string ReadJiebaDictionary(const std::string& dir, JiebaDictionaryBytes& bytes) {
  if (!IsListSafePath(dir)) return "the path holds \"|\" or \";\"";
  for (std::size_t i = 0; i < bytes.files.size(); ++i) {
    if (!ReadWholeFile(JoinPath(dir, kJiebaDictFiles[i]), bytes.files[i]))
      return std::string(kJiebaDictFiles[i]) + ": cannot be opened";
  }
  return "";
}

std::string FindJiebaDictionaryProblem(const JiebaDictionaryBytes& bytes) {
  for (std::size_t i = 0; i < bytes.files.size(); ++i) {
    const std::string problem = kFileChecks[i](bytes.files[i]);
    if (!problem.empty()) return std::string(kJiebaDictFiles[i]) + ": " + problem;
  }
  return "";
}

std::string FindJiebaDictionaryProblem(const std::string& dir) {
  JiebaDictionaryBytes bytes;
  std::string problem = ReadJiebaDictionary(dir, bytes);
  return problem.empty() ? FindJiebaDictionaryProblem(bytes) : problem;
}

JiebaDictionaryBytes ReadCheckedJiebaDictionary(const std::string& display_dir,
                                                const std::string& library_dir) {
  if (!HasJiebaDictionary(display_dir))
    throw std::runtime_error("invalid Jieba dict directory: " + display_dir);
  JiebaDictionaryBytes bytes;
  std::string problem = ReadJiebaDictionary(library_dir, bytes);
  if (problem.empty()) problem = FindJiebaDictionaryProblem(bytes);
  if (!problem.empty())
    throw std::runtime_error("invalid Jieba dictionary in " + display_dir + ": " + problem);
  return bytes;
}

void CheckJiebaDictionary(const std::string& display_dir, const std::string& library_dir) {
  ReadCheckedJiebaDictionary(display_dir, library_dir);
}

std::optional<PrivateFolder> PrivateJiebaCopy(const JiebaDictionaryBytes& bytes) {
  std::optional<PrivateFolder> folder = PrivateFolder::Create("jieba_load");
  if (!folder) return std::nullopt;
  for (std::size_t i = 0; i < bytes.files.size(); ++i) {
    if (!folder->WriteFile(kJiebaDictFiles[i], bytes.files[i])) return std::nullopt;
  }
  if (!OpensThere(ToLibraryPath(folder->path()))) return std::nullopt;
  return folder;
}

}  // namespace quirvel
