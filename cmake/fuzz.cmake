# libFuzzer harnesses (clang only): the logic is instrumented for coverage,
# and every harness runs briefly over its seeds as a test.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "VIDUDUDE_FUZZ needs clang++ (libFuzzer)")
endif()
if(NOT VIDUDUDE_SANITIZE)
  message(FATAL_ERROR "VIDUDUDE_FUZZ needs VIDUDUDE_SANITIZE: a fuzzer without the sanitizers only finds crashes")
endif()

target_compile_options(vidudude_logic PRIVATE -fsanitize=fuzzer-no-link)

set(VIDUDUDE_FUZZ_RUNS 30000 CACHE STRING "Inputs per harness in the test run")
set(VIDUDUDE_FUZZ_SECONDS 15 CACHE STRING "Time limit per harness in the test run")
set(fuzz_dir ${PROJECT_SOURCE_DIR}/tests/fuzz)
set(fuzz_harnesses command_fuzz lines_fuzz view_state_fuzz guid_index_fuzz)

foreach(h ${fuzz_harnesses})
  set(sources ${fuzz_dir}/${h}.cpp)
  if(h STREQUAL "command_fuzz")
    list(APPEND sources ${PROJECT_SOURCE_DIR}/tests/native/fakes.cpp)
  endif()
  add_executable(${h} ${sources})
  target_include_directories(${h} PRIVATE ${fuzz_dir} ${PROJECT_SOURCE_DIR}/tests/native)
  # The plug-in's code is instrumented in vidudude_logic. The harness's own
  # files are left out whole (the compiler matches the list against the file
  # it compiles), and with them the little plug-in code they inline from
  # headers, such as accessors and ForEachLine's loop.
  target_compile_options(${h} PRIVATE -fsanitize=fuzzer-no-link
                                      -fsanitize-coverage-ignorelist=${fuzz_dir}/coverage_ignore.txt)
  target_link_options(${h} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${h} PRIVATE vidudude_logic)

  # New inputs go to a scratch directory in the build tree; the committed
  # seeds are only read.
  set(scratch ${CMAKE_CURRENT_BINARY_DIR}/scratch/${h})
  set(artifacts ${CMAKE_CURRENT_BINARY_DIR}/artifacts)
  file(MAKE_DIRECTORY ${scratch} ${artifacts})
  set(dict)
  if(EXISTS ${fuzz_dir}/${h}.dict)
    set(dict -dict=${fuzz_dir}/${h}.dict)
  endif()
  add_test(NAME ${h}
    COMMAND ${h} -runs=${VIDUDUDE_FUZZ_RUNS} -max_total_time=${VIDUDUDE_FUZZ_SECONDS} -timeout=10
            -print_final_stats=1 ${dict} -artifact_prefix=${artifacts}/${h}- ${scratch} ${fuzz_dir}/corpus/${h}
    WORKING_DIRECTORY ${artifacts})
endforeach()

# ./run fuzz's campaign script, briefly, on a copy of one corpus.
add_test(NAME fuzz_campaign COMMAND bash ${fuzz_dir}/campaign_test.sh ${CMAKE_CURRENT_BINARY_DIR})
