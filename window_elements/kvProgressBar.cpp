#include "window_elements/kvProgressBar.h"

#include "winlib/Graphics.h"

namespace {

// Posted to the bar's window when another thread gave it a new position.
constexpr UINT kApplyPositionMessage = 0xBFE1;

bool OnWindowThread(const TControl* c) {
  return !c->Handle || GetWindowThreadProcessId(c->Handle, nullptr) == GetCurrentThreadId();
}

}  // namespace

void TKvProgressBar::Init() {
  std::uint32_t options = 0;
  if (Kind == 1) options |= kProgressOptionVertical;
  if (Smooth) options |= kProgressOptionSmooth;
  control_ = NewProgressBar(ParentControl(), options);
  control_->Perform(PBM_SETRANGE32, 0, Max);
  // The bar colour is also the control's text colour: a window made later gets it too.
  control_->TextColor = BarColor;
  control_->Perform(PBM_SETBARCOLOR, 0, static_cast<LPARAM>(ResolveColor(BarColor)));
  if (Ctl3D == 1) control_->SetExStyle(0);
  TKvWin::Init();
}

void TKvProgressBar::doPosition(TData& d, std::uint16_t) {
  const std::int32_t position = AsInteger(d);
  TControl* c = control_;
  if (!c) return;
  if (OnWindowThread(c)) {
    {
      std::lock_guard<std::mutex> lock(positionMutex_);
      waiting_ = false;  // this position is newer than any that waits
    }
    ApplyPosition(position, true);
    return;
  }
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(positionMutex_);
    waitingPosition_ = position;
    waiting_ = true;
    post = !posted_;
    posted_ = true;
  }
  if (post && !PostMessageW(c->Handle, kApplyPositionMessage, 0, 0)) {
    std::lock_guard<std::mutex> lock(positionMutex_);
    posted_ = false;
  }
}

void TKvProgressBar::ApplyPosition(std::int32_t position, bool redraw) {
  TControl* c = control_;
  if (!c) return;
  const bool outer = applying_;
  applying_ = true;
  c->Perform(PBM_SETPOS, static_cast<WPARAM>(position), 0);
  if (redraw && c->Handle && !c->WindowGone) UpdateWindow(c->Handle);
  applying_ = outer;
}

void TKvProgressBar::ApplyWaitingPosition(bool redraw) {
  // Not from the messages that showing a position causes: the next one comes in its turn.
  if (applying_) return;
  std::int32_t position = 0;
  {
    std::lock_guard<std::mutex> lock(positionMutex_);
    if (!waiting_) return;
    position = waitingPosition_;
    waiting_ = false;
  }
  ApplyPosition(position, redraw);
}

bool TKvProgressBar::MessageFilter(TMsg& msg, LRESULT& result) {
  switch (msg.message) {
    case kApplyPositionMessage: {
      {
        std::lock_guard<std::mutex> lock(positionMutex_);
        posted_ = false;
      }
      ApplyWaitingPosition(true);
      result = 0;
      return true;
    }
    case WM_DESTROY:
    case WM_NCDESTROY:
      return TKvWin::MessageFilter(msg, result);
    default:
      // Whatever the bar is asked or told now (its position, by anyone; a paint), it has
      // the newest position first; the paint that follows the change comes in its turn.
      ApplyWaitingPosition(false);
      return TKvWin::MessageFilter(msg, result);
  }
}
