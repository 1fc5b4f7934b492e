# The window program end to end under wine (Windows tree): zorvboot.exe against the device
# simulator on a COM port, driven with real clicks through the X server and read back with
# windriver (zorvboot_window_test.py). One test per operator's session; they run one at a
# time (the display's lock) on a wine prefix of their own. Screenshots of the five screens
# land in build/<tree>/screenshots/.
if(ZORV_WINDOWS AND TARGET zorvboot)
  set(_zorvboot_cases
    # test name | method | time-out (s)
    "StartScreen|test_start_screen|300"
    "FullUpload|test_full_upload|900"
    "LowerCaseIdentifier|test_lower_case_identifier|300"
    "AnotherDevice|test_another_device|300"
    "SilentDevice|test_silent_device|300"
    "WrongChecksum|test_wrong_checksum|300"
    "SplitAcknowledgement|test_split_acknowledgement|300"
    "Silence|test_silence|300"
    "HangUp|test_hang_up|300"
    "LastBlockWithoutFz|test_last_block_without_fz|900"
    "WrongBytesInTheFinalBlock|test_wrong_bytes_in_the_final_block|300"
    "LineStuckInABlock|test_line_stuck_in_a_block|300"
    "EarlyFz|test_early_fz|300"
    "CloseDuringTheUpload|test_close_during_the_upload|400"
    "CloseDuringThePause|test_close_during_the_pause|300")
  foreach(_case IN LISTS _zorvboot_cases)
    string(REPLACE "|" ";" _f "${_case}")
    list(GET _f 0 _name)
    list(GET _f 1 _method)
    list(GET _f 2 _timeout)
    add_test(NAME zorvboot_window.${_name}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/zorvboot_window_test.py -v
                     WindowProgram.${_method})
    set_tests_properties(zorvboot_window.${_name} PROPERTIES
      TIMEOUT ${_timeout}
      ENVIRONMENT "ZORVBOOT=$<TARGET_FILE:zorvboot>;ZORV_WINDRIVER=$<TARGET_FILE:windriver>;ZORV_ZORVSIM=${ZORV_ZORVSIM};ZORV_IMAGE_INFO=${ZORV_IMAGE_INFO};ZORV_IMAGE_BIN=${ZORV_IMAGE_BIN};ZORV_WINDOW_PREFIX=${CMAKE_BINARY_DIR}/wineprefix-window;ZORV_SCREENSHOT_DIR=${CMAKE_BINARY_DIR}/screenshots")
    zorv_window_tests(TESTS zorvboot_window.${_name})
  endforeach()
endif()
