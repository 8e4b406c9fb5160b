# The Jieba dictionary the worker segments with: Jieba's own files, and in
# place of cppjieba's sample user dictionary the project's dictionary of
# product words and brands (tools/default_model/user.dict.utf8, written from the
# default model's lexicon by build_user_dict.py), so that 行动电源 or 快充版
# stays one word. Laid out in the build tree; every consumer of
# QUIRVEL_JIEBA_DICT_FALLBACK (the worker's folder, packages, tests) takes it.
set(_quirvel_jieba_source "${QUIRVEL_JIEBA_DICT_FALLBACK}")
set(QUIRVEL_JIEBA_DICT_FALLBACK "${PROJECT_BINARY_DIR}/jieba_dict")
foreach(_file jieba.dict.utf8 hmm_model.utf8 idf.utf8 stop_words.utf8)
  configure_file("${_quirvel_jieba_source}/${_file}" "${QUIRVEL_JIEBA_DICT_FALLBACK}/${_file}" COPYONLY)
endforeach()
configure_file("${PROJECT_SOURCE_DIR}/tools/default_model/user.dict.utf8"
  "${QUIRVEL_JIEBA_DICT_FALLBACK}/user.dict.utf8" COPYONLY)
