// Pieces of the POSIX serial line calls shared between their units: line settings through
// termios2 (which takes any rate, 38462 included), and the table that gives every serial
// device of the system a COM name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/comm.h"

namespace zorv::comm::posix {

// The Windows error code for an errno value.
std::uint32_t ErrnoToError(int e);

// Applies the DCB to the terminal fd (raw mode, rate, format, flow control, DTR/RTS).
// Returns 0 or a Windows error code (kErrorInvalidParameter for values outside their range).
std::uint32_t ApplyLine(int fd, const TDcb& dcb);
// Fills rate, byte size, parity and stop bits from the terminal's current settings.
std::uint32_t ReadLine(int fd, TDcb& dcb);

struct TPortAlias {
  int number;        // n of "COMn", 1..255
  std::string path;  // the device
};
// Every serial device with its COM number: registered paths keep theirs, then /dev/ttyS*,
// /dev/ttyUSB* and /dev/ttyACM* (each in numeric order) take the free numbers from 1 up.
std::vector<TPortAlias> PortAliases();
// The device of a name "COMn" (any letter case, no leading zero); empty when none.
std::string ResolveComName(const std::string& name);

}  // namespace zorv::comm::posix
