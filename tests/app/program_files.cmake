# The Windows programs' files as a Windows PC sees them (program_file_check.py: objdump -p
# on the build machine, no wine, so the 32-bit tree runs it too): processor, subsystem,
# Windows 7 and later, system DLLs only, the resources and the manifest.
if(ZORV_WINDOWS)
  if(NOT CMAKE_OBJDUMP)
    message(FATAL_ERROR "No objdump of the Windows tool chain (binutils-mingw-w64)")
  endif()
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(_machine i386)
  else()
    set(_machine x86-64)
  endif()
  foreach(_program zorvboot:gui zorvflash:console)
    string(REPLACE ":" ";" _p ${_program})
    list(GET _p 0 _target)
    list(GET _p 1 _subsystem)
    add_test(NAME ProgramFile.${_target}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/program_file_check.py
                     --objdump ${CMAKE_OBJDUMP} --machine ${_machine} --subsystem ${_subsystem}
                     $<TARGET_FILE:${_target}>)
    set_tests_properties(ProgramFile.${_target} PROPERTIES TIMEOUT 60)
  endforeach()
endif()
