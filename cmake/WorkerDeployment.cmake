# The worker executable as it ships: linked for its platform, with the shared
# libraries it loads beside it, and the install rules and CPack settings that
# lay out one self-contained folder (scripts/package.sh drives them).
#
# Included from host/CMakeLists.txt after the quirvel-worker target exists.

set(_package_dir "${PROJECT_SOURCE_DIR}/cmake/package")

if(WIN32)
  # main.cpp defines wmain, so the arguments arrive as UTF-16; -static puts
  # libstdc++, libgcc and winpthread inside the .exe, so only the two DLLs of
  # the libraries travel with it.
  target_link_options(quirvel-worker PRIVATE -municode -static)
  add_custom_command(TARGET quirvel-worker POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${QUIRVEL_RUNTIME_LIBRARIES} "$<TARGET_FILE_DIR:quirvel-worker>/"
    VERBATIM)
  set(_platform windows)
  set(_licenses ${QUIRVEL_RUNTIME_LICENSES}
    "/usr/share/doc/mingw-w64-x86-64-dev/copyright=mingw-w64-runtime-copyright.txt")
else()
  # The folder carries Debian's OpenCC and marisa beside the worker. An RPATH
  # (not RUNPATH) of $ORIGIN also serves the libraries' own dependencies, so
  # libopencc finds the libmarisa beside it.
  target_link_options(quirvel-worker PRIVATE -Wl,--disable-new-dtags)
  set_target_properties(quirvel-worker PROPERTIES INSTALL_RPATH "$ORIGIN")
  find_library(QUIRVEL_MARISA_LIBRARY NAMES libmarisa.so.0 REQUIRED)
  get_filename_component(_opencc_real "${OPENCC_LIBRARY}" REALPATH)
  get_filename_component(_marisa_real "${QUIRVEL_MARISA_LIBRARY}" REALPATH)
  install(FILES "${_opencc_real}" DESTINATION . RENAME libopencc.so.1.1)
  install(FILES "${_marisa_real}" DESTINATION . RENAME libmarisa.so.0)
  set(_platform linux)
  set(_licenses
    "/usr/share/doc/libopencc1.1/copyright=OpenCC-copyright.txt"
    "/usr/share/doc/libmarisa0/copyright=marisa-copyright.txt")
endif()
list(APPEND _licenses
  "${_package_dir}/onnxruntime-LICENSE.txt=onnxruntime-LICENSE.txt"
  "${QUIRVEL_THIRD_PARTY_DIR}/cppjieba/LICENSE=cppjieba-LICENSE.txt"
  "${QUIRVEL_THIRD_PARTY_DIR}/limonp/LICENSE=limonp-LICENSE.txt"
  "/usr/share/doc/nlohmann-json3-dev/copyright=nlohmann-json-copyright.txt"
  "/usr/share/doc/rapidjson-dev/copyright=rapidjson-copyright.txt")

# One flat folder: the worker, its libraries, opencc/, jieba_dict/,
# default_model/ (scripts/package.sh puts it into the tree first), licenses/.
install(TARGETS quirvel-worker RUNTIME DESTINATION .)
install(FILES ${QUIRVEL_RUNTIME_LIBRARIES} DESTINATION .)
install(FILES ${_quirvel_opencc_files} DESTINATION opencc)
install(FILES ${_quirvel_jieba_files} DESTINATION jieba_dict)
install(DIRECTORY "${CMAKE_BINARY_DIR}/default_model/" DESTINATION default_model OPTIONAL
  FILES_MATCHING PATTERN "model.onnx" PATTERN "tokenizer.json" PATTERN "README.md")
install(FILES "${PROJECT_SOURCE_DIR}/tools/default_model/LICENSE.txt" DESTINATION licenses
  RENAME default_model-LICENSE.txt)
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION licenses RENAME quirvel-worker-LICENSE.txt)
install(FILES "${_package_dir}/README-${_platform}.txt" DESTINATION . RENAME README.txt)
foreach(_license IN LISTS _licenses)
  if(_license MATCHES "^(.*)=(.*)$")
    install(FILES "${CMAKE_MATCH_1}" DESTINATION licenses RENAME "${CMAKE_MATCH_2}")
  else()
    install(FILES "${_license}" DESTINATION licenses)
  endif()
endforeach()

set(CPACK_PACKAGE_NAME quirvel-worker)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "quirvel-worker-${PROJECT_VERSION}-${_platform}-x86_64")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_SOURCE_DIR}/dist")
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
