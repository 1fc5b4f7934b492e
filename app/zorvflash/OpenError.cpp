#include "app/zorvflash/OpenError.h"

#include "platform/comm.h"

// Codes as Windows gives them (the POSIX comm layer maps errno to the same codes).
using namespace zorv::comm;

std::string OpenFailureReason(std::uint32_t code, const std::string& systemText) {
  switch (code) {
    case kErrorFileNotFound:
    case kErrorPathNotFound:
      return "no such port";
    // A serial port is opened without sharing: Windows answers a port that another program
    // holds with access denied (a POSIX lock held elsewhere maps to the same code).
    case kErrorAccessDenied:
      return "access denied; the port is in use by another program";
    case kErrorSharingViolation:
      return "the port is in use by another program";
    case kErrorInvalidName:
      return "not a serial port name (COM1 to COM255)";
    default:
      break;
  }
  std::string text = systemText;
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text.empty() ? "system error" : text;
}

std::string OpenFailureLine(const std::string& port, std::uint32_t code, const std::string& systemText) {
  return port + ": cannot open the port: " + OpenFailureReason(code, systemText) + " (error " + std::to_string(code) +
         ")";
}
