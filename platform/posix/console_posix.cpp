// POSIX console: terminals take UTF-8 as it is.
#include <unistd.h>

#include <cstdio>

#include "platform/console.h"

namespace zorv::platform {

bool IsTerminal(Stream s) { return isatty(s == Stream::Out ? STDOUT_FILENO : STDERR_FILENO) == 1; }

bool EnableTerminalControl(Stream s) { return IsTerminal(s); }

void WriteUtf8(Stream s, const std::string& text) {
  FILE* f = s == Stream::Out ? stdout : stderr;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fflush(f);
}

}  // namespace zorv::platform
