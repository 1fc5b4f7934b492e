// The window library's pure rules: child alignment, text alignment, version levels, Tab
// order and the proportional fit. What the option bits make of controls is checked on
// real controls (controls_test.cpp).
#include "winlib/Layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "platform/winsys.h"

namespace {

// ---- Alignment -------------------------------------------------------------------------

TEST(Align, TopLeftClientFillTheAreaWithGapsWhateverTheCreationOrder) {
  // The area 200 x 100, margin 2; the top child is 20 high, the left one 30 wide.
  const TRect top{2, 2, 198, 22};
  const TRect left{2, 24, 32, 98};
  const TRect client{34, 24, 198, 98};
  std::array<std::uint8_t, 3> order{alTop, alLeft, alClient};
  std::sort(order.begin(), order.end());
  int permutations = 0;
  do {
    std::vector<TAlignChild> children;
    for (std::uint8_t a : order) {
      TAlignChild c;
      c.Align = a;
      c.Bounds = TRect{50, 50, 50 + 30, 50 + 20};  // 30 x 20 wherever it was
      children.push_back(c);
    }
    AlignChildren(TRect{0, 0, 200, 100}, 2, children);
    for (const TAlignChild& c : children) {
      const TRect& want = c.Align == alTop ? top : c.Align == alLeft ? left : client;
      EXPECT_EQ(c.Bounds, want) << "align " << int(c.Align) << " in order " << int(order[0]) << int(order[1])
                                << int(order[2]);
    }
    ++permutations;
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(permutations, 6);
}

TEST(Align, RightBottomHiddenUnalignedAndTooSmall) {
  std::vector<TAlignChild> c(5);
  c[0].Align = alBottom;
  c[0].Bounds = TRect{0, 0, 10, 10};
  c[1].Align = alRight;
  c[1].Bounds = TRect{0, 0, 15, 10};
  c[2].Align = alClient;
  c[2].Visible = false;  // hidden: keeps its bounds and takes no room
  c[2].Bounds = TRect{1, 2, 3, 4};
  c[3].Align = alNone;
  c[3].Bounds = TRect{7, 7, 9, 9};
  c[4].Align = alClient;
  AlignChildren(TRect{10, 20, 110, 70}, 3, c);  // the area already less the client margins
  EXPECT_EQ(c[0].Bounds, (TRect{13, 57, 107, 67}));
  EXPECT_EQ(c[1].Bounds, (TRect{92, 23, 107, 54}));
  EXPECT_EQ(c[2].Bounds, (TRect{1, 2, 3, 4}));
  EXPECT_EQ(c[3].Bounds, (TRect{7, 7, 9, 9}));
  EXPECT_EQ(c[4].Bounds, (TRect{13, 23, 89, 54}));

  // An area too small for the margins: right raised to left, bottom to top.
  std::vector<TAlignChild> tiny(1);
  tiny[0].Align = alClient;
  AlignChildren(TRect{0, 0, 3, 3}, 2, tiny);
  EXPECT_EQ(tiny[0].Bounds, (TRect{2, 2, 2, 2}));
}

// ---- Style tables ----------------------------------------------------------------------

// Style words as the rules take them (the names are long constants on Windows).
constexpr std::uint32_t U(std::uint32_t bits) { return bits; }

TEST(Styles, TextAlignmentPerKind) {
  // The other bits stay; a label's alignment also drops SS_LEFTNOWORDWRAP, so it wraps words.
  constexpr std::uint32_t label = U(WS_CHILD | SS_NOTIFY | SS_NOPREFIX | SS_LEFTNOWORDWRAP);
  constexpr std::uint32_t labelBase = U(WS_CHILD | SS_NOTIFY | SS_NOPREFIX);
  EXPECT_EQ(TextAlignStyle(TControlKind::Static, label, 1), U(labelBase | SS_RIGHT));
  EXPECT_EQ(TextAlignStyle(TControlKind::Static, label, 2), U(labelBase | SS_CENTER));
  EXPECT_EQ(TextAlignStyle(TControlKind::Static, label, 0), U(labelBase | SS_LEFT));
  constexpr std::uint32_t button = U(WS_CHILD | WS_TABSTOP | BS_PUSHLIKE);
  EXPECT_EQ(TextAlignStyle(TControlKind::Button, button, 2), U(button | BS_CENTER));
  EXPECT_EQ(TextAlignStyle(TControlKind::Button, U(button | BS_CENTER), 0), U(button | BS_LEFT));
  EXPECT_EQ(TextAlignStyle(TControlKind::Button, U(button | BS_CENTER), 1), U(button | BS_RIGHT));
  EXPECT_EQ(TextAlignStyle(TControlKind::Edit, U(WS_CHILD | ES_RIGHT), 2), U(WS_CHILD | ES_CENTER));
  // Kinds without alignment and values out of range keep the style.
  constexpr std::uint32_t combo = U(WS_CHILD | CBS_HASSTRINGS | CBS_DROPDOWN);
  EXPECT_EQ(TextAlignStyle(TControlKind::ComboBox, combo, 1), combo);
  EXPECT_EQ(TextAlignStyle(TControlKind::Static, label, 3), label);
  EXPECT_EQ(TextAlignStyle(TControlKind::Static, label, -1), label);
  EXPECT_EQ(AutoSizeExtraWidth(TControlKind::Button), 14);
  EXPECT_EQ(AutoSizeExtraHeight(TControlKind::Button), 0);
  EXPECT_EQ(AutoSizeExtraWidth(TControlKind::Static), 1);
  EXPECT_EQ(AutoSizeExtraHeight(TControlKind::Static), 1);
  EXPECT_EQ(AutoSizeExtraWidth(TControlKind::Edit), 0);
  EXPECT_EQ(AutoSizeExtraHeight(TControlKind::Edit), 6);
}

// ---- Version ---------------------------------------------------------------------------

TEST(Version, Levels) {
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Nt, 10, 0), 6);
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Nt, 6, 1), 6);
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Nt, 5, 2), 5);
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Nt, 5, 1), 5);
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Nt, 5, 0), 4);
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Nt, 4, 0), 3);
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Nt, 3, 51), 3);
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Windows, 4, 90), 2);
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Windows, 4, 10), 2);
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Windows, 4, 9), 1);
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Windows, 4, 0), 1);
  EXPECT_EQ(WinVersionLevel(kPlatformWin32Windows, 5, 0), 2);
  EXPECT_EQ(WinVersionLevel(0, 10, 0), 0);
  EXPECT_EQ(WinVersionLevel(3, 10, 0), 0);
}

// ---- Tab order -------------------------------------------------------------------------

TEST(TabOrder, NextAndPreviousWithWrapAround) {
  // List order differs from tab order on purpose.
  const std::vector<TTabCandidate> c = {{2, true}, {0, true}, {5, true}, {1, false}, {3, true}};
  EXPECT_EQ(NextTabIndex(c, 1, true), 0);    // 0 -> 2
  EXPECT_EQ(NextTabIndex(c, 0, true), 4);    // 2 -> 3
  EXPECT_EQ(NextTabIndex(c, 2, true), 1);    // 5 -> wraps to 0
  EXPECT_EQ(NextTabIndex(c, 1, false), 2);   // first -> wraps to the highest
  EXPECT_EQ(NextTabIndex(c, 4, false), 0);   // 3 -> 2 (1 is not eligible)
  EXPECT_EQ(NextTabIndex(c, 3, true), 0);    // from an ineligible control: 1 -> 2
  EXPECT_EQ(NextTabIndex(c, -1, true), 1);   // no current: the lowest
  EXPECT_EQ(NextTabIndex(c, -1, false), 2);  // no current: the highest
}

TEST(TabOrder, TiesKeepTheListOrderAndNoneEligible) {
  const std::vector<TTabCandidate> c = {{1, true}, {1, true}, {1, true}};
  EXPECT_EQ(NextTabIndex(c, 0, true), 1);
  EXPECT_EQ(NextTabIndex(c, 1, true), 2);
  EXPECT_EQ(NextTabIndex(c, 2, true), 0);
  EXPECT_EQ(NextTabIndex(c, 0, false), 2);
  EXPECT_EQ(NextTabIndex(c, 2, false), 1);
  // Alone: no other control to go to.
  EXPECT_EQ(NextTabIndex({{1, true}}, 0, true), -1);
  EXPECT_EQ(NextTabIndex({{1, false}, {2, false}}, 0, true), -1);
  EXPECT_EQ(NextTabIndex({}, -1, false), -1);
}

// ---- Proportional fit ------------------------------------------------------------------

TEST(Fit, FullWidthOrFullHeightWithBands) {
  TFit f = ProportionalFit(100, 200, 50, 50);  // taller area: full width, bands above and below
  EXPECT_EQ(f.Picture, (TRect{0, 50, 100, 150}));
  EXPECT_EQ(f.Band1, (TRect{0, 0, 100, 50}));
  EXPECT_EQ(f.Band2, (TRect{0, 150, 100, 200}));
  f = ProportionalFit(300, 100, 100, 100);  // wider area: full height, bands left and right
  EXPECT_EQ(f.Picture, (TRect{100, 0, 200, 100}));
  EXPECT_EQ(f.Band1, (TRect{0, 0, 100, 100}));
  EXPECT_EQ(f.Band2, (TRect{200, 0, 300, 100}));
  f = ProportionalFit(80, 40, 16, 8);  // same proportions: full width, empty bands
  EXPECT_EQ(f.Picture, (TRect{0, 0, 80, 40}));
  EXPECT_EQ(f.Band1.Height(), 0);
}

TEST(Fit, HalvesRoundToEven) {
  EXPECT_EQ(ProportionalFit(100, 101, 100, 100).Picture.Top, 0);  // 0.5 -> 0
  EXPECT_EQ(ProportionalFit(100, 103, 100, 100).Picture.Top, 2);  // 1.5 -> 2
  EXPECT_EQ(ProportionalFit(100, 105, 100, 100).Picture.Top, 2);  // 2.5 -> 2
  EXPECT_EQ(ProportionalFit(100, 106, 100, 100).Picture.Top, 3);  // 3.0
  EXPECT_EQ(ProportionalFit(107, 100, 100, 100).Picture.Left, 4);  // 3.5 -> 4
  EXPECT_EQ(ProportionalFit(100, 100, 3, 2).Picture.Top, 17);     // (300-200)/6 = 16.67 -> 17
  // Large values do not overflow.
  const TFit big = ProportionalFit(30000, 40000, 30000, 1);
  EXPECT_EQ(big.Picture.Top, 20000);
}

TEST(Fit, EmptyPictureOrAreaIsAllBackground) {
  EXPECT_EQ(ProportionalFit(100, 50, 0, 10).Band1, (TRect{0, 0, 100, 50}));
  EXPECT_EQ(ProportionalFit(100, 50, 10, 0).Picture, (TRect{}));
  EXPECT_EQ(ProportionalFit(-5, 50, 10, 10).Band1, (TRect{0, 0, 0, 50}));
  EXPECT_EQ(ProportionalFit(0, 0, 10, 10).Band1, (TRect{}));
}

}  // namespace
