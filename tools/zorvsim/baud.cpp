// The line rate through termios2 and BOTHER, which takes any rate; the classic termios
// calls know only the standard ones. Kept apart because <asm/termbits.h> clashes with
// <termios.h>.
#include <asm/ioctls.h>
#include <asm/termbits.h>

#include <cerrno>
#include <cstring>
#include <string>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace zorv::sim {

bool SetBaud(int fd, long baud, std::string& error) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) {
    error = std::string("TCGETS2: ") + std::strerror(errno);
    return false;
  }
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = static_cast<speed_t>(baud);
  t.c_ospeed = static_cast<speed_t>(baud);
  if (ioctl(fd, TCSETS2, &t) != 0) {
    error = std::string("TCSETS2: ") + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace zorv::sim
