# Data elements: memory stream, checksum, hexadecimal text, string elements, converter and
# byte transfer.
add_library(zorv_elements_data STATIC
  ${CMAKE_CURRENT_LIST_DIR}/kvMemoryStream.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvCRC16_32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvStream2Hex.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvFormatStr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvStrMask.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvStr_Enum.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvMultiStrPart.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvStrCat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvConvertor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/kvDataToFile.cpp)
target_link_libraries(zorv_elements_data PUBLIC zorv_runtime)
