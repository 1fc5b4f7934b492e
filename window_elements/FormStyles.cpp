#include "window_elements/FormStyles.h"

// Only the style names: nothing here calls the window system.
#include "platform/winsys.h"

namespace {

// The bits a window kind decides; every other bit (WS_SYSMENU among them) stays.
constexpr std::uint32_t kStyleMask = WS_BORDER | WS_DLGFRAME | WS_SIZEBOX | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr std::uint32_t kExMask = WS_EX_DLGMODALFRAME | WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE;

constexpr TFormStyles kKinds[10] = {
    {0, 0},
    {WS_CAPTION | WS_MINIMIZEBOX, 0},
    {WS_CAPTION | WS_SIZEBOX | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, 0},
    {WS_CAPTION, WS_EX_WINDOWEDGE},
    {WS_CAPTION, WS_EX_TOOLWINDOW},
    {WS_CAPTION | WS_SIZEBOX, WS_EX_TOOLWINDOW},
    {0, WS_EX_DLGMODALFRAME},
    {WS_SIZEBOX, WS_EX_TOOLWINDOW},
    {0, WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE},
    {WS_SIZEBOX, WS_EX_CLIENTEDGE},
};

}  // namespace

TFormStyles FormBorderStyles(int borderStyle, TFormStyles current) {
  if (borderStyle < 0 || borderStyle > 9) return current;
  const TFormStyles& k = kKinds[borderStyle];
  // The extended bits outside the replaced ones (the client edge of kinds 8 and 9 among
  // them) are added to what is there.
  return TFormStyles{(current.Style & ~kStyleMask) | k.Style, (current.ExStyle & ~kExMask) | k.ExStyle};
}
