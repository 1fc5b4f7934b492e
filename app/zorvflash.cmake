# zorvflash: the headless flasher, a console program on Linux and on Windows.
add_library(zorv_sha256 STATIC ${CMAKE_SOURCE_DIR}/tools/common/sha256.cpp)
target_include_directories(zorv_sha256 PUBLIC ${CMAKE_SOURCE_DIR})

add_library(zorv_flash STATIC
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/BlockCollector.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/FlashScheme.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/OpenError.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/Options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/Progress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/TerminalText.cpp)
target_link_libraries(zorv_flash PUBLIC zorv_scheme zorv_serial zorv_platform_console zorv_sha256)

add_executable(zorvflash ${CMAKE_CURRENT_LIST_DIR}/zorvflash/main.cpp)
set_target_properties(zorvflash PROPERTIES OUTPUT_NAME zorvflash${ZORV_PROGRAM_SUFFIX})
target_link_libraries(zorvflash PRIVATE zorv_flash)
target_compile_definitions(zorvflash PRIVATE ZORV_VERSION="${PROJECT_VERSION}")
zorv_link_resources(zorvflash)
zorv_program_resources(zorvflash DESCRIPTION "Zorvantique bootloader: command-line flasher")
