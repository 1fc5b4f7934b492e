// What the two windowed element bases (TKvWin for child controls, TKvSimpleWin for the
// form) have in common: the properties that the scheme assigns before Init, the output
// points, and the steps of Init and of the message filter that both run the same way.
#pragma once

#include <cstdint>

#include "platform/winsys.h"
#include "runtime/Share.h"
#include "winlib/Controls.h"

struct TWinProperties {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  std::uint8_t Align = 0;
  int TabOrder = 0;        // 1 or more: a tab stop at that position
  std::int32_t Color = 0;  // the parent's colour at construction
  std::uint8_t Ctl3D = 2;  // 0 sunken, 1 flat, 2 as created
  TFontRec Font;
  bool ParentFont = false;
  bool Visible = true;
  bool Enabled = true;
  HCURSOR Cursor = nullptr;
  bool MouseCapture = false;
  bool Flat = false;
};

struct TWinEvents {
  TEventPoint onKeyDown;
  TEventPoint onKeyUp;
  TEventPoint onMouseDown;
  TEventPoint onMouseMove;
  TEventPoint onMouseUp;
  TEventPoint onMouseWheel;
  TEventPoint onSetFocus;
  TEventPoint onKillFocus;
  TEventPoint onDblClick;
  TEventPoint onResize;
  TEventPoint onShow;
  TEventPoint onMove;
  TEventPoint onMouseEnter;
  TEventPoint onMouseLeave;
};

// The handlers an element gives its control (the element's virtual operations).
class TWinHandlers {
 public:
  virtual ~TWinHandlers() = default;
  virtual void KeyDown(int& key, DWORD shift) = 0;
  virtual void KeyUp(int& key, DWORD shift) = 0;
  virtual void MouseDown(const TMouseEventData& m) = 0;
  virtual void MouseMove(const TMouseEventData& m) = 0;
  virtual void MouseEnter() = 0;
  virtual void MouseLeave() = 0;
  virtual void MouseUp(const TMouseEventData& m) = 0;
  virtual void MouseWheel(const TMouseEventData& m) = 0;
  // Runs before the control's own handling of every message; true takes the message.
  virtual bool MessageFilter(TMsg& msg, LRESULT& result) = 0;
  virtual void Detach() = 0;
  virtual void Resize() = 0;
  virtual void Show() = 0;
};

namespace winbase {

// The size and layout steps of Init, in their order: colour, position, size, Ctl3D (below
// 2), Enabled, Cursor, Flat, the font (the parent's, or from Font), TabOrder.
void ApplyProperties(TControl* control, const TWinProperties& p);
// The element becomes the control's owner and hears when the control is freed (from
// construction on for elements that make their control there: a control freed with its
// parent before Init must not be freed again by the element).
void WatchControl(TControl* control, TWinHandlers* handlers);
// The element's destruction: frees its control unless the control went first (detached);
// the control no longer reports to the element, which is going, and leaves the screen
// before it is freed.
void ReleaseControl(TControl*& control, bool detached);
// Hooks the control's events to the handlers (WatchControl included).
void HookHandlers(TControl* control, TWinHandlers* handlers);
// Align, the frame change that makes the new styles take effect, Visible.
void ApplyLayout(TControl* control, const TWinProperties& p);

// The message filter's common part: move, focus, resize and show outputs, and mouse enter
// and leave tracking. Never takes the message.
void FilterCommon(TControl* control, TWinHandlers* handlers, const TWinEvents& events, TMsg& msg, bool& shownOnce);

// The base behaviour of the mouse and key handlers.
void MouseDownCommon(TControl* control, const TWinProperties& p, const TWinEvents& events, const TMouseEventData& m);
void MouseUpCommon(TControl* control, const TWinProperties& p, const TWinEvents& events, const TMouseEventData& m);
void MouseMoveCommon(const TWinEvents& events, const TMouseEventData& m);
void KeyCommon(const TEventPoint& point, int& key);

// Runs fn on the control's window thread (see SyncCall).
template <class F>
void OnWindowThread(TControl* control, F&& fn) {
  SyncCall(control, std::function<void()>(std::forward<F>(fn)));
}

}  // namespace winbase
