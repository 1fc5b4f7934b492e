// zorvboot: the program. Its main window lists the serial ports, identifies the device on
// the chosen port, writes the embedded firmware image into it and shows the outcome.
#include "scheme/kvSimpleForm_24F8870.h"

int main() { return RunProgram(); }
