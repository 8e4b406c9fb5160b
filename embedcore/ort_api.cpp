#include "embedcore/ort_api.h"

#include <cmath>
#include <limits>

#include "host/encodings.h"

namespace quirvel::ort {
namespace {

using AnySlot = void (*)();

// The library's table is an array of function pointers; version 14 keeps every
// slot the worker uses at a fixed index (the table only ever grows at its end).
template <typename Fn>
void Bind(Fn& target, const OrtApi* table, std::size_t slot) {
  const auto* slots = reinterpret_cast<const AnySlot*>(table);
  target = reinterpret_cast<Fn>(slots[slot]);
}

Functions LoadFunctions(const OrtApi* t) {
  Functions f{};
  Bind(f.GetErrorCode, t, 1);
  Bind(f.GetErrorMessage, t, 2);
  Bind(f.CreateEnv, t, 3);
  Bind(f.CreateSession, t, 7);
  Bind(f.Run, t, 9);
  Bind(f.CreateSessionOptions, t, 10);
  Bind(f.SetSessionExecutionMode, t, 13);
  Bind(f.SetSessionGraphOptimizationLevel, t, 23);
  Bind(f.SetIntraOpNumThreads, t, 24);
  Bind(f.SetInterOpNumThreads, t, 25);
  Bind(f.SessionGetInputCount, t, 30);
  Bind(f.SessionGetOutputCount, t, 31);
  Bind(f.SessionGetInputTypeInfo, t, 33);
  Bind(f.SessionGetOutputTypeInfo, t, 34);
  Bind(f.SessionGetInputName, t, 36);
  Bind(f.SessionGetOutputName, t, 37);
  Bind(f.CreateTensorWithDataAsOrtValue, t, 49);
  Bind(f.GetTensorMutableData, t, 51);
  Bind(f.CastTypeInfoToTensorInfo, t, 55);
  Bind(f.GetTensorElementType, t, 60);
  Bind(f.GetDimensionsCount, t, 61);
  Bind(f.GetDimensions, t, 62);
  Bind(f.GetTensorTypeAndShape, t, 65);
  Bind(f.CreateCpuMemoryInfo, t, 69);
  Bind(f.AllocatorFree, t, 76);
  Bind(f.GetAllocatorWithDefaultOptions, t, 78);
  Bind(f.ReleaseEnv, t, 92);
  Bind(f.ReleaseStatus, t, 93);
  Bind(f.ReleaseMemoryInfo, t, 94);
  Bind(f.ReleaseSession, t, 95);
  Bind(f.ReleaseValue, t, 96);
  Bind(f.ReleaseTypeInfo, t, 98);
  Bind(f.ReleaseTensorTypeAndShapeInfo, t, 99);
  Bind(f.ReleaseSessionOptions, t, 100);
  Bind(f.SessionGetModelMetadata, t, 111);
  Bind(f.ModelMetadataLookupCustomMetadataMap, t, 116);
  Bind(f.ReleaseModelMetadata, t, 118);
  Bind(f.AddSessionConfigEntry, t, 130);
  Bind(f.SetLanguageProjection, t, 145);
  return f;
}

const Functions& LoadOnce() {
  const OrtApiBase* base = OrtGetApiBase();
  const OrtApi* table = base ? base->GetApi(kApiVersion) : nullptr;
  if (table == nullptr) throw std::runtime_error("ONNX Runtime does not serve API version 14");
  static const Functions functions = LoadFunctions(table);
  return functions;
}

}  // namespace

const Functions& Api() {
  static const Functions& functions = LoadOnce();
  return functions;
}

std::string VersionString() {
  const OrtApiBase* base = OrtGetApiBase();
  const char* text = base ? base->GetVersionString() : nullptr;
  return text ? text : "";
}

void Check(OrtStatus* status) {
  if (status == nullptr) return;
  const Functions& api = Api();
  const char* text = api.GetErrorMessage(status);
  std::string message = text ? text : "";
  const OrtErrorCode code = api.GetErrorCode(status);
  api.ReleaseStatus(status);
  throw OrtError(message, code);
}

void AllocatorString::operator()(char* p) const {
  if (p == nullptr || allocator == nullptr) return;
  OrtStatus* status = Api().AllocatorFree(allocator, p);
  if (status != nullptr) Api().ReleaseStatus(status);  // nothing sensible to do in a deleter
}

Env CreateEnv(OrtLoggingLevel level, const char* log_id) {
  OrtEnv* env = nullptr;
  Check(Api().CreateEnv(level, log_id, &env));
  return Env(env);
}

SessionOptions CreateSessionOptions() {
  OrtSessionOptions* options = nullptr;
  Check(Api().CreateSessionOptions(&options));
  return SessionOptions(options);
}

Session CreateSession(const OrtEnv* env, const std::string& utf8_path, const OrtSessionOptions* options) {
  // Checked on every platform, so a bad path gets the same message everywhere.
  const std::wstring wide = Utf8ToWide(utf8_path);
  if (wide.empty() && !utf8_path.empty()) throw std::runtime_error("invalid UTF-8 path");
  OrtSession* session = nullptr;
#ifdef _WIN32
  Check(Api().CreateSession(env, wide.c_str(), options, &session));
#else
  Check(Api().CreateSession(env, utf8_path.c_str(), options, &session));
#endif
  return Session(session);
}

OrtAllocator* DefaultAllocator() {
  OrtAllocator* allocator = nullptr;
  Check(Api().GetAllocatorWithDefaultOptions(&allocator));
  return allocator;
}

OwnedName InputName(const OrtSession* session, std::size_t index, OrtAllocator* allocator) {
  char* name = nullptr;
  Check(Api().SessionGetInputName(session, index, allocator, &name));
  return OwnedName(name, AllocatorString{allocator});
}

OwnedName OutputName(const OrtSession* session, std::size_t index, OrtAllocator* allocator) {
  char* name = nullptr;
  Check(Api().SessionGetOutputName(session, index, allocator, &name));
  return OwnedName(name, AllocatorString{allocator});
}

OwnedName CustomMetadata(const OrtSession* session, const char* key, OrtAllocator* allocator) {
  OrtModelMetadata* raw = nullptr;
  Check(Api().SessionGetModelMetadata(session, &raw));
  const Owned<OrtModelMetadata> metadata(raw);
  char* value = nullptr;
  Check(Api().ModelMetadataLookupCustomMetadataMap(metadata.get(), allocator, key, &value));
  return OwnedName(value, AllocatorString{allocator});
}

std::size_t InputCount(const OrtSession* session) {
  std::size_t count = 0;
  Check(Api().SessionGetInputCount(session, &count));
  return count;
}

std::size_t OutputCount(const OrtSession* session) {
  std::size_t count = 0;
  Check(Api().SessionGetOutputCount(session, &count));
  return count;
}

TensorShape DescribeTensor(const OrtTensorTypeAndShapeInfo* info) {
  TensorShape shape;
  Check(Api().GetTensorElementType(info, &shape.element_type));
  std::size_t rank = 0;
  Check(Api().GetDimensionsCount(info, &rank));
  shape.dims.resize(rank);
  if (rank > 0) Check(Api().GetDimensions(info, shape.dims.data(), rank));
  return shape;
}

namespace {

TensorShape DescribeTypeInfo(OrtTypeInfo* raw) {
  TypeInfo type_info(raw);
  const OrtTensorTypeAndShapeInfo* tensor_info = nullptr;  // belongs to type_info
  Check(Api().CastTypeInfoToTensorInfo(type_info.get(), &tensor_info));
  if (tensor_info == nullptr) return TensorShape{};  // not a tensor: no rank
  return DescribeTensor(tensor_info);
}

}  // namespace

TensorShape OutputShape(const OrtSession* session, std::size_t index) {
  OrtTypeInfo* raw = nullptr;
  Check(Api().SessionGetOutputTypeInfo(session, index, &raw));
  return DescribeTypeInfo(raw);
}

TensorShape InputShape(const OrtSession* session, std::size_t index) {
  OrtTypeInfo* raw = nullptr;
  Check(Api().SessionGetInputTypeInfo(session, index, &raw));
  return DescribeTypeInfo(raw);
}

TensorShape ValueShape(const OrtValue* value) {
  OrtTensorTypeAndShapeInfo* raw = nullptr;
  Check(Api().GetTensorTypeAndShape(value, &raw));
  TensorInfo info(raw);
  return DescribeTensor(info.get());
}

std::string TensorTypeName(ONNXTensorElementDataType type) {
  static const char* const kNames[] = {"undefined", "float",  "uint8",     "int8",       "uint16",  "int16",
                                       "int32",     "int64",  "string",    "bool",       "float16", "double",
                                       "uint32",    "uint64", "complex64", "complex128", "bfloat16"};
  const auto index = static_cast<std::size_t>(type);
  if (index < sizeof(kNames) / sizeof(kNames[0])) return std::string("tensor(") + kNames[index] + ")";
  return "tensor(type " + std::to_string(static_cast<int>(type)) + ")";
}

MemoryInfo CreateCpuMemoryInfo() {
  OrtMemoryInfo* info = nullptr;
  Check(Api().CreateCpuMemoryInfo(OrtArenaAllocator, OrtMemTypeDefault, &info));
  return MemoryInfo(info);
}

Value WrapInt64Tensor(const OrtMemoryInfo* info, std::int64_t* data, std::size_t count,
                      const std::int64_t* shape, std::size_t rank) {
  OrtValue* value = nullptr;
  Check(Api().CreateTensorWithDataAsOrtValue(info, data, count * sizeof(std::int64_t), shape, rank,
                                             ONNX_TENSOR_ELEMENT_DATA_TYPE_INT64, &value));
  return Value(value);
}

Value EmptyTensor(const OrtMemoryInfo* info, ONNXTensorElementDataType type, const std::int64_t* shape,
                  std::size_t rank) {
  static std::int64_t unused = 0;
  OrtValue* value = nullptr;
  Check(Api().CreateTensorWithDataAsOrtValue(info, &unused, 0, shape, rank, type, &value));
  return Value(value);
}

float* FloatData(OrtValue* value) {
  void* data = nullptr;
  Check(Api().GetTensorMutableData(value, &data));
  return static_cast<float*>(data);
}

const std::uint16_t* Float16Data(OrtValue* value) {
  void* data = nullptr;
  Check(Api().GetTensorMutableData(value, &data));
  return static_cast<const std::uint16_t*>(data);
}

float Float16ToFloat(std::uint16_t half) {
  const std::uint32_t sign = (half & 0x8000u) << 16;
  const std::uint32_t exponent = (half >> 10) & 0x1Fu;
  const std::uint32_t mantissa = half & 0x3FFu;
  float magnitude = 0.0f;
  if (exponent == 0) {
    magnitude = std::ldexp(static_cast<float>(mantissa), -24);  // zero and subnormals
  } else if (exponent == 0x1F) {
    magnitude =
        mantissa == 0 ? std::numeric_limits<float>::infinity() : std::numeric_limits<float>::quiet_NaN();
  } else {
    magnitude = std::ldexp(static_cast<float>(mantissa | 0x400u), static_cast<int>(exponent) - 25);
  }
  return sign != 0 ? -magnitude : magnitude;
}

}  // namespace quirvel::ort
