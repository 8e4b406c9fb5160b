// A private temporary folder per test, removed afterwards, with helpers to
// lay out resource files inside it.
#pragma once

#include <string>

namespace quirvel::test {

class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  // root/relative, created with its parents.
  std::string MakeDir(const std::string& relative) const;
  // root/relative holding `content`; parents are created.
  std::string WriteFile(const std::string& relative, const std::string& content = "x") const;

 private:
  std::string root_;
};

// Sets or unsets an environment variable for the rest of the process.
void SetEnv(const char* name, const char* value);

}  // namespace quirvel::test
