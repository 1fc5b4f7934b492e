// Cutting a text into parts at delimiter characters.
#pragma once

#include <string>

// Returns the text before the first character of s that is any one character of delims
// (the search stops at the first byte 0 of s), and leaves in s what follows that character
// after skipping delims.size() characters in all. Without such a character the whole of s
// is the part and s becomes empty.
std::string CutPart(std::string& s, const std::string& delims);
