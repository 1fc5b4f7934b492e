# zorv_program_resources(<target> [DESCRIPTION <text>] [ORIGINAL_NAME <file name>])
#
# Gives a Windows program (the window program, the flasher) what only a real program
# carries, beside the resources every program links (zorv_link_resources): a version
# resource (product "Zorvantique bootloader", the file description, the project version,
# the original file name, by default the target's file name) and an application manifest
# (asInvoker, classic controls, the build's processor). Does nothing in the POSIX builds.
function(zorv_program_resources target)
  if(NOT ZORV_WINDOWS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "DESCRIPTION;ORIGINAL_NAME" "" ${ARGN})
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zorv_program_resources: unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  get_target_property(_output_name ${target} OUTPUT_NAME)
  if(NOT _output_name)
    set(_output_name ${target})
  endif()
  set(ZORV_RC_INTERNAL_NAME ${_output_name})
  set(ZORV_RC_ORIGINAL_NAME "${_output_name}.exe")
  if(ARG_ORIGINAL_NAME)
    set(ZORV_RC_ORIGINAL_NAME "${ARG_ORIGINAL_NAME}")
  endif()
  set(ZORV_RC_DESCRIPTION "Zorvantique bootloader: writes the firmware into the device")
  if(ARG_DESCRIPTION)
    set(ZORV_RC_DESCRIPTION "${ARG_DESCRIPTION}")
  endif()
  # Both files are read by tools that know no escapes: keep the texts plain.
  if(ZORV_RC_DESCRIPTION MATCHES "[\"<>&\\\\]" OR ZORV_RC_ORIGINAL_NAME MATCHES "[\"<>&\\\\]")
    message(FATAL_ERROR "zorv_program_resources: quotes, <, >, & and backslashes are not allowed")
  endif()
  set(ZORV_RC_VERSION_COMMAS
      "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(ZORV_RC_VERSION_DOTS
      "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

  # The manifest's processor must be the program's: Windows refuses to start a program whose
  # manifest names another one (a side-by-side configuration error).
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(ZORV_RC_ARCHITECTURE x86)
  else()
    set(ZORV_RC_ARCHITECTURE amd64)
  endif()

  set(_dir "${CMAKE_CURRENT_BINARY_DIR}/${target}-resources")
  set(ZORV_RC_MANIFEST "${_dir}/${_output_name}.exe.manifest")
  configure_file(${CMAKE_SOURCE_DIR}/resources/program.manifest.in ${ZORV_RC_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/resources/program.rc.in ${_dir}/program.rc @ONLY)
  set_source_files_properties(${_dir}/program.rc PROPERTIES OBJECT_DEPENDS ${ZORV_RC_MANIFEST})
  target_sources(${target} PRIVATE ${_dir}/program.rc)
endfunction()
