# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (the posix thread
# variant: the win32 one has no std::mutex).
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Libraries and headers are looked up only under QUIRVEL_WINDOWS_PREFIX (the
# folder scripts/bootstrap.sh fills), never among the Linux system's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${_triple}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_triple}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_triple}-windres)

get_filename_component(_repo "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(QUIRVEL_WINDOWS_PREFIX "${_repo}/third_party/windows" CACHE PATH
    "Windows builds of the worker's libraries, filled by scripts/bootstrap.sh")
set(CMAKE_FIND_ROOT_PATH "/usr/${_triple}" "${QUIRVEL_WINDOWS_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
