# The Wine benchmark: sends through the real platform layer to a receiver
# process, beside a bare Win32 sender, and the index's 32-bit costs. Run by
# `./run bench`; not a test.
add_executable(bench_receiver tests/bench/copydata_receiver.cpp)
target_link_libraries(bench_receiver PRIVATE user32)
target_link_options(bench_receiver PRIVATE ${static_runtime})

add_executable(wine_bench tests/bench/wine_bench.cpp tests/bench/index_before.cpp)
target_compile_definitions(wine_bench PRIVATE BENCH_RECEIVER_EXE="$<TARGET_FILE:bench_receiver>")
target_link_libraries(wine_bench PRIVATE vidudude_platform viewer_sim_core)
target_link_options(wine_bench PRIVATE ${static_runtime})
add_dependencies(wine_bench bench_receiver)
