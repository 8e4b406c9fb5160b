#include "keywords/jieba_dictionary.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <vector>

#include <cppjieba/Unicode.hpp>
#include <limonp/StringUtil.hpp>

#include "host/resources.h"

namespace quirvel {
namespace {

// The checks split lines with the library's own helpers, so that a line
// passes here exactly when the loader would accept it.
std::size_t CountFields(const std::string& line, const char* separators) {
  std::vector<std::string> fields;
  limonp::Split(line, fields, separators);
  return fields.size();
}

// Every line of the main dictionary is "word frequency tag" with a positive
// frequency (the weights are logarithms of it); an empty line is refused as
// well, and so is a dictionary without words.
std::string MainDictProblem(std::ifstream& in) {
  std::string line;
  std::vector<std::string> fields;
  std::size_t line_number = 0;
  while (std::getline(in, line)) {
    ++line_number;
    limonp::Split(line, fields, " ");
    if (fields.size() != 3 || !(std::atof(fields[1].c_str()) > 0.0)) {
      return "line " + std::to_string(line_number) + " is not \"word frequency tag\"";
    }
  }
  return line_number == 0 ? "no words" : "";
}

// The model reader skips blank lines and "#" comments.
bool NextModelLine(std::ifstream& in, std::string& line) {
  while (std::getline(in, line)) {
    limonp::Trim(line);
    if (!line.empty() && line[0] != '#') return true;
  }
  return false;
}

// Decoded the way the model reader decodes its keys.
bool IsOneCharacter(const std::string& key) {
  return !key.empty() && cppjieba::DecodeUTF8ToRune(key.data(), key.size()).len == key.size();
}

// "char:probability" pairs separated by commas, each key one character.
bool IsEmissionLine(const std::string& line) {
  std::vector<std::string> pairs;
  limonp::Split(line, pairs, ",");
  for (const std::string& pair : pairs) {
    std::vector<std::string> parts;
    limonp::Split(pair, parts, ":");
    if (parts.size() != 2 || !IsOneCharacter(parts[0])) return false;
  }
  return true;
}

// Four state lines of four probabilities (start, then one transition row per
// state), then four emission lines.
std::string HmmModelProblem(std::ifstream& in) {
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
std::string IdfProblem(std::ifstream& in) {
  std::string line;
  std::vector<std::string> fields;
  double sum = 0.0;
  while (std::getline(in, line)) {
    limonp::Split(line, fields, " ");
    if (fields.size() == 2) sum += std::atof(fields[1].c_str());
  }
  return sum > 0.0 ? "" : "no positive values";
}

// The stop words must hold at least one line.
std::string NonEmptyProblem(std::ifstream& in) {
  std::string line;
  return std::getline(in, line) ? "" : "empty file";
}

// The user dictionary accepts any line.
std::string NoProblem(std::ifstream&) { return ""; }

using FileCheck = std::string (*)(std::ifstream&);

std::string FileProblem(const std::string& dir, const char* name, FileCheck check) {
  const std::string path = JoinPath(dir, name);
  std::ifstream in(path);
  if (!in.is_open()) return std::string(name) + ": cannot be opened";
  const std::string problem = check(in);
  return problem.empty() ? "" : std::string(name) + ": " + problem;
}

}  // namespace

std::string FindJiebaDictionaryProblem(const std::string& dir) {
  // The loader reads the user dictionary setting as a list split at "|" and
  // ";", so such a directory would make it open a path that does not exist.
  if (dir.find_first_of("|;") != std::string::npos) return "the path holds \"|\" or \";\"";
  const std::pair<const char*, FileCheck> files[] = {{kJiebaMainDictFile, MainDictProblem},
                                                     {kJiebaHmmModelFile, HmmModelProblem},
                                                     {kJiebaUserDictFile, NoProblem},
                                                     {kJiebaIdfFile, IdfProblem},
                                                     {kJiebaStopWordsFile, NonEmptyProblem}};
  for (const auto& [name, check] : files) {
    std::string problem = FileProblem(dir, name, check);
    if (!problem.empty()) return problem;
  }
  return "";
}

void CheckJiebaDictionary(const std::string& display_dir, const std::string& library_dir) {
  if (!HasJiebaDictionary(display_dir))
    throw std::runtime_error("invalid Jieba dict directory: " + display_dir);
  const std::string problem = FindJiebaDictionaryProblem(library_dir);
  if (!problem.empty())
    throw std::runtime_error("invalid Jieba dictionary in " + display_dir + ": " + problem);
}

}  // namespace quirvel
