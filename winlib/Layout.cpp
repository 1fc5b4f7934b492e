#include "winlib/Layout.h"

#include <cstdint>

// Only the style names: nothing here calls the window system.
#include "platform/winsys.h"

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

constexpr TOptionBit kEditBits[] = {
    {WS_HSCROLL | ES_AUTOHSCROLL, true},
    {WS_VSCROLL | ES_AUTOVSCROLL, true},
    {ES_LOWERCASE, false},
    {ES_MULTILINE, false},
    {ES_NOHIDESEL, false},
    {ES_OEMCONVERT, false},
    {ES_PASSWORD, false},
    {ES_READONLY, false},
    {ES_UPPERCASE, false},
    {ES_WANTRETURN, false},
    {0, false},  // want tab: no style of its own
    {ES_NUMBER, false},
};

constexpr TOptionBit kComboBits[] = {
    {CBS_DROPDOWNLIST, false},
    {CBS_AUTOHSCROLL, true},
    {CBS_DISABLENOSCROLL, false},
    {CBS_LOWERCASE, false},
    {CBS_NOINTEGRALHEIGHT, false},
    {CBS_OEMCONVERT, false},
    {CBS_SORT, false},
    {CBS_UPPERCASE, false},
    {CBS_OWNERDRAWFIXED, false},
    {CBS_OWNERDRAWVARIABLE, false},
    {CBS_SIMPLE, false},
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
  if (options & kProgressOptionVertical) style |= PBS_VERTICAL;
  if (options & kProgressOptionSmooth) style |= PBS_SMOOTH;
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
    case TControlKind::Button: a = {{BS_LEFT, BS_RIGHT, BS_CENTER}, 0}; break;
    // Any alignment of a label drops SS_LEFTNOWORDWRAP's bits: an aligned label wraps words.
    case TControlKind::Static: a = {{SS_LEFT, SS_RIGHT, SS_CENTER}, SS_LEFTNOWORDWRAP}; break;
    case TControlKind::Edit: a = {{ES_LEFT, ES_RIGHT, ES_CENTER}, 0}; break;
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
