// Why a port could not be opened, in words for the flasher's user, from the system's error
// code that the serial element kept.
#pragma once

#include <cstdint>
#include <string>

// The reason for a code: the usual causes in plain words; for any other code the system's
// text (given, so that tests need no system), or the number alone when there is none.
std::string OpenFailureReason(std::uint32_t code, const std::string& systemText);

// The line the flasher shows for a port that could not be opened:
// "<port>: cannot open the port: <reason> (error <code>)".
std::string OpenFailureLine(const std::string& port, std::uint32_t code, const std::string& systemText);
