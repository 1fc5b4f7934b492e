/* Modem lines for pseudo-terminals, preloaded into a program (LD_PRELOAD).
 *
 * A pty slave has no modem lines: TIOCMGET and TIOCMSET fail with ENOTTY. Wine's serial
 * code then cannot watch the lines, and a pending WaitCommEvent ends at once, aborted.
 * This shim answers those requests on pty slaves as a port whose input lines stay as set
 * by ZORV_PTYSHIM_LINES (a number of TIOCM_ bits, default none) and whose output lines
 * (DTR, RTS) keep what the program set, so that waits behave as on a real port. Every
 * other request, and every request on any other descriptor, goes to the real ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#define MAX_FDS 4096

typedef int (*ioctl_fn)(int, unsigned long, ...);

static ioctl_fn real_ioctl;
static pthread_once_t once = PTHREAD_ONCE_INIT;
static int input_lines;
static int output_lines[MAX_FDS];
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

static void setup(void) {
  real_ioctl = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
  const char* lines = getenv("ZORV_PTYSHIM_LINES");
  if (lines) input_lines = (int)strtol(lines, NULL, 0) & (TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI);
}

/* Unix98 pty slaves have the character-device majors 136..143. */
static int is_pty_slave(int fd) {
  struct stat st;
  if (fd < 0 || fd >= MAX_FDS || fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return 0;
  return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void* arg = va_arg(ap, void*);
  va_end(ap);
  pthread_once(&once, setup);
  if (!real_ioctl) {
    errno = ENOSYS;
    return -1;
  }
  const int modem = request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
  if (!modem || !is_pty_slave(fd) || !arg) return real_ioctl(fd, request, arg);

  int* bits = (int*)arg;
  const int outputs = TIOCM_DTR | TIOCM_RTS;
  pthread_mutex_lock(&lock);
  switch (request) {
    case TIOCMGET: *bits = input_lines | output_lines[fd]; break;
    case TIOCMSET: output_lines[fd] = *bits & outputs; break;
    case TIOCMBIS: output_lines[fd] |= *bits & outputs; break;
    default: output_lines[fd] &= ~(*bits & outputs); break;
  }
  pthread_mutex_unlock(&lock);
  return 0;
}
