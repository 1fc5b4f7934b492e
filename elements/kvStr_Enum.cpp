#include "elements/kvStr_Enum.h"

#include <cstring>

std::string CutPart(std::string& s, const std::string& delims) {
  // The search ends at the first byte 0 of the text, or at its end.
  std::size_t p = s.find_first_of(delims);
  if (p >= std::strlen(s.c_str())) p = s.size();
  std::string part = s.substr(0, p);
  // The rest starts delims.size() characters after the cut (erase stops at the end).
  s.erase(0, p + delims.size());
  return part;
}
