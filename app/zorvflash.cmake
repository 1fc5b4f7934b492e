# zorvflash: the headless flasher, a console program on Linux and on Windows.
add_library(zorv_sha256 STATIC ${CMAKE_SOURCE_DIR}/tools/common/sha256.cpp)
target_include_directories(zorv_sha256 PUBLIC ${CMAKE_SOURCE_DIR})

# The JSON library is header-only. The Windows build sees only its headers, through a
# folder of their own, never the rest of the system's include folder.
find_path(ZORV_NLOHMANN_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(zorv_json INTERFACE)
if(ZORV_WINDOWS)
  file(COPY ${ZORV_NLOHMANN_DIR}/nlohmann DESTINATION ${CMAKE_BINARY_DIR}/json-include)
  target_include_directories(zorv_json SYSTEM INTERFACE ${CMAKE_BINARY_DIR}/json-include)
endif()

add_library(zorv_flash STATIC
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/AllPorts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/BlockCollector.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/FlashScheme.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/Image.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/OpenError.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/Options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/PortRun.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/PortTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/Progress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/Report.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/TerminalText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/Trace.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zorvflash/Worker.cpp)
target_link_libraries(zorv_flash PUBLIC zorv_scheme zorv_serial zorv_platform_console zorv_platform_process
                      zorv_sha256 zorv_json)
target_compile_definitions(zorv_flash PUBLIC ZORV_VERSION="${PROJECT_VERSION}")

add_executable(zorvflash ${CMAKE_CURRENT_LIST_DIR}/zorvflash/main.cpp)
set_target_properties(zorvflash PROPERTIES OUTPUT_NAME zorvflash${ZORV_PROGRAM_SUFFIX})
target_link_libraries(zorvflash PRIVATE zorv_flash)
zorv_link_resources(zorvflash)
zorv_program_resources(zorvflash DESCRIPTION "Zorvantique bootloader: command-line flasher")
