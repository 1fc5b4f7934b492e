/* termios2 for the 32-bit test programs under qemu-i386 (user mode), preloaded into them by
 * build/<tree>/run32 (cmake/Run32.cmake).
 *
 * The emulator does not pass the termios2 requests on (they fail with ENOSYS), and the
 * serial layer sets its line with them: they take any rate, 38462 included. On a terminal
 * this shim does them with the classic requests, the rate bits replaced by B38400 (a
 * pseudo-terminal, the only line the tests use, ignores the rate), and keeps the rate
 * bits and rates that the program set on that terminal, which TCGETS2 then reads back as
 * the kernel would. Every other request goes to the real ioctl. */
#define _GNU_SOURCE
#include <asm/termbits.h>
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#define MAX_FDS 4096

typedef int (*ioctl_fn)(int, unsigned long, ...);

struct kept_line {
  dev_t dev; /* the terminal the rate was set on (a descriptor number is reused) */
  ino_t ino;
  int set;
  tcflag_t baud; /* the CBAUD and CIBAUD bits the program set */
  speed_t ispeed, ospeed;
};

static ioctl_fn real_ioctl;
static pthread_once_t once = PTHREAD_ONCE_INIT;
static struct kept_line kept[MAX_FDS];
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

static void setup(void) { real_ioctl = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl"); }

/* The programs the test program starts itself are the machine's own (the simulator): they
 * must not be asked to load a 32-bit library. A 32-bit program goes through run32 again. */
__attribute__((constructor)) static void forget_preload(void) { unsetenv("LD_PRELOAD"); }

/* The rate of a classic rate code. */
static speed_t rate_of(tcflag_t code) {
  static const speed_t low[] = {0, 50, 75, 110, 134, 150, 200, 300, 600, 1200, 1800, 2400, 4800, 9600, 19200, 38400};
  static const speed_t high[] = {0, 57600, 115200, 230400, 460800, 500000, 576000, 921600,
                                 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000};
  return (code & CBAUDEX) ? high[code & 15] : low[code & 15];
}

static int get2(int fd, struct termios2* t) {
  struct termios k;
  if (real_ioctl(fd, TCGETS, &k) != 0) return -1;
  memset(t, 0, sizeof *t);
  memcpy(t, &k, sizeof k); /* termios2 is termios with the two rates after it */
  t->c_ispeed = rate_of((k.c_cflag & CIBAUD) >> IBSHIFT);
  t->c_ospeed = rate_of(k.c_cflag & CBAUD);
  struct stat st;
  if (fd >= 0 && fd < MAX_FDS && fstat(fd, &st) == 0) {
    pthread_mutex_lock(&lock);
    const struct kept_line* line = &kept[fd];
    if (line->set && line->dev == st.st_rdev && line->ino == st.st_ino) {
      t->c_cflag = (t->c_cflag & ~(tcflag_t)(CBAUD | CIBAUD)) | line->baud;
      t->c_ispeed = line->ispeed;
      t->c_ospeed = line->ospeed;
    }
    pthread_mutex_unlock(&lock);
  }
  return 0;
}

static int set2(int fd, unsigned long classic, const struct termios2* t) {
  struct termios k;
  memcpy(&k, t, sizeof k);
  k.c_cflag = (k.c_cflag & ~(tcflag_t)(CBAUD | CIBAUD)) | B38400;
  if (real_ioctl(fd, classic, &k) != 0) return -1;
  struct stat st;
  if (fd >= 0 && fd < MAX_FDS && fstat(fd, &st) == 0) {
    pthread_mutex_lock(&lock);
    kept[fd] = (struct kept_line){st.st_rdev, st.st_ino, 1, t->c_cflag & (CBAUD | CIBAUD), t->c_ispeed, t->c_ospeed};
    pthread_mutex_unlock(&lock);
  }
  return 0;
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
  if (!arg) return real_ioctl(fd, request, arg);
  if (request == TCGETS2 || request == TCSETS2 || request == TCSETSW2 || request == TCSETSF2) {
    const int r = real_ioctl(fd, request, arg);
    if (r == 0 || errno != ENOSYS) return r; /* an emulator that passes them on */
  }
  switch (request) {
    case TCGETS2: return get2(fd, (struct termios2*)arg);
    case TCSETS2: return set2(fd, TCSETS, (const struct termios2*)arg);
    case TCSETSW2: return set2(fd, TCSETSW, (const struct termios2*)arg);
    case TCSETSF2: return set2(fd, TCSETSF, (const struct termios2*)arg);
    default: return real_ioctl(fd, request, arg);
  }
}
