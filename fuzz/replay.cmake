# The seed corpora as tests in every build: each fuzz target's check, fed every file of its
# corpus by fuzz/replay.cc. `corpora` is the corpus folder as the test programs name it.
function(jotlog_add_corpus_tests corpora)
  foreach(target settings utf8 picture)
    add_executable(${target}_replay ${PROJECT_SOURCE_DIR}/fuzz/${target}_fuzz.cc
                                    ${PROJECT_SOURCE_DIR}/fuzz/replay.cc)
    target_link_libraries(${target}_replay PRIVATE jotlog_fake)
    add_test(NAME ${target}_corpus COMMAND ${target}_replay ${corpora}/${target})
  endforeach()
endfunction()
