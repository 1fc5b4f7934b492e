// What the two windowed element bases (TKvWin for child controls, TKvSimpleWin for the
// form) have in common, once: the properties that the scheme assigns before Init, the
// output points, the construction, Init's steps, doEnabled, the handlers that fire the
// outputs, the message filter's common part and the control's release.
//
// Points: input doEnabled (non-zero, or anything but the integer 0, enables); outputs
// onKeyDown, onKeyUp, onMouseDown, onMouseMove, onMouseUp, onMouseWheel, onSetFocus,
// onKillFocus, onDblClick, onResize, onShow, onMove, onMouseEnter, onMouseLeave (window
// thread).
#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "platform/winsys.h"
#include "runtime/Share.h"
#include "winlib/Controls.h"
#include "winlib/Objects.h"

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

class TKvWinBase : public TObj, public TWinProperties, public TWinEvents, public TWinHandlers {
 public:
  void doEnabled(TData& d, std::uint16_t index);

  // Creates the control (in the subclass) and applies the properties: the scheme runs it
  // once it has assigned them, never the object library at construction.
  static constexpr bool kInitByScheme = true;
  // Applies the properties to the control the subclass made, in their order (colour,
  // position, size, Ctl3D below 2, Enabled, Cursor, Flat, the font, TabOrder), hooks the
  // control's events, then Align, the frame change that makes the new styles take effect,
  // and Visible.
  void Init() override;
  TControl* Control() const { return control_; }

  // The handlers fire the outputs; the subclasses extend some of them.
  void KeyDown(int& key, DWORD shift) override;
  void KeyUp(int& key, DWORD shift) override;
  void MouseDown(const TMouseEventData& m) override;
  void MouseMove(const TMouseEventData& m) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void MouseUp(const TMouseEventData& m) override;
  void MouseWheel(const TMouseEventData& m) override;
  // Move, focus, resize and show outputs, and mouse enter and leave tracking. Never takes
  // the message.
  bool MessageFilter(TMsg& msg, LRESULT& result) override;
  // The control went first (freed with its parent): the element no longer owns it.
  void Detach() override;
  void Resize() override;
  void Show() override;

 protected:
  // Stores the parent and takes its colour; makes no window.
  explicit TKvWinBase(TControl* parent);
  // Frees the control unless it went first; it no longer reports to the element, which is
  // going, and leaves the screen before it is freed.
  ~TKvWinBase() override;
  // Hooks the control's events to the handlers; a subclass adds its own.
  virtual void HookEvents();
  bool ShownOnce() const { return shownOnce_; }

  TControl* control_ = nullptr;  // made by the subclass (at construction or in Init)
  TControl* const parent_;

 private:
  bool detached_ = false;
  bool shownOnce_ = false;
};

namespace winbase {

// The element becomes the control's owner and hears when the control is freed (from
// construction on for elements that make their control there: a control freed with its
// parent before Init must not be freed again by the element).
void WatchControl(TControl* control, TWinHandlers* handlers);

// Runs fn on the control's window thread (see SyncCall); false when the window was gone.
template <class F>
bool OnWindowThread(TControl* control, F&& fn) {
  return SyncCall(control, std::function<void()>(std::forward<F>(fn)));
}

}  // namespace winbase
