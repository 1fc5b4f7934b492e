// Texts for the terminal: the program's own texts (Windows-1251 with CR LF line ends), and
// texts that hold bytes from outside (the device's name and version, port names), whose
// control bytes are shown escaped so that a device cannot drive the user's terminal.
#pragma once

#include <string>

// A program text as UTF-8 with the terminal's line ends.
std::string ProgramText(std::string cp1251);

// A Windows-1251 text from outside as UTF-8: bytes below 0x20 and 0x7F appear as \xNN
// (lower-case digits) and a backslash as two, so that what is shown tells the bytes apart.
std::string ForTerminal(const std::string& cp1251);
