// The base of the windowed elements that stand for child controls (label, button, edit
// field, list and combo box, progress bar, image). Beside what TKvWinBase holds for both
// bases it has the hint (a tooltip), the flag word, the character event, the size data
// points, BorderStyle and doVisible.
//
// Points: inputs doVisible (non-zero, or anything but the integer 0, shows), doEnabled;
// outputs those of TKvWinBase and onChar (window thread); data points WidthPoint and
// HeightPoint (asked with the size difference while the window is being resized; an
// answer corrects it).
//
// Threads: the inputs may come from any thread; they act on the window on its own thread.
#pragma once

#include <cstdint>
#include <string>

#include "window_elements/WinBase.h"
#include "window_elements/kvHintManager.h"

// Flags: the list's items are drawn by the owner (the combo box).
constexpr std::uint32_t kWinFlagOwnerDraw = 1u << 3;

class TKvWin : public TKvWinBase {
 public:
  explicit TKvWin(TControl* parent);

  std::string Hint;
  std::uint32_t Flags = 0;  // kWinFlag bits
  TEventPoint onChar;
  TEventPoint WidthPoint;
  TEventPoint HeightPoint;
  std::uint8_t BorderStyle = 0;  // applied when Ctl3D is 0

  void doVisible(TData& d, std::uint16_t index);

  void Init() override;
  // After the scheme is built: a tooltip when Hint is not empty (iface null: the default
  // manager's).
  void HookUpHint(const THintInterface* iface);

  TControl* ParentControl() const { return parent_; }

  virtual void Char(char& key, DWORD shift);
  // The hint hears of the mouse before the outputs fire.
  void MouseMove(const TMouseEventData& m) override;
  void MouseEnter() override;
  void MouseLeave() override;
  // Asks the size data points while the window is being resized, then the common filter.
  bool MessageFilter(TMsg& msg, LRESULT& result) override;

 protected:
  ~TKvWin() override;
  void HookEvents() override;

 private:
  void CorrectSize(WINDOWPOS& pos);

  TTooltipRecord* hint_ = nullptr;
  const THintInterface* hintInterface_ = nullptr;
};
