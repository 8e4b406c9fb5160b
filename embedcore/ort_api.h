// The worker's own declarations of the part of ONNX Runtime's C interface that the
// embedding core calls, reached through the library's function table (API version 14),
// plus move-only owners for every object it hands out and one place that turns an
// error status into an exception.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
// Opaque library objects, only ever used through pointers.
struct OrtEnv;
struct OrtStatus;
struct OrtMemoryInfo;
struct OrtSession;
struct OrtValue;
struct OrtRunOptions;
struct OrtTypeInfo;
struct OrtTensorTypeAndShapeInfo;
struct OrtSessionOptions;
struct OrtModelMetadata;
struct OrtApi;  // reached by slot index only

#ifdef _WIN32
#define QUIRVEL_ORT_CALL __stdcall
using OrtPathChar = wchar_t;
#else
#define QUIRVEL_ORT_CALL
using OrtPathChar = char;
#endif

struct OrtApiBase {
  const OrtApi*(QUIRVEL_ORT_CALL* GetApi)(std::uint32_t version);
  const char*(QUIRVEL_ORT_CALL* GetVersionString)();
};

struct OrtAllocator {
  std::uint32_t version;
  void*(QUIRVEL_ORT_CALL* Alloc)(OrtAllocator* self, std::size_t size);
  void(QUIRVEL_ORT_CALL* Free)(OrtAllocator* self, void* p);
  const OrtMemoryInfo*(QUIRVEL_ORT_CALL* Info)(const OrtAllocator* self);
};

const OrtApiBase* QUIRVEL_ORT_CALL OrtGetApiBase();
}

namespace quirvel::ort {

inline constexpr std::uint32_t kApiVersion = 14;

enum OrtLoggingLevel : std::int32_t { ORT_LOGGING_LEVEL_WARNING = 2, ORT_LOGGING_LEVEL_ERROR = 3 };
enum OrtErrorCode : std::int32_t { ORT_OK = 0, ORT_FAIL = 1, ORT_INVALID_ARGUMENT = 2, ORT_NO_SUCHFILE = 3 };
enum ExecutionMode : std::int32_t { ORT_SEQUENTIAL = 0, ORT_PARALLEL = 1 };
enum GraphOptimizationLevel : std::int32_t { ORT_DISABLE_ALL = 0, ORT_ENABLE_ALL = 99 };
enum OrtAllocatorType : std::int32_t { OrtDeviceAllocator = 0, OrtArenaAllocator = 1 };
enum OrtMemType : std::int32_t { OrtMemTypeDefault = 0 };
enum OrtLanguageProjection : std::int32_t { ORT_PROJECTION_C = 0, ORT_PROJECTION_CPLUSPLUS = 1 };
enum ONNXTensorElementDataType : std::int32_t {
  ONNX_TENSOR_ELEMENT_DATA_TYPE_UNDEFINED = 0,
  ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT = 1,
  ONNX_TENSOR_ELEMENT_DATA_TYPE_INT64 = 7,
  ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT16 = 10,
};

// An error status from the library, with its message and code.
class OrtError : public std::runtime_error {
 public:
  OrtError(const std::string& message, OrtErrorCode code) : std::runtime_error(message), code_(code) {}
  OrtErrorCode code() const { return code_; }

 private:
  OrtErrorCode code_;
};

// The functions the worker calls, each taken from its slot of the table.
struct Functions {
  OrtErrorCode(QUIRVEL_ORT_CALL* GetErrorCode)(const OrtStatus*);
  const char*(QUIRVEL_ORT_CALL* GetErrorMessage)(const OrtStatus*);
  OrtStatus*(QUIRVEL_ORT_CALL* CreateEnv)(OrtLoggingLevel, const char*, OrtEnv**);
  OrtStatus*(QUIRVEL_ORT_CALL* CreateSession)(const OrtEnv*, const OrtPathChar*, const OrtSessionOptions*,
                                              OrtSession**);
  OrtStatus*(QUIRVEL_ORT_CALL* Run)(OrtSession*, const OrtRunOptions*, const char* const*,
                                    const OrtValue* const*, std::size_t, const char* const*, std::size_t,
                                    OrtValue**);
  OrtStatus*(QUIRVEL_ORT_CALL* CreateSessionOptions)(OrtSessionOptions**);
  OrtStatus*(QUIRVEL_ORT_CALL* SetSessionExecutionMode)(OrtSessionOptions*, ExecutionMode);
  OrtStatus*(QUIRVEL_ORT_CALL* SetSessionGraphOptimizationLevel)(OrtSessionOptions*, GraphOptimizationLevel);
  OrtStatus*(QUIRVEL_ORT_CALL* SetIntraOpNumThreads)(OrtSessionOptions*, int);
  OrtStatus*(QUIRVEL_ORT_CALL* SetInterOpNumThreads)(OrtSessionOptions*, int);
  OrtStatus*(QUIRVEL_ORT_CALL* SessionGetInputCount)(const OrtSession*, std::size_t*);
  OrtStatus*(QUIRVEL_ORT_CALL* SessionGetOutputCount)(const OrtSession*, std::size_t*);
  OrtStatus*(QUIRVEL_ORT_CALL* SessionGetInputTypeInfo)(const OrtSession*, std::size_t, OrtTypeInfo**);
  OrtStatus*(QUIRVEL_ORT_CALL* SessionGetOutputTypeInfo)(const OrtSession*, std::size_t, OrtTypeInfo**);
  OrtStatus*(QUIRVEL_ORT_CALL* SessionGetInputName)(const OrtSession*, std::size_t, OrtAllocator*, char**);
  OrtStatus*(QUIRVEL_ORT_CALL* SessionGetOutputName)(const OrtSession*, std::size_t, OrtAllocator*, char**);
  OrtStatus*(QUIRVEL_ORT_CALL* CreateTensorWithDataAsOrtValue)(const OrtMemoryInfo*, void*, std::size_t,
                                                               const std::int64_t*, std::size_t,
                                                               ONNXTensorElementDataType, OrtValue**);
  OrtStatus*(QUIRVEL_ORT_CALL* GetTensorMutableData)(OrtValue*, void**);
  OrtStatus*(QUIRVEL_ORT_CALL* CastTypeInfoToTensorInfo)(const OrtTypeInfo*,
                                                         const OrtTensorTypeAndShapeInfo**);
  OrtStatus*(QUIRVEL_ORT_CALL* GetTensorElementType)(const OrtTensorTypeAndShapeInfo*,
                                                     ONNXTensorElementDataType*);
  OrtStatus*(QUIRVEL_ORT_CALL* GetDimensionsCount)(const OrtTensorTypeAndShapeInfo*, std::size_t*);
  OrtStatus*(QUIRVEL_ORT_CALL* GetDimensions)(const OrtTensorTypeAndShapeInfo*, std::int64_t*, std::size_t);
  OrtStatus*(QUIRVEL_ORT_CALL* GetTensorTypeAndShape)(const OrtValue*, OrtTensorTypeAndShapeInfo**);
  OrtStatus*(QUIRVEL_ORT_CALL* CreateCpuMemoryInfo)(OrtAllocatorType, OrtMemType, OrtMemoryInfo**);
  OrtStatus*(QUIRVEL_ORT_CALL* AllocatorFree)(OrtAllocator*, void*);
  OrtStatus*(QUIRVEL_ORT_CALL* GetAllocatorWithDefaultOptions)(OrtAllocator**);
  void(QUIRVEL_ORT_CALL* ReleaseEnv)(OrtEnv*);
  void(QUIRVEL_ORT_CALL* ReleaseStatus)(OrtStatus*);
  void(QUIRVEL_ORT_CALL* ReleaseMemoryInfo)(OrtMemoryInfo*);
  void(QUIRVEL_ORT_CALL* ReleaseSession)(OrtSession*);
  void(QUIRVEL_ORT_CALL* ReleaseValue)(OrtValue*);
  void(QUIRVEL_ORT_CALL* ReleaseTypeInfo)(OrtTypeInfo*);
  void(QUIRVEL_ORT_CALL* ReleaseTensorTypeAndShapeInfo)(OrtTensorTypeAndShapeInfo*);
  void(QUIRVEL_ORT_CALL* ReleaseSessionOptions)(OrtSessionOptions*);
  OrtStatus*(QUIRVEL_ORT_CALL* SessionGetModelMetadata)(const OrtSession*, OrtModelMetadata**);
  OrtStatus*(QUIRVEL_ORT_CALL* ModelMetadataLookupCustomMetadataMap)(const OrtModelMetadata*, OrtAllocator*,
                                                                     const char* key, char** value);
  void(QUIRVEL_ORT_CALL* ReleaseModelMetadata)(OrtModelMetadata*);
  OrtStatus*(QUIRVEL_ORT_CALL* SetLanguageProjection)(const OrtEnv*, OrtLanguageProjection);
  OrtStatus*(QUIRVEL_ORT_CALL* AddSessionConfigEntry)(OrtSessionOptions*, const char* key, const char* value);
};

// The table of API version 14, fetched once; throws when the library refuses it.
const Functions& Api();
// The library's own version text, e.g. "1.30.0".
std::string VersionString();
// Takes ownership of a status: null returns, anything else throws OrtError.
void Check(OrtStatus* status);

struct Releaser {
  void operator()(OrtEnv* p) const { Api().ReleaseEnv(p); }
  void operator()(OrtMemoryInfo* p) const { Api().ReleaseMemoryInfo(p); }
  void operator()(OrtSession* p) const { Api().ReleaseSession(p); }
  void operator()(OrtValue* p) const { Api().ReleaseValue(p); }
  void operator()(OrtTypeInfo* p) const { Api().ReleaseTypeInfo(p); }
  void operator()(OrtTensorTypeAndShapeInfo* p) const { Api().ReleaseTensorTypeAndShapeInfo(p); }
  void operator()(OrtSessionOptions* p) const { Api().ReleaseSessionOptions(p); }
  void operator()(OrtModelMetadata* p) const { Api().ReleaseModelMetadata(p); }
};

template <typename T>
using Owned = std::unique_ptr<T, Releaser>;
using Env = Owned<OrtEnv>;
using SessionOptions = Owned<OrtSessionOptions>;
using Session = Owned<OrtSession>;
using Value = Owned<OrtValue>;
using MemoryInfo = Owned<OrtMemoryInfo>;
using TypeInfo = Owned<OrtTypeInfo>;
using TensorInfo = Owned<OrtTensorTypeAndShapeInfo>;

// A string the library allocated with the default allocator.
struct AllocatorString {
  OrtAllocator* allocator = nullptr;
  void operator()(char* p) const;
};
using OwnedName = std::unique_ptr<char, AllocatorString>;

Env CreateEnv(OrtLoggingLevel level, const char* log_id);
SessionOptions CreateSessionOptions();
// Strict UTF-8 check first ("invalid UTF-8 path"); Windows hands the library UTF-16.
Session CreateSession(const OrtEnv* env, const std::string& utf8_path, const OrtSessionOptions* options);
OrtAllocator* DefaultAllocator();
OwnedName InputName(const OrtSession* session, std::size_t index, OrtAllocator* allocator);
OwnedName OutputName(const OrtSession* session, std::size_t index, OrtAllocator* allocator);
std::size_t InputCount(const OrtSession* session);
// The value the model's custom metadata holds under `key`; null when it holds none.
OwnedName CustomMetadata(const OrtSession* session, const char* key, OrtAllocator* allocator);
std::size_t OutputCount(const OrtSession* session);

// Declared element type and shape of a tensor; symbolic dimensions read -1.
struct TensorShape {
  ONNXTensorElementDataType element_type = ONNX_TENSOR_ELEMENT_DATA_TYPE_UNDEFINED;
  std::vector<std::int64_t> dims;
};
TensorShape DescribeTensor(const OrtTensorTypeAndShapeInfo* info);
TensorShape OutputShape(const OrtSession* session, std::size_t index);
TensorShape InputShape(const OrtSession* session, std::size_t index);
TensorShape ValueShape(const OrtValue* value);
// ONNX Runtime's name of a tensor type, e.g. "tensor(int64)".
std::string TensorTypeName(ONNXTensorElementDataType type);

MemoryInfo CreateCpuMemoryInfo();
// Wraps the caller's buffer without copying: it must outlive the value.
Value WrapInt64Tensor(const OrtMemoryInfo* info, std::int64_t* data, std::size_t count,
                      const std::int64_t* shape, std::size_t rank);
// A tensor of any element type with no elements (an empty cache input); the
// library still wants a data pointer, which it never reads.
Value EmptyTensor(const OrtMemoryInfo* info, ONNXTensorElementDataType type, const std::int64_t* shape,
                  std::size_t rank);
float* FloatData(OrtValue* value);
// The raw IEEE 754 half-precision values of a float16 tensor.
const std::uint16_t* Float16Data(OrtValue* value);
// Widens one IEEE 754 half-precision value (subnormals, infinities and NaN included).
float Float16ToFloat(std::uint16_t half);

}  // namespace quirvel::ort
