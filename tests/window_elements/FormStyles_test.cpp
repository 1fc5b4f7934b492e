// The form's window kinds: which bits each BorderStyle replaces and which it leaves.
#include <gtest/gtest.h>

#include "window_elements/FormStyles.h"

namespace {

constexpr std::uint32_t kBorder = 0x00800000, kDlgFrame = 0x00400000, kCaption = kBorder | kDlgFrame;
constexpr std::uint32_t kSizeBox = 0x00040000, kMinBox = 0x00020000, kMaxBox = 0x00010000;
constexpr std::uint32_t kSysMenu = 0x00080000, kVisible = 0x10000000, kChild = 0x40000000;
constexpr std::uint32_t kDlgModal = 0x1, kTool = 0x80, kWinEdge = 0x100, kClientEdge = 0x200, kTopmost = 0x8;

TEST(FormStyles, EachKindReplacesTheBorderBitsAndKeepsTheRest) {
  struct Row {
    int kind;
    std::uint32_t style, ex;
  };
  const Row rows[] = {
      {0, 0, 0},
      {1, kCaption | kMinBox, 0},
      {2, kCaption | kSizeBox | kMinBox | kMaxBox, 0},
      {3, kCaption, kWinEdge},
      {4, kCaption, kTool},
      {5, kCaption | kSizeBox, kTool},
      {6, 0, kDlgModal},
      {7, kSizeBox, kTool},
      {8, 0, kDlgModal | kClientEdge},
      {9, kSizeBox, kClientEdge},
  };
  // Every replaced bit set before, plus bits that must stay (the system menu among them).
  const TFormStyles full{kCaption | kSizeBox | kMinBox | kMaxBox | kSysMenu | kVisible | kChild,
                         kDlgModal | kTool | kWinEdge | kTopmost};
  const TFormStyles empty{kSysMenu, 0};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.kind);
    const TFormStyles a = FormBorderStyles(r.kind, full);
    EXPECT_EQ(a.Style, r.style | kSysMenu | kVisible | kChild);
    EXPECT_EQ(a.ExStyle, r.ex | kTopmost);
    const TFormStyles b = FormBorderStyles(r.kind, empty);
    EXPECT_EQ(b.Style, r.style | kSysMenu);
    EXPECT_EQ(b.ExStyle, r.ex);
  }
}

TEST(FormStyles, TheClientEdgeIsAddedNeverTakenAway) {
  // Kinds 8 and 9 add a client edge; no kind removes one that is there.
  const TFormStyles withEdge{kCaption, kClientEdge};
  for (int kind = 0; kind <= 9; ++kind) {
    SCOPED_TRACE(kind);
    EXPECT_NE(FormBorderStyles(kind, withEdge).ExStyle & kClientEdge, 0u);
  }
}

TEST(FormStyles, ValuesOutsideTheTableLeaveBothStyles) {
  const TFormStyles current{kCaption | kSizeBox | kSysMenu, kTool | kClientEdge};
  for (int kind : {10, 11, 255, 256, -1, 1 << 30}) {
    SCOPED_TRACE(kind);
    const TFormStyles s = FormBorderStyles(kind, current);
    EXPECT_EQ(s.Style, current.Style);
    EXPECT_EQ(s.ExStyle, current.ExStyle);
  }
}

}  // namespace
