// The pty modem-line shim, loaded into the test: it answers the modem-line requests on pty
// slaves and passes everything else to the real ioctl.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace {

using IoctlFn = int (*)(int, unsigned long, ...);

class PtyShim : public ::testing::Test {
 protected:
  void* lib = nullptr;
  IoctlFn shim = nullptr;
  int master = -1, slave = -1;

  void SetUp() override {
    setenv("ZORV_PTYSHIM_LINES", "0x1E0", 1);  // CTS, DSR, CD and RI, plus DTR (ignored)
    lib = dlopen(ZORV_PTYSHIM_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    shim = reinterpret_cast<IoctlFn>(dlsym(lib, "ioctl"));
    ASSERT_NE(shim, nullptr);
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    slave = ::open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
  }
  void TearDown() override {
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
    if (lib) dlclose(lib);
  }
};

TEST_F(PtyShim, GivesAPtySlaveModemLines) {
  int lines = 0;
  ASSERT_EQ(ioctl(slave, TIOCMGET, &lines), -1);  // the real call: no modem lines
  ASSERT_EQ(shim(slave, TIOCMGET, &lines), 0);
  EXPECT_EQ(lines, TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI);

  int dtr = TIOCM_DTR | TIOCM_CTS;  // only the output lines can be set
  ASSERT_EQ(shim(slave, TIOCMBIS, &dtr), 0);
  ASSERT_EQ(shim(slave, TIOCMGET, &lines), 0);
  EXPECT_EQ(lines, TIOCM_DTR | TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RI);
  int both = TIOCM_RTS;
  ASSERT_EQ(shim(slave, TIOCMSET, &both), 0);
  int off = TIOCM_DTR;
  ASSERT_EQ(shim(slave, TIOCMBIC, &off), 0);
  ASSERT_EQ(shim(slave, TIOCMGET, &lines), 0);
  EXPECT_EQ(lines & (TIOCM_DTR | TIOCM_RTS), TIOCM_RTS);
}

TEST_F(PtyShim, LeavesOtherRequestsAndDescriptorsAlone) {
  int lines = 0;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  errno = 0;
  EXPECT_EQ(shim(fds[0], TIOCMGET, &lines), -1);
  EXPECT_EQ(errno, ENOTTY);
  int waiting = -1;
  ASSERT_EQ(write(master, "abc", 3), 3);
  usleep(50000);
  EXPECT_EQ(shim(slave, FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 3);
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
