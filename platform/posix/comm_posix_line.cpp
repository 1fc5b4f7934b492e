// Line settings of a POSIX terminal from a DCB, through termios2: with BOTHER the kernel
// takes any rate (38462 included); a pseudo-terminal accepts it and ignores it.
//
// This unit includes the kernel's termbits and none of libc's termios, whose definitions
// clash with them.
#include <asm/termbits.h>
#include <errno.h>
#include <sys/ioctl.h>

#include "platform/comm_posix.h"

namespace zorv::comm::posix {

namespace {

void SetModemLine(int fd, int line, bool on) {
  // Not every terminal has modem lines (a pseudo-terminal has none): failure is no error.
  (void)ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &line);
}

}  // namespace

std::uint32_t ErrnoToError(int e) {
  switch (e) {
    case ENOENT: case ENODEV: case ENXIO: return kErrorFileNotFound;
    case EACCES: case EPERM: case EBUSY: case EWOULDBLOCK: return kErrorAccessDenied;
    case EBADF: return kErrorInvalidHandle;
    case ENOMEM: return kErrorNotEnoughMemory;
    case EINVAL: return kErrorInvalidParameter;
    case ENOTTY: return kErrorNotSupported;
    case EIO: case EPIPE: return kErrorBadCommand;
    default: return kErrorGenFailure;
  }
}

std::uint32_t ApplyLine(int fd, const TDcb& dcb) {
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > 4 || dcb.StopBits > 2)
    return kErrorInvalidParameter;  // rate 0 would also hang the line up
  struct termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return ErrnoToError(errno);

  // Raw bytes both ways.
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                      IXANY | INPCK | IGNPAR);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
  t.c_cflag |= CLOCAL | CREAD | BOTHER;
  t.c_ispeed = t.c_ospeed = dcb.BaudRate;
  static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= sizes[dcb.ByteSize - 5];
  switch (dcb.Parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (dcb.StopBits != 0) t.c_cflag |= CSTOPB;  // one and a half counts as two
  const std::uint32_t rts = DcbRtsControl(dcb);
  if ((dcb.Flags & kDcbOutxCtsFlow) || rts == 2) t.c_cflag |= CRTSCTS;
  if (dcb.Flags & kDcbParity) t.c_iflag |= INPCK;
  else t.c_iflag |= IGNPAR;
  if (dcb.Flags & kDcbOutX) t.c_iflag |= IXON;
  if (dcb.Flags & kDcbInX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (ioctl(fd, TCSETS2, &t) != 0) return ErrnoToError(errno);

  const std::uint32_t dtr = DcbDtrControl(dcb);
  SetModemLine(fd, TIOCM_DTR, dtr == 1 || dtr == 2);
  if (rts != 2) SetModemLine(fd, TIOCM_RTS, rts == 1);
  return 0;
}

std::uint32_t ReadLine(int fd, TDcb& dcb) {
  struct termios2 t{};
  if (ioctl(fd, TCGETS2, &t) != 0) return ErrnoToError(errno);
  dcb.BaudRate = t.c_ospeed;
  switch (t.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  if (!(t.c_cflag & PARENB)) dcb.Parity = 0;
  else if (t.c_cflag & CMSPAR) dcb.Parity = (t.c_cflag & PARODD) ? 3 : 4;
  else dcb.Parity = (t.c_cflag & PARODD) ? 1 : 2;
  dcb.StopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
  dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
  dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
  return 0;
}

}  // namespace zorv::comm::posix

namespace zorv::comm {

std::string ErrorText(std::uint32_t code) {
  // The Windows texts of the codes ErrnoToError and the calls of this layer report.
  switch (code) {
    case kErrorFileNotFound: return "The system cannot find the file specified.";
    case kErrorPathNotFound: return "The system cannot find the path specified.";
    case kErrorAccessDenied: return "Access is denied.";
    case kErrorInvalidHandle: return "The handle is invalid.";
    case kErrorNotEnoughMemory: return "Not enough memory resources are available to process this command.";
    case kErrorBadCommand: return "The device does not recognize the command.";
    case kErrorGenFailure: return "A device attached to the system is not functioning.";
    case kErrorSharingViolation:
      return "The process cannot access the file because it is being used by another process.";
    case kErrorNotSupported: return "The request is not supported.";
    case kErrorInvalidParameter: return "The parameter is incorrect.";
    case kErrorSemTimeout: return "The semaphore timeout period has expired.";
    case kErrorInvalidName: return "The filename, directory name, or volume label syntax is incorrect.";
    case kErrorOperationAborted:
      return "The I/O operation has been aborted because of either a thread exit or an application request.";
    case kErrorNotFound: return "Element not found.";
    default: return std::string();
  }
}

}  // namespace zorv::comm
