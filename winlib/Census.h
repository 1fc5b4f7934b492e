// Counts of what the window library holds from the system: windows, window classes,
// GDI objects, device contexts and loaded modules. Every place that makes or releases
// one of them reports it here, so a test can see that a cycle of creating and destroying
// windows gives everything back (the system's own counters are not available everywhere:
// wine answers GetGuiResources with 0).
#pragma once

#include <atomic>
#include <cstdint>

enum class TCensusKind : int { Window, WindowClass, GdiObject, DeviceContext, Module, Count };

void CensusAdd(TCensusKind kind);
void CensusRemove(TCensusKind kind);
// What is held right now of that kind.
std::int64_t CensusHeld(TCensusKind kind);
// What was ever made of that kind.
std::int64_t CensusMade(TCensusKind kind);
