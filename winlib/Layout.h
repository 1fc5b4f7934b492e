// The window library's rules that are plain arithmetic or table look-ups, kept apart from
// the window calls so that they build and are tested everywhere: child alignment, the
// option-bit style tables of edit fields, combo boxes and progress bars, the text
// alignment styles, the Windows version level, the choice of the next control in Tab
// order and the proportional fit of a picture into a rectangle.
#pragma once

#include <cstdint>
#include <vector>

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

// ---- Child alignment -------------------------------------------------------------------

enum TAlign : std::uint8_t { alNone = 0, alLeft = 1, alTop = 2, alRight = 3, alBottom = 4, alClient = 5 };

struct TAlignChild {
  std::uint8_t Align = alNone;
  bool Visible = true;
  TRect Bounds;  // in: current bounds; out: the aligned bounds
};

// Lays out the visible children with an alignment inside `area` (the parent's client
// rectangle less its client margins), in three passes over `children` in their order:
// top and bottom, then left and right, then client; `margin` is the gap between the edges.
// Children without alignment, and hidden ones, keep their bounds.
void AlignChildren(TRect area, int margin, std::vector<TAlignChild>& children);

// ---- Style tables ----------------------------------------------------------------------

// The style bits that edit options select (before the library's base style is added).
std::uint32_t EditOptionStyles(std::uint32_t options);
// The style bits that combo box options select.
std::uint32_t ComboOptionStyles(std::uint32_t options);
// The progress bar's style bits of its options (kProgressOption bits).
std::uint32_t ProgressOptionStyles(std::uint32_t options);

// Option bits (the style tables are in Layout.cpp).
constexpr std::uint32_t kEditOptionNoHScroll = 1u << 0;  // neither WS_HSCROLL nor ES_AUTOHSCROLL
constexpr std::uint32_t kEditOptionNoVScroll = 1u << 1;  // neither WS_VSCROLL nor ES_AUTOVSCROLL
constexpr std::uint32_t kEditOptionLowerCase = 1u << 2;
constexpr std::uint32_t kEditOptionMultiline = 1u << 3;
constexpr std::uint32_t kEditOptionPassword = 1u << 6;
constexpr std::uint32_t kEditOptionReadOnly = 1u << 7;
constexpr std::uint32_t kEditOptionUpperCase = 1u << 8;
constexpr std::uint32_t kEditOptionWantTab = 1u << 10;
constexpr std::uint32_t kEditOptionNumber = 1u << 11;
constexpr std::uint32_t kComboOptionList = 1u << 0;
constexpr std::uint32_t kComboOptionNoHScroll = 1u << 1;  // no CBS_AUTOHSCROLL
constexpr std::uint32_t kComboOptionSort = 1u << 6;
constexpr std::uint32_t kComboOptionUpperCase = 1u << 7;
constexpr std::uint32_t kComboOptionOwnerDraw = 1u << 8;
constexpr std::uint32_t kProgressOptionVertical = 1u << 0;
constexpr std::uint32_t kProgressOptionSmooth = 1u << 1;

// Kinds of control that differ in their text alignment, auto-size and list behaviour.
enum class TControlKind : std::uint8_t { Window, Button, Static, Edit, ComboBox, Progress };

// The style after choosing text alignment `align` (0 left, 1 right, 2 centre) for a
// control of `kind`: the kind's three alignment values are cleared from the low word, the
// chosen one set and the kind's clear mask removed. Kinds without text alignment keep
// their style.
std::uint32_t TextAlignStyle(TControlKind kind, std::uint32_t style, int align);

// Extra pixels that auto-size adds to the text extent (0: the size is not taken from the
// text in that direction).
int AutoSizeExtraWidth(TControlKind kind);
int AutoSizeExtraHeight(TControlKind kind);

// ---- Windows version level --------------------------------------------------------------

constexpr std::uint32_t kPlatformWin32Windows = 1;  // the 9x family
constexpr std::uint32_t kPlatformWin32Nt = 2;

// 6 for NT 6.0 and later, 5 for NT 5.x but 5.0, 4 for NT 5.0, 3 for NT 4 and earlier; on
// the 9x family 2 above 4.9 and 1 otherwise; 0 for anything else.
int WinVersionLevel(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor);

// ---- Tab order --------------------------------------------------------------------------

struct TTabCandidate {
  int TabOrder = 0;
  bool Eligible = false;  // visible, enabled and a tab stop
};

// The index of the control that Tab (forward) or Shift+Tab (backward) moves to from the
// control with tab position `current`: the next higher (lower) TabOrder among the eligible
// ones, wrapping to the lowest (highest); -1 when none is eligible. Equal positions keep
// the order of the list.
int NextTabIndex(const std::vector<TTabCandidate>& controls, int current, bool forward);

// ---- Proportional fit -------------------------------------------------------------------

struct TFit {
  TRect Picture;            // where the picture is drawn
  TRect Band1, Band2;       // the background bands on either side (may be empty)
};

// Fits a w x h picture into a W x H area keeping its proportions: full width when the area
// is relatively taller (ties too), else full height; the offset rounded to the nearest
// integer, halves to even. An empty picture or area gives the whole area as Band1.
TFit ProportionalFit(int W, int H, int w, int h);
