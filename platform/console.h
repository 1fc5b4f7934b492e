// The console of a command-line program: whether an output is a terminal, and writing
// UTF-8 text so that it shows correctly whatever the system's code page.
#pragma once

#include <string>

namespace zorv::platform {

enum class Stream { Out, Err };

bool IsTerminal(Stream s);
// Lets the terminal act on control sequences (moving the cursor, clearing a line): on a
// Windows console the virtual terminal mode is switched on. False when it cannot be.
bool EnableTerminalControl(Stream s);
// Writes UTF-8 text; on a Windows console it goes through the wide console call.
void WriteUtf8(Stream s, const std::string& text);

}  // namespace zorv::platform
