// The leaner windowed element base of the form element: the same properties and events as
// TKvWin without the hint, the companion control, the character event and the size data
// points, for a top-level window.
//
// Points: input doEnabled; outputs as TKvWin's but onChar.
#pragma once

#include <cstdint>

#include "window_elements/WinBase.h"
#include "winlib/Objects.h"

class TKvSimpleWin : public TObj, public TWinProperties, public TWinEvents, public TWinHandlers {
 public:
  explicit TKvSimpleWin(TControl* parent);

  void* LayoutSlot = nullptr;  // a layout manager (none in this program)
  int LayoutArg1 = 0, LayoutArg2 = 0;

  void doEnabled(TData& d, std::uint16_t index);

  // Creates the control (in the subclass) and applies the properties: the scheme runs it
  // once it has assigned them, never the object library at construction.
  static constexpr bool kInitByScheme = true;
  void Init() override;
  TControl* Control() const { return control_; }

  void KeyDown(int& key, DWORD shift) override;
  void KeyUp(int& key, DWORD shift) override;
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
  ~TKvSimpleWin() override;
  bool ShownOnce() const { return shownOnce_; }

  TControl* control_ = nullptr;
  TControl* parent_;

 private:
  bool detached_ = false;
  bool shownOnce_ = false;
};
