#include "winlib/Layout.h"

#include <cstdint>

// ---- Child alignment -------------------------------------------------------------------

void AlignChildren(TRect area, int margin, std::vector<TAlignChild>& children) {
  TRect free = area;
  const int m = margin;
  auto pass = [&](auto accepts, auto place) {
    for (TAlignChild& c : children) {
      if (!c.Visible || !accepts(c.Align)) continue;
      TRect& b = c.Bounds;
      const int w = b.Width();
      const int h = b.Height();
      place(c.Align, b, w, h);
      if (b.Right < b.Left) b.Right = b.Left;
      if (b.Bottom < b.Top) b.Bottom = b.Top;
    }
  };
  pass([](std::uint8_t a) { return a == alTop || a == alBottom; },
       [&](std::uint8_t a, TRect& b, int, int h) {
         b.Left = free.Left + m;
         b.Right = free.Right - m;
         if (a == alTop) {
           b.Top = free.Top + m;
           b.Bottom = b.Top + h;
           free.Top += m + h;
         } else {
           b.Bottom = free.Bottom - m;
           b.Top = b.Bottom - h;
           free.Bottom -= m + h;
         }
       });
  pass([](std::uint8_t a) { return a == alLeft || a == alRight; },
       [&](std::uint8_t a, TRect& b, int w, int) {
         b.Top = free.Top + m;
         b.Bottom = free.Bottom - m;
         if (a == alLeft) {
           b.Left = free.Left + m;
           b.Right = b.Left + w;
           free.Left += m + w;
         } else {
           b.Right = free.Right - m;
           b.Left = b.Right - w;
           free.Right -= m + w;
         }
       });
  pass([](std::uint8_t a) { return a == alClient; },
       [&](std::uint8_t, TRect& b, int, int) {
         b = TRect{free.Left + m, free.Top + m, free.Right - m, free.Bottom - m};
       });
}

// ---- Style tables ----------------------------------------------------------------------

namespace {

struct TOptionBit {
  std::uint32_t styles;
  bool whenClear;  // applied when the option bit is clear instead of set
};

std::uint32_t OptionStyles(const TOptionBit* table, int n, std::uint32_t options) {
  std::uint32_t style = 0;
  for (int i = 0; i < n; ++i) {
    const bool set = (options >> i) & 1u;
    if (set != table[i].whenClear) style |= table[i].styles;
  }
  return style;
}

constexpr std::uint32_t kWsHScroll = 0x00100000, kWsVScroll = 0x00200000;

constexpr TOptionBit kEditBits[] = {
    {kWsHScroll | 0x0080, true},  // ES_AUTOHSCROLL
    {kWsVScroll | 0x0040, true},  // ES_AUTOVSCROLL
    {0x0010, false},              // ES_LOWERCASE
    {0x0004, false},              // ES_MULTILINE
    {0x0100, false},              // ES_NOHIDESEL
    {0x0400, false},              // ES_OEMCONVERT
    {0x0020, false},              // ES_PASSWORD
    {0x0800, false},              // ES_READONLY
    {0x0008, false},              // ES_UPPERCASE
    {0x1000, false},              // ES_WANTRETURN
    {0, false},                   // want tab: no style of its own
    {0x2000, false},              // ES_NUMBER
};

constexpr TOptionBit kComboBits[] = {
    {0x0003, false},  // CBS_DROPDOWNLIST
    {0x0040, true},   // CBS_AUTOHSCROLL
    {0x0800, false},  // CBS_DISABLENOSCROLL
    {0x4000, false},  // CBS_LOWERCASE
    {0x0400, false},  // CBS_NOINTEGRALHEIGHT
    {0x0080, false},  // CBS_OEMCONVERT
    {0x0100, false},  // CBS_SORT
    {0x2000, false},  // CBS_UPPERCASE
    {0x0010, false},  // CBS_OWNERDRAWFIXED
    {0x0020, false},  // CBS_OWNERDRAWVARIABLE
    {0x0001, false},  // CBS_SIMPLE
};

}  // namespace

std::uint32_t EditOptionStyles(std::uint32_t options) {
  return OptionStyles(kEditBits, sizeof kEditBits / sizeof kEditBits[0], options);
}

std::uint32_t ComboOptionStyles(std::uint32_t options) {
  return OptionStyles(kComboBits, sizeof kComboBits / sizeof kComboBits[0], options);
}

std::uint32_t ProgressOptionStyles(std::uint32_t options) {
  std::uint32_t style = 0;
  if (options & 1u) style |= 0x04;  // PBS_VERTICAL
  if (options & 2u) style |= 0x01;  // PBS_SMOOTH
  return style;
}

std::uint32_t TextAlignStyle(TControlKind kind, std::uint32_t style, int align) {
  if (align < 0 || align > 2) return style;
  struct TAligns {
    std::uint32_t values[3];  // left, right, centre
    std::uint32_t clearMask;
  };
  TAligns a;
  switch (kind) {
    case TControlKind::Button: a = {{0x100, 0x200, 0x300}, 0}; break;
    case TControlKind::Static: a = {{0x0, 0x2, 0x1}, 0x0C}; break;
    case TControlKind::Edit: a = {{0x0, 0x2, 0x1}, 0}; break;
    default: return style;
  }
  const std::uint32_t all = a.values[0] | a.values[1] | a.values[2];
  style &= ~all;
  style |= a.values[align];
  style &= ~a.clearMask;
  return style;
}

int AutoSizeExtraWidth(TControlKind kind) {
  switch (kind) {
    case TControlKind::Button: return 14;
    case TControlKind::Static: return 1;
    default: return 0;
  }
}

int AutoSizeExtraHeight(TControlKind kind) {
  switch (kind) {
    case TControlKind::Static: return 1;
    case TControlKind::Edit: return 6;
    default: return 0;
  }
}

// ---- Windows version level --------------------------------------------------------------

int WinVersionLevel(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor) {
  if (platformId == kPlatformWin32Nt) {
    if (major >= 6) return 6;
    if (major <= 4) return 3;
    return minor == 0 ? 4 : 5;
  }
  if (platformId == kPlatformWin32Windows) return (major > 4 || (major == 4 && minor > 9)) ? 2 : 1;
  return 0;
}

// ---- Tab order --------------------------------------------------------------------------

int NextTabIndex(const std::vector<TTabCandidate>& controls, int current, bool forward) {
  // Controls are ordered by (TabOrder, position in the list).
  auto before = [&](int a, int b) {
    return controls[a].TabOrder != controls[b].TabOrder ? controls[a].TabOrder < controls[b].TabOrder : a < b;
  };
  const int n = static_cast<int>(controls.size());
  const bool hasCurrent = current >= 0 && current < n;
  int best = -1;   // the nearest one past the current control in the direction
  int wrap = -1;   // the first one of the whole order in the direction
  for (int i = 0; i < n; ++i) {
    if (!controls[i].Eligible || i == current) continue;
    if (forward) {
      if (hasCurrent && before(current, i) && (best < 0 || before(i, best))) best = i;
      if (wrap < 0 || before(i, wrap)) wrap = i;
    } else {
      if (hasCurrent && before(i, current) && (best < 0 || before(best, i))) best = i;
      if (wrap < 0 || before(wrap, i)) wrap = i;
    }
  }
  return best >= 0 ? best : wrap;
}

// ---- Proportional fit -------------------------------------------------------------------

namespace {

// num / den rounded to the nearest integer, halves to even (num >= 0, den > 0).
std::int64_t RoundHalfEven(std::int64_t num, std::int64_t den) {
  std::int64_t q = num / den;
  const std::int64_t r2 = (num % den) * 2;
  if (r2 > den || (r2 == den && (q & 1) != 0)) ++q;
  return q;
}

}  // namespace

TFit ProportionalFit(int W, int H, int w, int h) {
  TFit f;
  if (w <= 0 || h <= 0 || W <= 0 || H <= 0) {
    f.Band1 = TRect{0, 0, W > 0 ? W : 0, H > 0 ? H : 0};
    return f;
  }
  const std::int64_t Hw = static_cast<std::int64_t>(H) * w;
  const std::int64_t Wh = static_cast<std::int64_t>(W) * h;
  if (Hw >= Wh) {
    // T = (H - W*h/w) / 2 = (H*w - W*h) / (2*w)
    const int T = static_cast<int>(RoundHalfEven(Hw - Wh, 2 * static_cast<std::int64_t>(w)));
    f.Picture = TRect{0, T, W, H - T};
    f.Band1 = TRect{0, 0, W, T};
    f.Band2 = TRect{0, H - T, W, H};
  } else {
    const int L = static_cast<int>(RoundHalfEven(Wh - Hw, 2 * static_cast<std::int64_t>(h)));
    f.Picture = TRect{L, 0, W - L, H};
    f.Band1 = TRect{0, 0, L, H};
    f.Band2 = TRect{W - L, 0, W, H};
  }
  return f;
}
