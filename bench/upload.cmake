# The floor of a one-write-per-byte exchange on a line (both builds; bench/upload_bench.sh
# runs it beside full uploads).
add_executable(bench_line_writes ${CMAKE_CURRENT_LIST_DIR}/line_writes_bench.cpp)
target_link_libraries(bench_line_writes PRIVATE zorv_flash)
zorv_link_resources(bench_line_writes)
