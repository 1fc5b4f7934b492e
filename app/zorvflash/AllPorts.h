// Several ports at once (--all): one process of this program per port (--worker), started
// and watched from here. The operating system keeps the ports apart: each process has its
// own scheme gate, so a fault, a hang-up, a stuck line or the completion pause on one port
// holds up no other. A stop request is passed on to every port's process; one that has
// not ended a few seconds later is killed. The processes end with this one whatever ends
// it (see platform/process.h).
#pragma once

#include "app/zorvflash/Options.h"

struct TFirmwareImage;

// Flashes every port of the options at once; returns the exit code (see PortTable.h).
int FlashAll(const TFlashOptions& options, const TFirmwareImage& image);
