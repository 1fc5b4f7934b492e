// The runtime's debug message box: the text in a modal box captioned "String-Debug".
#pragma once

#include <string>

void DebugMessage(const std::string& text);

// The window that owns the box (the application's main form, or its first child); set by
// the window library once it has an application window. Unset: the box has no owner.
using TDebugOwnerProvider = void* (*)();
void SetDebugOwnerProvider(TDebugOwnerProvider provider);

// Replaces the box by a routine that receives the text and the caption (tests, and front
// ends without windows). nullptr restores the box.
using TDebugSink = void (*)(const std::string& text, const std::string& caption);
void SetDebugSink(TDebugSink sink);
