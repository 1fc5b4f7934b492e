zorv_test(elements_data_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/kvMemoryStream_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvCRC16_32_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvStream2Hex_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvFormatStr_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvStrMask_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvMultiStrPart_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvStrCat_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvConvertor_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/kvDataToFile_test.cpp
  LIBS zorv_elements_data)
