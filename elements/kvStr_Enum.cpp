#include "elements/kvStr_Enum.h"

#include <algorithm>
#include <cstring>

#include "winlib/Convert.h"

std::string CutPart(std::string& s, const std::string& delims) {
  // The search ends at the first byte 0 of the text, or at its end.
  const std::size_t searchEnd = std::min(s.size(), std::strlen(s.c_str()));
  std::size_t p = s.size();
  for (std::size_t i = 0; i < searchEnd; ++i) {
    if (delims.find(s[i]) != std::string::npos) {
      p = i;
      break;
    }
  }
  std::string part = s.substr(0, p);
  if (p >= s.size()) {
    s.clear();
  } else {
    // 1-based position of the cut is p + 1; the rest starts delims.size() further on.
    s = CopyEnd(s, static_cast<int>(std::min<std::size_t>(p + 1 + delims.size(), s.size() + 1)));
  }
  return part;
}
