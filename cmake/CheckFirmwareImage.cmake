# zorv_check_firmware_image(<file> <largest size>): stops the configuration with a clear
# message when a real firmware image to embed is missing or larger than the device takes.
# Also runs as a script: cmake -DIMAGE=<file> -DLIMIT=<bytes> -P CheckFirmwareImage.cmake
function(zorv_check_firmware_image file limit)
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    message(FATAL_ERROR "ZORV_FIRMWARE_IMAGE: no such file: ${file}")
  endif()
  file(SIZE "${file}" size)
  if(size GREATER limit)
    message(FATAL_ERROR
      "ZORV_FIRMWARE_IMAGE: ${file} holds ${size} bytes; the device takes at most ${limit} "
      "bytes (1016 blocks of 256). Refusing to embed it.")
  endif()
  message(STATUS "Firmware image: ${file} (${size} bytes, padded with 0xFF to ${limit})")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  zorv_check_firmware_image("${IMAGE}" "${LIMIT}")
endif()
