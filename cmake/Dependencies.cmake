# Finds the worker's dependencies: Debian packages, and what scripts/bootstrap.sh
# unpacked into third_party/ (ONNX Runtime's shared library, cppjieba and limonp).

set(QUIRVEL_THIRD_PARTY_DIR "${PROJECT_SOURCE_DIR}/third_party" CACHE PATH
    "Folder that scripts/bootstrap.sh fills")
set(_tp "${QUIRVEL_THIRD_PARTY_DIR}")
if(WIN32)
  include("${CMAKE_CURRENT_LIST_DIR}/WindowsDependencies.cmake")
  return()
endif()
if(NOT EXISTS "${_tp}/onnxruntime/lib/libonnxruntime.so.1" OR NOT EXISTS "${_tp}/cppjieba/include/cppjieba/Jieba.hpp")
  message(FATAL_ERROR "third_party/ is incomplete: run scripts/bootstrap.sh first")
endif()

# ONNX Runtime: only the shared library; the worker declares the C ABI it uses itself.
add_library(onnxruntime::onnxruntime SHARED IMPORTED GLOBAL)
set_target_properties(onnxruntime::onnxruntime PROPERTIES
  IMPORTED_LOCATION "${_tp}/onnxruntime/lib/libonnxruntime.so.1"
  IMPORTED_SONAME "libonnxruntime.so.1")
set(QUIRVEL_ONNXRUNTIME_LIB_DIR "${_tp}/onnxruntime/lib")
# Executables find libonnxruntime.so.1 without LD_LIBRARY_PATH.
set(CMAKE_BUILD_RPATH "${QUIRVEL_ONNXRUNTIME_LIB_DIR}")
set(CMAKE_INSTALL_RPATH "$ORIGIN;$ORIGIN/../lib")
# What the worker's folder carries beside it (install rules and packages).
set(QUIRVEL_RUNTIME_LIBRARIES "${_tp}/onnxruntime/lib/libonnxruntime.so.1")

# cppjieba 5.4 and limonp: header-only.
add_library(cppjieba INTERFACE)
target_include_directories(cppjieba SYSTEM INTERFACE "${_tp}/cppjieba/include" "${_tp}/limonp/include")
add_library(cppjieba::cppjieba ALIAS cppjieba)
set(QUIRVEL_JIEBA_DICT_FALLBACK "${_tp}/cppjieba/dict")

# OpenCC from Debian.
find_path(OPENCC_INCLUDE_DIR opencc/opencc.h REQUIRED)
find_library(OPENCC_LIBRARY NAMES opencc REQUIRED)
find_path(QUIRVEL_OPENCC_SHARE_DIR tw2sp.json PATHS /usr/share/opencc /usr/local/share/opencc NO_DEFAULT_PATH REQUIRED)
add_library(opencc::opencc UNKNOWN IMPORTED GLOBAL)
set_target_properties(opencc::opencc PROPERTIES
  IMPORTED_LOCATION "${OPENCC_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${OPENCC_INCLUDE_DIR}")

find_package(nlohmann_json 3 REQUIRED)
find_path(RAPIDJSON_INCLUDE_DIR rapidjson/document.h REQUIRED)
add_library(rapidjson INTERFACE)
target_include_directories(rapidjson SYSTEM INTERFACE "${RAPIDJSON_INCLUDE_DIR}")
find_package(Threads REQUIRED)

# Debian's libonnx: protobuf classes for the project's model generator.
find_path(ONNX_PROTO_INCLUDE_DIR onnx/onnx_pb.h)
find_library(ONNX_PROTO_LIBRARY NAMES onnx_proto)
find_package(Protobuf)

if(QUIRVEL_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if(QUIRVEL_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
