#include "embedcore/ort_api.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

namespace quirvel::ort {
namespace {

TEST(OrtApiTest, LibraryServesVersion14AndIsAtLeast1_14) {
  ASSERT_NE(OrtGetApiBase(), nullptr);
  EXPECT_NE(OrtGetApiBase()->GetApi(kApiVersion), nullptr);
  int major = 0;
  int minor = 0;
  ASSERT_EQ(std::sscanf(VersionString().c_str(), "%d.%d", &major, &minor), 2) << VersionString();
  EXPECT_TRUE(major > 1 || (major == 1 && minor >= 14)) << VersionString();
}

TEST(OrtApiTest, ErrorStatusBecomesExceptionWithMessageAndCode) {
  try {
    CreateSession(CreateEnv(ORT_LOGGING_LEVEL_ERROR, "test").get(), "/nonexistent/model.onnx",
                  CreateSessionOptions().get());
    FAIL() << "no exception";
  } catch (const OrtError& error) {
    EXPECT_EQ(error.code(), ORT_NO_SUCHFILE);
    EXPECT_NE(std::string(error.what()).find("/nonexistent/model.onnx"), std::string::npos) << error.what();
  }
}

TEST(OrtApiTest, InvalidUtf8PathIsRefusedBeforeTheLibrarySeesIt) {
  const Env env = CreateEnv(ORT_LOGGING_LEVEL_ERROR, "test");
  const SessionOptions options = CreateSessionOptions();
  try {
    CreateSession(env.get(), "/tmp/\xC0\xAF.onnx", options.get());
    FAIL() << "no exception";
  } catch (const OrtError&) {
    FAIL() << "reached the library";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "invalid UTF-8 path");
  }
}

TEST(OrtApiTest, TensorTypeNamesFollowTheLibrary) {
  EXPECT_EQ(TensorTypeName(ONNX_TENSOR_ELEMENT_DATA_TYPE_INT64), "tensor(int64)");
  EXPECT_EQ(TensorTypeName(ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT), "tensor(float)");
  EXPECT_EQ(TensorTypeName(static_cast<ONNXTensorElementDataType>(99)), "tensor(type 99)");
}

struct HalfCase {
  std::uint16_t bits;
  float value;
};

TEST(OrtApiTest, Float16WidensExactly) {
  const HalfCase cases[] = {{0x0000, 0.0f},
                            {0x3C00, 1.0f},
                            {0xC000, -2.0f},
                            {0x3555, 0.33325195f},
                            {0x7BFF, 65504.0f},
                            {0x0400, 6.1035156e-05f},
                            {0x0001, 5.9604645e-08f},
                            {0x83FF, -6.0975552e-05f},
                            {0x7C00, std::numeric_limits<float>::infinity()},
                            {0xFC00, -std::numeric_limits<float>::infinity()}};
  for (const HalfCase& c : cases) EXPECT_EQ(Float16ToFloat(c.bits), c.value) << std::hex << c.bits;
  EXPECT_TRUE(std::isnan(Float16ToFloat(0x7E00)));
  EXPECT_TRUE(std::signbit(Float16ToFloat(0x8000)));
}

}  // namespace
}  // namespace quirvel::ort
