// The form's window kinds: BorderStyle 0..9 picks the border, caption and box bits of the
// window style and the frame bits of the extended style; every other bit stays.
#pragma once

#include <cstdint>

struct TFormStyles {
  std::uint32_t Style = 0;
  std::uint32_t ExStyle = 0;
};

// The styles after choosing `borderStyle`; values above 9 leave both as they are.
TFormStyles FormBorderStyles(int borderStyle, TFormStyles current);
