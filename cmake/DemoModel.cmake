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
