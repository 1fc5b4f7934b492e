// The base of the windowed elements that stand for child controls (label, button, edit
// field, list and combo box, progress bar, image). It holds the properties the scheme
// assigns, creates nothing until its subclass makes the control at Init, then applies the
// properties in a fixed order and hooks the control's events to its output points.
//
// Points: inputs doVisible (non-zero, or anything but the integer 0, shows), doEnabled;
// outputs onKeyDown, onKeyUp, onChar, onMouseDown, onMouseMove, onMouseUp, onMouseWheel,
// onSetFocus, onKillFocus, onDblClick, onResize, onShow, onMove, onMouseEnter,
// onMouseLeave (window thread); data points WidthPoint and HeightPoint (asked with the
// size difference while the window is being resized; an answer corrects it).
//
// Threads: the inputs may come from any thread; they act on the window on its own thread.
#pragma once

#include <cstdint>
#include <string>

#include "window_elements/WinBase.h"
#include "window_elements/kvHintManager.h"
#include "winlib/Objects.h"

// Flags: the list's items are drawn by the owner (the combo box).
constexpr std::uint32_t kWinFlagOwnerDraw = 1u << 3;

class TKvWin : public TObj, public TWinProperties, public TWinEvents, public TWinHandlers {
 public:
  explicit TKvWin(TControl* parent);

  std::string Hint;
  std::uint32_t Flags = 0;  // kWinFlag bits
  TEventPoint onChar;
  TEventPoint WidthPoint;
  TEventPoint HeightPoint;

  void doVisible(TData& d, std::uint16_t index);
  void doEnabled(TData& d, std::uint16_t index);

  // Creates the control (in the subclass) and applies the properties: the scheme runs it
  // once it has assigned them, never the object library at construction.
  static constexpr bool kInitByScheme = true;
  void Init() override;
  // After the scheme is built: a tooltip when Hint is not empty (iface null: the default
  // manager's).
  void HookUpHint(const THintInterface* iface);

  TControl* Control() const { return control_; }
  TControl* ParentControl() const { return parent_; }
  std::uint8_t BorderStyle = 0;  // applied when Ctl3D is 0

  // Handlers (see WinBase.h); subclasses extend some of them.
  void KeyDown(int& key, DWORD shift) override;
  void KeyUp(int& key, DWORD shift) override;
  virtual void Char(char& key, DWORD shift);
  void MouseDown(const TMouseEventData& m) override;
  void MouseMove(const TMouseEventData& m) override;
  void MouseEnter() override;
  void MouseLeave() override;
  void MouseUp(const TMouseEventData& m) override;
  void MouseWheel(const TMouseEventData& m) override;
  bool MessageFilter(TMsg& msg, LRESULT& result) override;
  void Detach() override;
  void Resize() override;
  void Show() override;

 protected:
  ~TKvWin() override;
  // Set by the subclass before TKvWin::Init runs.
  TControl* control_ = nullptr;

 private:
  void CorrectSize(WINDOWPOS& pos);

  TControl* parent_;
  bool detached_ = false;
  bool shownOnce_ = false;
  TTooltipRecord* hint_ = nullptr;
  const THintInterface* hintInterface_ = nullptr;
};
