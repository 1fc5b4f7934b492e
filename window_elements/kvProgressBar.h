// The progress bar: how far the firmware upload has come (acknowledged blocks of 0..Max).
//
// Points: input doPosition (the value as an integer; the bar is redrawn at once); inputs
// and outputs of TKvWin.
//
// Threads: doPosition may come from any thread. On the window thread the bar takes the
// position and is redrawn at once. Another thread (the upload's reader, once a block) does
// not wait for the window thread: the element keeps the newest position and asks the
// window thread to show it, one request on its way at a time; whatever the bar is asked
// or told before that request arrives (PBM_GETPOS from another process too, a paint) it
// has the newest position first.
#pragma once

#include <cstdint>
#include <mutex>

#include "window_elements/Win.h"

class TKvProgressBar : public TKvWin {
 public:
  explicit TKvProgressBar(TControl* parent) : TKvWin(parent) {}

  std::uint8_t Kind = 0;     // 1: vertical
  bool Smooth = false;
  std::int32_t Max = 100;    // the range is 0..Max
  std::int32_t BarColor = 0;

  void doPosition(TData& d, std::uint16_t index);
  void Init() override;
  bool MessageFilter(TMsg& msg, LRESULT& result) override;

 protected:
  ~TKvProgressBar() override = default;

 private:
  // On the window thread: the position, drawn at once with redraw.
  void ApplyPosition(std::int32_t position, bool redraw);
  // On the window thread: the position that waits, if one does.
  void ApplyWaitingPosition(bool redraw);

  std::mutex positionMutex_;  // guards the three below
  std::int32_t waitingPosition_ = 0;
  bool waiting_ = false;  // waitingPosition_ is newer than the control's
  bool posted_ = false;   // a request to apply it is on its way to the window thread
  bool applying_ = false;  // the window thread is giving the control a position
};
