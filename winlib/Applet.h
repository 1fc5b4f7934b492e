// The application window and the message loop. Every window of the program hangs under
// one application window (a TControl with IsApplet set) that owns the taskbar button,
// receives the messages of windows without an object and ends the program when the main
// form closes. Run creates the windows and runs the loop until the main form closes;
// Terminate destroys the application window and with it every control, once, after the
// loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "winlib/Controls.h"

extern TControl* Applet;
extern std::atomic<int> AppletRunning;
extern std::atomic<bool> AppletTerminated;
extern bool AppButtonUsed;
extern void (*OnIdle)(TControl* window);

TControl* NewApplet(const std::string& caption);
TControl* NewForm(TControl* parent, const std::string& caption);

// Runs the message loop of the window in `window` (normally Applet) until the program
// terminates, then Terminate(window).
void Run(TControl*& window);
// Takes one message; false when none was waiting (or a WM_NULL ended the batch).
bool ProcessMessage(TControl* window);
void ProcessMessages(TControl* window);
void Terminate(TControl*& window);
