# ONNX models the build generates with quirvel-modelgen, for tests, benchmarks and
# fuzzers. They live in the build tree, never in git.

# quirvel_demo_model(TARGET DIR): the demo embedding model (model.onnx and its
# vocab.txt, written by quirvel-modelgen from the Jieba dictionary) generated
# into DIR when first needed, behind the custom target TARGET. Tests, benchmarks
# and fuzzers that run a real model use it.
function(quirvel_demo_model target dir)
  add_custom_command(
    OUTPUT "${dir}/model.onnx" "${dir}/vocab.txt"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${dir}"
    COMMAND quirvel-modelgen demo "${dir}" --jieba-dict "${QUIRVEL_JIEBA_DICT_FALLBACK}"
    DEPENDS quirvel-modelgen
    COMMENT "Generating the demo model in ${dir}"
    VERBATIM)
  add_custom_target(${target} DEPENDS "${dir}/model.onnx" "${dir}/vocab.txt")
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
