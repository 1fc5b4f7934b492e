// Helpers shared by the system controls of the headless window system.
#pragma once

#include <memory>
#include <string>

#include "headless_win32/internal.h"

namespace zorv::winsys {

// The control state of a window of a system class (null when it has none of that kind).
template <class T>
std::shared_ptr<T> StateOf(HWND hwnd) {
  Lock lock(S().mutex);
  auto w = FindWindowLocked(hwnd);
  return w ? std::dynamic_pointer_cast<T>(w->control) : nullptr;
}

inline void SetState(HWND hwnd, std::shared_ptr<ControlState> state) {
  Lock lock(S().mutex);
  if (auto w = FindWindowLocked(hwnd)) w->control = std::move(state);
}

// WM_COMMAND with the control's id and a notification code to its parent.
void NotifyParent(HWND hwnd, UINT code);
// The brush the parent gives for WM_CTLCOLOR* (the default one when it gives none).
HBRUSH ControlBrush(HWND hwnd, HDC dc, UINT ctlColorMsg);
// A control's WM_PAINT: background from WM_CTLCOLOR*, then its text.
void PaintFilledText(HWND hwnd, UINT ctlColorMsg, HFONT font, const std::u16string& text, UINT format);
std::u16string TextOf(HWND hwnd);
DWORD StyleOf(HWND hwnd);
// WM_SETFONT (repainting when lParam says so) and WM_GETFONT of a control that keeps its font.
LRESULT FontMessage(HFONT& font, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

LRESULT CALLBACK ComboBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK ComboListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// For the test controls: where the user clicks to choose item `index` of a combo box.
struct ComboChoice {
  HWND list = nullptr;
  POINT comboPoint{};  // in the combo box's client area: its drop-down button
  POINT listPoint{};   // in the drop-down list's client area: the item
};
bool ComboChoicePoints(HWND combo, int index, ComboChoice* out);

}  // namespace zorv::winsys
