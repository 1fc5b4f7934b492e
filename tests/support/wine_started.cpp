// Linked into every Windows test program: leaves a sign that the program got as far as its
// own code. The wine wrapper runs a program again only when wine failed to start it (no
// sign and a failing exit), never after a run that happened.
#include <windows.h>

#include <cstdlib>

namespace {

struct StartedSign {
  StartedSign() {
    const wchar_t* path = _wgetenv(L"ZORV_WINE_STARTED");
    if (path == nullptr || *path == L'\0') return;
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
};

const StartedSign sign;

}  // namespace
