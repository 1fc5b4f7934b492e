# Cost per image byte of the chain the upload runs for every byte (native builds only;
# meaningful in the native-release preset).
if(NOT ZORV_WINDOWS)
  add_executable(bench_byte_chain ${CMAKE_CURRENT_LIST_DIR}/byte_chain_bench.cpp)
  target_link_libraries(bench_byte_chain PRIVATE zorv_elements_data zorv_elements_flow)
  zorv_link_resources(bench_byte_chain)
endif()
