// The form's window kinds as a rule on the two style words: a kind decides its own bits
// whatever was there before and leaves every other bit. What each kind makes of the
// window (caption, sizing frame, boxes, tool window) is checked on real windows in
// kvSimpleForm_test.cpp.
#include <gtest/gtest.h>

#include "platform/winsys.h"
#include "window_elements/FormStyles.h"

namespace {

constexpr std::uint32_t kDecided = WS_CAPTION | WS_SIZEBOX | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr std::uint32_t kDecidedEx = WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE;
constexpr std::uint32_t kOthers = WS_SYSMENU | WS_VISIBLE | WS_CHILD;

TEST(FormStyles, AKindDecidesItsBitsWhateverWasThereAndKeepsTheRest) {
  const TFormStyles full{kDecided | kOthers, kDecidedEx | WS_EX_TOPMOST};
  const TFormStyles bare{WS_SYSMENU, 0};
  for (int kind = 0; kind <= 9; ++kind) {
    SCOPED_TRACE(kind);
    const TFormStyles a = FormBorderStyles(kind, full);
    const TFormStyles b = FormBorderStyles(kind, bare);
    EXPECT_EQ(a.Style & kDecided, b.Style & kDecided);
    EXPECT_EQ(a.ExStyle & kDecidedEx, b.ExStyle & kDecidedEx);
    EXPECT_EQ(a.Style & ~kDecided, kOthers);
    EXPECT_EQ(b.Style & ~kDecided, static_cast<std::uint32_t>(WS_SYSMENU));
    EXPECT_EQ(a.ExStyle & WS_EX_TOPMOST, static_cast<std::uint32_t>(WS_EX_TOPMOST));
    // The same kind again changes nothing more.
    const TFormStyles again = FormBorderStyles(kind, a);
    EXPECT_EQ(again.Style, a.Style);
    EXPECT_EQ(again.ExStyle, a.ExStyle);
  }
}

TEST(FormStyles, TheClientEdgeIsAddedNeverTakenAway) {
  // Kinds 8 and 9 add a client edge; no kind removes one that is there.
  const TFormStyles withEdge{WS_CAPTION, WS_EX_CLIENTEDGE};
  for (int kind = 0; kind <= 9; ++kind) {
    SCOPED_TRACE(kind);
    EXPECT_NE(FormBorderStyles(kind, withEdge).ExStyle & WS_EX_CLIENTEDGE, 0u);
  }
  EXPECT_NE(FormBorderStyles(8, TFormStyles{}).ExStyle & WS_EX_CLIENTEDGE, 0u);
  EXPECT_NE(FormBorderStyles(9, TFormStyles{}).ExStyle & WS_EX_CLIENTEDGE, 0u);
}

TEST(FormStyles, ValuesOutsideTheTableLeaveBothStyles) {
  const TFormStyles current{WS_CAPTION | WS_SIZEBOX | WS_SYSMENU, WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE};
  for (int kind : {10, 11, 255, 256, -1, 1 << 30}) {
    SCOPED_TRACE(kind);
    const TFormStyles s = FormBorderStyles(kind, current);
    EXPECT_EQ(s.Style, current.Style);
    EXPECT_EQ(s.ExStyle, current.ExStyle);
  }
}

}  // namespace
