# The pty modem-line shim (tools/ptyshim): a shared object for the machine that runs the
# tests, preloaded into wine so that waits on a pseudo-terminal behave as on a real port.
# Built with the host's C compiler in every tree; ZORV_PTYSHIM names it.
find_program(ZORV_HOST_CC NAMES cc gcc DOC "Native C compiler for the host tools")
set(_zorv_ptyshim_dir "${CMAKE_BINARY_DIR}/ptyshim")
set(ZORV_PTYSHIM "${_zorv_ptyshim_dir}/libzorvptyshim.so" CACHE INTERNAL "The pty modem-line shim")
set(_zorv_ptyshim_flags -shared -fPIC -O2 -Wall -Wextra)
if(ZORV_WERROR)
  list(APPEND _zorv_ptyshim_flags -Werror)
endif()
add_custom_command(
  OUTPUT ${ZORV_PTYSHIM}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_zorv_ptyshim_dir}
  COMMAND ${ZORV_HOST_CC} ${_zorv_ptyshim_flags} -o ${ZORV_PTYSHIM}
          ${CMAKE_CURRENT_LIST_DIR}/ptyshim/ptyshim.c -ldl -lpthread
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ptyshim/ptyshim.c
  COMMENT "Building the pty modem-line shim"
  VERBATIM)
add_custom_target(zorv_ptyshim DEPENDS ${ZORV_PTYSHIM})
