// Small services of the operating system: screen metrics, the message box, system error
// texts and the program's command line. Texts cross this interface as UTF-8 (on Windows
// the W calls are used and converted at the call).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorv::platform {

// Vertical pixels per logical inch of the screen (96 where there is no screen).
int ScreenLogPixelsY();

// Modal box with an OK button owned by the given window (nullptr: no owner). Where there is
// no window system the text goes to standard error.
void MessageBoxOk(void* owner, const std::string& text, const std::string& caption);

// The system's text for an error code, as the system gives it (untrimmed); empty when the
// system has no text for the code.
std::string SystemErrorText(std::uint32_t code);

// CPU time the process has used so far, in seconds, user and system.
bool ProcessCpuTimes(double& userSeconds, double& systemSeconds);

// The most memory the process has held at once (resident set, working set), in bytes;
// 0 when the system does not tell.
std::uint64_t PeakMemoryBytes();

// This machine's host name (UTF-8); empty when the system does not tell.
std::string HostName();

// Full path of the running program.
std::string ProgramPath();

// The program's arguments after its name, as UTF-8 (on Windows from the wide command
// line; elsewhere argv as it is).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Parameter n >= 1 of the command line; empty beyond the last.
std::string CommandLineParam(int n);

// Parameter n >= 1 of a Windows command line: tokens are separated by characters 1..32
// outside double quotes; pairs of double quotes before a token are skipped; a token longer
// than one character that starts and ends with a double quote loses the outer quotes.
// Token 0 is the program name.
std::string CommandLineToken(const std::string& commandLine, int n);

}  // namespace zorv::platform
