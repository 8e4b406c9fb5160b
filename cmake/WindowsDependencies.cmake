# The worker's dependencies when it is cross-built for 64-bit Windows
# (cmake/mingw-w64-x86_64.cmake): the DLLs and headers that scripts/bootstrap.sh
# put into third_party/windows/, the header-only libraries from the folders the
# Linux build uses, and the platform-independent resource files (OpenCC's
# dictionaries and configurations, Jieba's dictionary) from the Linux system.

set(_win "${QUIRVEL_WINDOWS_PREFIX}")
if(NOT EXISTS "${_win}/bin/onnxruntime.dll" OR NOT EXISTS "${_win}/bin/opencc.dll")
  message(FATAL_ERROR "${_win} is incomplete: run scripts/bootstrap.sh first")
endif()
set(_tp "${QUIRVEL_THIRD_PARTY_DIR}")

# MinGW links a DLL directly, without an import library.
add_library(onnxruntime::onnxruntime SHARED IMPORTED GLOBAL)
set_target_properties(onnxruntime::onnxruntime PROPERTIES
  IMPORTED_LOCATION "${_win}/bin/onnxruntime.dll"
  IMPORTED_IMPLIB "${_win}/bin/onnxruntime.dll")

add_library(opencc::opencc SHARED IMPORTED GLOBAL)
set_target_properties(opencc::opencc PROPERTIES
  IMPORTED_LOCATION "${_win}/bin/opencc.dll"
  IMPORTED_IMPLIB "${_win}/lib/libopencc.dll.a"
  INTERFACE_INCLUDE_DIRECTORIES "${_win}/include")

# The two DLLs the worker's folder carries, for the copy beside the executable
# and for the install rules.
set(QUIRVEL_RUNTIME_LIBRARIES "${_win}/bin/onnxruntime.dll" "${_win}/bin/opencc.dll")
set(QUIRVEL_RUNTIME_LICENSES "${_win}/licenses/OpenCC-LICENSE.txt" "${_win}/licenses/marisa-COPYING.md")

add_library(cppjieba INTERFACE)
target_include_directories(cppjieba SYSTEM INTERFACE "${_tp}/cppjieba/include" "${_tp}/limonp/include")
add_library(cppjieba::cppjieba ALIAS cppjieba)

add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE "${_win}/include")
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)
add_library(rapidjson INTERFACE)
target_include_directories(rapidjson SYSTEM INTERFACE "${_win}/include")
find_package(Threads REQUIRED)

# Resource files are the same on every platform: the build lays out Debian's
# OpenCC files and the Jieba dictionary beside the executable as on Linux, and
# the compiled-in fallbacks name the same build-machine folders.
set(QUIRVEL_JIEBA_DICT_FALLBACK "${_tp}/cppjieba/dict")
find_path(QUIRVEL_OPENCC_SHARE_DIR tw2sp.json PATHS /usr/share/opencc NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
