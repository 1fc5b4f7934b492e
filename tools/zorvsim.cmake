# The device simulator zorvsim, built for the machine that runs the tests: in the native
# trees as part of the build; in the Windows tree and the 32-bit native tree as a build of
# its own with the host compiler, in build/<tree>/host-tools (a separate process on the
# other end of the line: its word size is not the flasher's). Either way, later folders
# find the executable in ZORV_ZORVSIM and make their tests depend on the target
# zorvsim_tool.
if(NOT ZORV_WINDOWS AND NOT ZORV_NATIVE32)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/zorvsim ${CMAKE_CURRENT_BINARY_DIR}/zorvsim)
  set(ZORV_ZORVSIM "${CMAKE_CURRENT_BINARY_DIR}/zorvsim/zorvsim"
      CACHE INTERNAL "The native device simulator")
  add_custom_target(zorvsim_tool)
  add_dependencies(zorvsim_tool zorvsim)
else()
  include(ExternalProject)
  find_program(ZORV_HOST_CXX NAMES c++ g++ DOC "Native C++ compiler for the host tools")
  set(_zorv_host_tools "${CMAKE_BINARY_DIR}/host-tools")
  ExternalProject_Add(zorvsim_host
    SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/zorvsim
    BINARY_DIR ${_zorv_host_tools}
    STAMP_DIR ${_zorv_host_tools}/stamp
    TMP_DIR ${_zorv_host_tools}/tmp
    CMAKE_ARGS
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_CXX_COMPILER=${ZORV_HOST_CXX}
      -DCMAKE_TOOLCHAIN_FILE=
      -DZORVSIM_WERROR=${ZORV_WERROR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${_zorv_host_tools}/zorvsim)
  set(ZORV_ZORVSIM "${_zorv_host_tools}/zorvsim" CACHE INTERNAL "The native device simulator")
  add_custom_target(zorvsim_tool)
  add_dependencies(zorvsim_tool zorvsim_host)
endif()
