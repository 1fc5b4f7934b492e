# Native 32-bit Linux build (g++ -m32, Debian's multilib compilers): runs the native suites
# in the 32-bit data model of the 32-bit Windows programs (4-byte pointers, LONG_PTR,
# WPARAM, LPARAM and size_t), which the x86-64 Windows build cannot show. Not a cross
# build: the programs run on this machine.
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
