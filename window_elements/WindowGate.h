// Scheme events of the window thread. The window thread never blocks on the scheme gate
// without serving the messages that other threads send to it: while the gate is held
// elsewhere (a reader thread running its chain, the completion pause), it waits in a wait
// that serves sent messages and paints, and leaves input queued. So a background thread
// that updates a window from inside the gate is served rather than deadlocked, the window
// keeps painting, and the operator's input keeps its order.
//
// A window event that runs while a call handed over by another thread's SyncCall runs
// (that thread holds the gate and waits for the call) is already inside: it does not wait.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/Share.h"

// Makes the gate's release signal wake the window thread (once, at start-up of the window
// elements).
void InitWindowGate();

// Holds the gate for a scope on the window thread.
class TWindowEvent {
 public:
  TWindowEvent();
  ~TWindowEvent();
  TWindowEvent(const TWindowEvent&) = delete;
  TWindowEvent& operator=(const TWindowEvent&) = delete;

 private:
  bool entered_ = false;
};

// Fire an output point from the window thread, inside the gate (nothing when the point is
// not connected: no gate is needed then).
void FireWindowEvent(const TEventPoint& point, TData& d);
void FireWindowNull(const TEventPoint& point);
void FireWindowInteger(const TEventPoint& point, std::int32_t n);
void FireWindowString(const TEventPoint& point, const std::string& s);
void FireWindowData(const TEventPoint& point, const TData& v);
// Reads a data point from the window thread, inside the gate.
void ReadWindowPoint(const TEventPoint& point, TData& d);
