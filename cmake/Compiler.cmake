# Warning, sanitizer and linking settings shared by every target of the project.

add_compile_options(-Wall -Wextra)
if(ZORV_WERROR)
  add_compile_options(-Werror)
endif()
# GCC 12 reports overlapping copies inside std::string at -O3 that cannot happen
# (GCC bug 105329); the check stays on at the other optimisation levels.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  add_compile_options($<$<CONFIG:Release>:-Wno-restrict>)
endif()

if(ZORV_SANITIZE AND NOT ZORV_WINDOWS)
  add_compile_options(-fsanitize=${ZORV_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${ZORV_SANITIZE})
  if(ZORV_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=all)
  endif()
endif()

if(ZORV_WINDOWS)
  # One self-contained .exe: with the posix thread model, -static-libgcc and
  # -static-libstdc++ alone would still need libwinpthread-1.dll.
  add_link_options(-static)
  add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
else()
  find_package(Threads REQUIRED)
  link_libraries(Threads::Threads)
endif()
