# The pictures every program embeds (both builds), the generator's output (host-side, native
# trees), and what zorv_program_resources() adds to a program (Windows tree).
zorv_test(pictures_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/pictures_test.cpp LIBS zorv_platform)

if(NOT ZORV_WINDOWS)
  add_test(NAME Pictures.GeneratorIsDeterministicAndWritesWhatTheBuildEmbeds
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/pictures_test.py ${ZORV_RESOURCE_DIR})
else()
  zorv_test(program_resources_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/program_resources_test.cpp
    LIBS version)
  zorv_program_resources(program_resources_tests DESCRIPTION "Resource check")
  target_compile_definitions(program_resources_tests PRIVATE
    ZORV_PROJECT_VERSION="${PROJECT_VERSION}"
    ZORV_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    ZORV_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    ZORV_VERSION_PATCH=${PROJECT_VERSION_PATCH})
endif()
