#include "window_elements/FormStyles.h"

namespace {

constexpr std::uint32_t kBorder = 0x00800000;       // WS_BORDER
constexpr std::uint32_t kDlgFrame = 0x00400000;     // WS_DLGFRAME
constexpr std::uint32_t kCaption = kBorder | kDlgFrame;
constexpr std::uint32_t kSizeBox = 0x00040000;      // WS_SIZEBOX
constexpr std::uint32_t kMinimizeBox = 0x00020000;  // WS_MINIMIZEBOX
constexpr std::uint32_t kMaximizeBox = 0x00010000;  // WS_MAXIMIZEBOX
constexpr std::uint32_t kDlgModalFrame = 0x00000001;
constexpr std::uint32_t kToolWindow = 0x00000080;
constexpr std::uint32_t kWindowEdge = 0x00000100;
constexpr std::uint32_t kClientEdge = 0x00000200;

constexpr std::uint32_t kStyleMask = kBorder | kDlgFrame | kSizeBox | kMinimizeBox | kMaximizeBox;
constexpr std::uint32_t kExMask = kDlgModalFrame | kToolWindow | kWindowEdge;

constexpr TFormStyles kKinds[10] = {
    {0, 0},
    {kCaption | kMinimizeBox, 0},
    {kCaption | kSizeBox | kMinimizeBox | kMaximizeBox, 0},
    {kCaption, kWindowEdge},
    {kCaption, kToolWindow},
    {kCaption | kSizeBox, kToolWindow},
    {0, kDlgModalFrame},
    {kSizeBox, kToolWindow},
    {0, kDlgModalFrame | kClientEdge},
    {kSizeBox, kClientEdge},
};

}  // namespace

TFormStyles FormBorderStyles(int borderStyle, TFormStyles current) {
  if (borderStyle < 0 || borderStyle > 9) return current;
  const TFormStyles& k = kKinds[borderStyle];
  // The extended bits outside the replaced ones (the client edge of kinds 8 and 9 among
  // them) are added to what is there.
  return TFormStyles{(current.Style & ~kStyleMask) | k.Style, (current.ExStyle & ~kExMask) | k.ExStyle};
}
