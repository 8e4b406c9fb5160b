// Where the generated test models and the small vocabulary live.
#pragma once

#include <string>

#include "test_paths.h"

namespace quirvel::test {

inline std::string TestModel(const std::string& name) {
  return std::string(EMBEDCORE_TEST_MODEL_DIR) + "/" + name + ".onnx";
}

// [CLS]=101, [SEP]=102, a=103, b=104, c=105, d=106, e=107 (see the file).
inline std::string TestVocab() { return std::string(kTestDataDir) + "/embedcore/vocab.txt"; }

}  // namespace quirvel::test
