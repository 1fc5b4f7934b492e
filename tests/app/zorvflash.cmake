# zorvflash end to end against the device simulator (native trees; the Windows tree runs
# the same exchange under wine through tools/wine-com.sh).
zorv_test(zorvflash_unit_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/options_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/progress_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/flash_front_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/terminal_text_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/block_collector_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/flash_scheme_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/flash_records_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/serial/fake_comm.cpp
  LIBS zorv_flash)

if(NOT ZORV_WINDOWS)
  add_library(zorv_test_child STATIC ${CMAKE_SOURCE_DIR}/tests/support/child_process.cpp)
  target_include_directories(zorv_test_child PUBLIC ${CMAKE_SOURCE_DIR})

  zorv_test(zorvflash_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/zorvflash_e2e_test.cpp
    LIBS zorv_test_sim zorv_test_child zorv_sha256 zorv_winlib zorv_json)
  zorv_spawn_path(zorvflash _zorvflash)
  target_compile_definitions(zorvflash_e2e_tests PRIVATE ZORVFLASH="${_zorvflash}"
                             ZORV_IMAGE_BIN="${ZORV_IMAGE_BIN}")
  add_dependencies(zorvflash_e2e_tests zorvflash zorvsim_tool)
endif()

# The same exchange under wine: the Windows flasher on a COM port mapped to the simulator's
# pseudo-terminal (tools/wine-com.sh), one run at a time on a prefix of its own.
if(ZORV_WINDOWS)
  set(_flash_prefix "${CMAKE_BINARY_DIR}/wineprefix-flash")
  set(_not_found "На этом порту устройств не найдено.")
  set(_error_line "Ошибка при передаче данных!")
  set(_done_line "ПО успешно обновлено!")
  # name | expected exit | pusk | image bytes | simulator arguments (comma-separated) | expected text
  # [| further check arguments (comma-separated)]
  set(_cases
    "Full|0|yes|260096||${_done_line}"
    "LowerCaseIdentifier|0|yes|512|--ident-lower,--name,X1,--version,7.2,--blocks,2|Устройство: X1   Текущая версия ПО: 7.2"
    "TwoWords|0|yes|512|--no-version,--blocks,2|Устройство: TPX2"
    "IdentifierAlone|2|no|0|--ident-only|${_not_found}"
    "IdentifierPlusOne|2|no|0|--ident,ZORVANTIQUEX|${_not_found}"
    "SplitAck|1|no||--split-ack,3|${_error_line}"
    "WrongChecksum|1|no||--bad-crc,3|${_error_line}"
    "EarlyFz|0|yes|2560|--early-fz,10|${_done_line}"
    "HangUp|1|no||--hangup,20|${_error_line}"
    "LastBlockWithoutFz|1|no|260096|--no-final-fz|${_error_line}"
    "Silence|1|no||--silence-from,5|${_error_line}"
    # The exchange ends where it ends.
    "MoreAfterPuskFinal|0|yes|1024|--blocks,4,--after-pusk,final,--linger,2000|${_done_line}|--expect-event=after-pusk=1,--flash-arg=--pause,--flash-arg=0"
    "MoreAfterPuskCrc|0|yes|1024|--blocks,4,--after-pusk,crc,--linger,2000|${_done_line}|--expect-event=after-pusk=1,--flash-arg=--pause,--flash-arg=0"
    "WrongBytesInTheFinalBlock|1|no||--blocks,4,--wrong-in,4,--linger,1000,--split-gap,0|${_error_line}|--flash-arg=--pause,--flash-arg=0"
    "RepeatedAckInTheFinalBlock|1|no||--blocks,4,--dup-ack,3,--linger,1000,--split-gap,0|${_error_line}|--flash-arg=--pause,--flash-arg=0"
    "EchoInTheFinalBlock|1|no||--blocks,4,--echo-from,4,--linger,1000,--split-gap,0|${_error_line}|--flash-arg=--pause,--flash-arg=0"
    "StuckLineAfterAck|1|no|512|--stall-after-ack,2|${_error_line}|--reply-window,0,10"
    "StuckLineMidBlock|1|no||--stall,3|${_error_line}|--reply-window,0,10"
    "StuckLineDrainsLater|1|no|512|--stall-after-ack,2,--resume,3000|${_error_line}|--expect-event=resume=1,--sim-wait,6"
    "PuskNeverLeavesThePort|1|no|1024|--blocks,4,--stall-after-ack,4|${_error_line}|--expect-event=final=1,--flash-arg=--pause,--flash-arg=0"
    "IdentificationLargerThanTheBuffer|1|no||--ident-size,4608|Устройство: TPX2   Текущая версия ПО: 6.0|--expect-text,${_error_line}"
    # A native UART: replies byte by byte at the line rate.
    # A run the line itself disturbed (the machine held a byte up) is run again, see
    # wine_flash_check.py.
    "UartFull|0|yes|260096|--pace,uart|${_done_line}|--flash-arg=--pause,--flash-arg=0,--line-retries,2"
    "UartFullWithShim|0|yes|260096|--pace,uart|${_done_line}|--flash-arg=--pause,--flash-arg=0,--shim,${ZORV_PTYSHIM},--line-retries,2"
    # 5 ms inside an acknowledgement with the modem-line shim, where the reader waits for the
    # first byte as on a port; on a plain pty wine ends each wait at once and the reader,
    # waiting again, pauses up to 8 ms while the line is idle, so there the pause is 50 ms.
    "UartPauseInsideTheAck|1|no|768|--pace,uart,--blocks,6,--split-ack,3,--split-gap,5|${_error_line}|--flash-arg=--pause,--flash-arg=0,--shim,${ZORV_PTYSHIM},--line-retries,3"
    "UartPauseInsideTheAckPlain|1|no|768|--pace,uart,--blocks,6,--split-ack,3|${_error_line}|--flash-arg=--pause,--flash-arg=0,--line-retries,3"
    "UartWrongChecksum|1|no|768|--pace,uart,--blocks,6,--bad-crc,3|${_error_line}|--flash-arg=--pause,--flash-arg=0,--line-retries,3"
    "ControlBytesInTheName|0|yes|512|--blocks,2,--name,A\\x1bcB,--version,7\\x07|Устройство: A\\x1bcB   Текущая версия ПО: 7\\x07"
    # A COM name that wine does not map cannot be opened: the not-found text and the reason.
    "OpenErrorUnmappedPort|2|no|0||${_not_found}|--port=COM200,--expect-text=COM200: cannot open the port: no such port (error 2)"
    # Port detection: every listed port in turn (the first simulator, COM7, never answers),
    # the upload to the second simulator on COM8.
    "AutoDetect|0|no|0|--no-vers-reply|port: COM8|--port=auto,--sim2=8,--sim2-arg=--blocks,--sim2-arg=4,--expect2-pusk=yes,--expect2-image-bytes=1024"
    # One write per block: the same bytes on the line, failures as final as ever.
    "BlockWritesFull|0|yes|260096||${_done_line}|--flash-arg=--block-writes"
    "BlockWritesWrongChecksum|1|no|768|--bad-crc,3|${_error_line}|--flash-arg=--block-writes"
    "BlockWritesStuckLineMidBlock|1|no||--stall,3|${_error_line}|--flash-arg=--block-writes,--reply-window,0,10"
    # Three ports at once, a process each (the image given as a file, handed to each through
    # its pipe): the good device gets the image and "PUSK", the others nothing after their
    # failure; the summary and a record per port say so.
    "AllPortsAtOnce|1|yes|1024|--blocks,4|COM8  TPX2    6.0      failed|--flash-arg=--all,--flash-arg=--block-writes,--flash-arg=--image,--flash-arg=Z:${ZORV_IMAGE_BIN},--sim-at=8,--sim-at-arg=8=--bad-crc,--sim-at-arg=8=2,--sim-at=9,--sim-at-arg=9=--hangup,--sim-at-arg=9=2,--expect-at=8:pusk=no,--expect-at=8:image-bytes=512,--expect-at=9:pusk=no,--expect-at=9:max-image-bytes=512,--report,${CMAKE_CURRENT_BINARY_DIR}/wine-all-report.jsonl,--expect-record=COM7=flashed,--expect-record=COM8=failed,--expect-record=COM9=failed")
  foreach(_case IN LISTS _cases)
    string(REPLACE "|" ";" _f "${_case}")
    list(GET _f 0 _name)
    list(GET _f 1 _exit)
    list(GET _f 2 _pusk)
    list(GET _f 3 _bytes)
    list(GET _f 4 _sim)
    list(GET _f 5 _text)
    set(_args --wine-com ${CMAKE_SOURCE_DIR}/tools/wine-com.sh --prefix ${_flash_prefix}
              --sim ${ZORV_ZORVSIM} --flasher $<TARGET_FILE:zorvflash> --image-info ${ZORV_IMAGE_INFO}
              --image ${ZORV_IMAGE_BIN}
              --expect-exit ${_exit} --expect-pusk ${_pusk} --expect-text "${_text}")
    list(LENGTH _f _fields)
    if(_fields GREATER 6)
      list(GET _f 6 _more)
      string(REPLACE "," ";" _more_list "${_more}")
      list(APPEND _args ${_more_list})
    endif()
    if(NOT _bytes STREQUAL "")
      list(APPEND _args --expect-image-bytes ${_bytes})
    endif()
    if(_name STREQUAL "Silence")
      list(APPEND _args --reply-window 2 4.5)
    endif()
    if(NOT _sim STREQUAL "")
      string(REPLACE "," ";" _sim_list "${_sim}")
      foreach(_s IN LISTS _sim_list)
        list(APPEND _args "--sim-arg=${_s}")
      endforeach()
    endif()
    add_test(NAME zorvflash_wine_${_name}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/wine_flash_check.py ${_args})
    set_tests_properties(zorvflash_wine_${_name} PROPERTIES TIMEOUT 300 RESOURCE_LOCK zorv_wine_flash
                         SKIP_RETURN_CODE 77)
    if(_name MATCHES "^UartFull")
      set_tests_properties(zorvflash_wine_${_name} PROPERTIES TIMEOUT 600)
    endif()
  endforeach()
endif()
