# ONNX models the build generates with quirvel-modelgen, for tests, benchmarks and
# fuzzers. They live in the build tree, never in git.

# The demo embedding model (model.onnx and its vocab.txt, written by
# quirvel-modelgen from the Jieba dictionary) in QUIRVEL_DEMO_MODEL_DIR, behind
# the custom target quirvel_demo_model. Tests, benchmarks and fuzzers that run a
# real model call quirvel_demo_model() and depend on that target. The model is
# the same in every tree: the test command generates it in its first tree and
# hands it to the others with QUIRVEL_SHARED_DEMO_MODEL.
set(QUIRVEL_SHARED_DEMO_MODEL "" CACHE PATH
  "Folder holding the demo model another build tree generated (empty: this tree generates its own)")
if(QUIRVEL_SHARED_DEMO_MODEL)
  set(QUIRVEL_DEMO_MODEL_DIR "${QUIRVEL_SHARED_DEMO_MODEL}")
else()
  set(QUIRVEL_DEMO_MODEL_DIR "${PROJECT_BINARY_DIR}/demo_model")
endif()
function(quirvel_demo_model)
  if(TARGET quirvel_demo_model)
    return()
  endif()
  if(QUIRVEL_SHARED_DEMO_MODEL)
    add_custom_target(quirvel_demo_model)
    return()
  endif()
  set(_dir "${QUIRVEL_DEMO_MODEL_DIR}")
  add_custom_command(
    OUTPUT "${_dir}/model.onnx" "${_dir}/vocab.txt"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${_dir}"
    COMMAND quirvel-modelgen demo "${_dir}" --jieba-dict "${QUIRVEL_JIEBA_DICT_FALLBACK}"
    DEPENDS quirvel-modelgen
    COMMENT "Generating the demo model in ${_dir}"
    VERBATIM)
  add_custom_target(quirvel_demo_model DEPENDS "${_dir}/model.onnx" "${_dir}/vocab.txt")
endfunction()

# quirvel_test_model(DIR FILES_VAR NAME generator-options...): generates NAME.onnx
# into DIR at build time with quirvel-modelgen and appends it to FILES_VAR.
function(quirvel_test_model dir files_var name)
  set(_out "${dir}/${name}.onnx")
  add_custom_command(OUTPUT "${_out}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${dir}"
    COMMAND quirvel-modelgen model "${_out}" ${ARGN}
    DEPENDS quirvel-modelgen
    COMMENT "Generating test model ${name}.onnx" VERBATIM)
  set(${files_var} ${${files_var}} "${_out}" PARENT_SCOPE)
endfunction()
