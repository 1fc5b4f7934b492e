# The shell pieces of the window tests (prefix settings, the X server record), tested
# without wine: host-side, so the native trees run them.
if(NOT ZORV_WINDOWS)
  add_test(NAME WineScripts.PrefixSettingsAndXServerRecord
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/wine_scripts_test.py -v)
  set_tests_properties(WineScripts.PrefixSettingsAndXServerRecord PROPERTIES TIMEOUT 300)
endif()
