#include "window_elements/WindowGate.h"

#include <mutex>

#include "platform/winsys.h"
#include "runtime/SchemeGate.h"
#include "winlib/Controls.h"

namespace {

HANDLE gReleased = nullptr;  // auto-reset: set whenever the gate becomes free

void SignalReleased(void*) {
  if (gReleased) SetEvent(gReleased);
}

}  // namespace

void InitWindowGate() {
  static std::once_flag once;
  std::call_once(once, [] {
    gReleased = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SchemeGate().SetReleaseSignal(SignalReleased, nullptr);
  });
}

TWindowEvent::TWindowEvent() {
  if (InSyncCall()) return;
  InitWindowGate();
  TSchemeGate& gate = SchemeGate();
  while (!gate.TryEnter()) {
    // The period only bounds a wake-up that could be missed; the release signal and sent
    // messages end the wait at once.
    const DWORD woke = MsgWaitForMultipleObjects(gReleased ? 1 : 0, gReleased ? &gReleased : nullptr, FALSE, 50,
                                                 QS_SENDMESSAGE | QS_PAINT);
    if (woke == WAIT_OBJECT_0 + (gReleased ? 1u : 0u)) {
      MSG msg;
      // Serves the messages sent by other threads; posted input stays queued.
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      // Painting needs no gate: the window stays drawn while it waits.
      while (PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageW(&msg);
    }
  }
  entered_ = true;
}

TWindowEvent::~TWindowEvent() {
  if (entered_) SchemeGate().Leave();
}

void FireWindowEvent(const TEventPoint& point, TData& d) {
  if (!point.Connected()) return;
  const TEventPoint p = point;  // the handler may free the element that holds the point
  TWindowEvent entry;
  FireEvent(p, d);
}

void FireWindowNull(const TEventPoint& point) {
  TData d;
  FireWindowEvent(point, d);
}

void FireWindowInteger(const TEventPoint& point, std::int32_t n) {
  TData d;
  SetInteger(d, n);
  FireWindowEvent(point, d);
}

void FireWindowString(const TEventPoint& point, const std::string& s) {
  TData d;
  SetString(d, s);
  FireWindowEvent(point, d);
}

void FireWindowData(const TEventPoint& point, const TData& v) {
  TData d(v);  // further chain nodes stay the property's own
  FireWindowEvent(point, d);
}

void ReadWindowPoint(const TEventPoint& point, TData& d) {
  if (!point.Connected()) return;
  TWindowEvent entry;
  ReadPoint(point, d);
}
