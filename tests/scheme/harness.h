// The flasher's main scheme around the two sub-schemes, with the window's part taken by
// probes: a fake line in place of the serial port's writes, and sinks where the front
// listens. Tests drive it through the points the window's controls and the port would
// fire, and read what the sub-schemes sent out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/zorvflash/FlashScheme.h"
#include "elements/kvCommutator.h"
#include "elements/kvEventFromData.h"
#include "elements/kvHub.h"
#include "elements/kvIf_else.h"
#include "elements/kvMMTimer.h"
#include "elements/kvSleep.h"
#include "runtime/kvEditMultiEx.h"
#include "runtime/SchemeGate.h"
#include "runtime/kvMultiElementEx.h"
#include "scheme/kvMultiElementEx_2568BB0.h"
#include "tests/support/modbus_crc.h"
#include "tests/support/probes.h"

namespace zorv::test {

// The fake line: every write lands here; tests hand reply chunks back with Reply(). With
// failAt set, the write of that number (1-based) fails as the serial element reports it:
// its write error is fired while the write runs.
class FakeLine {
 public:
  std::vector<std::string> writes;
  std::size_t failAt = 0;
  TEventPoint onWriteError;
  std::string Bytes() const {
    std::string all;
    for (const std::string& w : writes) all += w;
    return all;
  }
  void doWrite(TData& d, std::uint16_t) {
    writes.push_back(AsString(d));
    if (writes.size() == failAt) FireInteger(onWriteError, 0);
  }
};

class Harness {
 public:
  Harness() {
    Scheme->WriteHub->onEvent[0] = MakePoint<&FakeLine::doWrite>(0, Line.get());
    Line->onWriteError = MakePoint<&TKvMultiElementEx::doWork>(2, UploadScheme);
    QueryScheme->onEvent[1] = Status.Point();
    QueryScheme->onEvent[2] = OpenRequests.Point();
    QueryScheme->onEvent[3] = OpenFailed.Point();
    QueryScheme->onEvent[4] = Found.Point();
    UploadScheme->onEvent[0] = Progress.Point();
    UploadScheme->onEvent[5] = Chunks.Point();
    Scheme->DrainGate->Op1Point = Drained.Point();
    Scheme->DrainGate->onTrue = Success.Point();
    Scheme->DrainGate->onFalse = Undrained.Point();
    Scheme->ErrorGate->onTrue = Failure.Point();
  }
  ~Harness() { Free(Scheme); }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  TClassMultiElementEx_2568BB0& Upload() { return *static_cast<TClassMultiElementEx_2568BB0*>(UploadScheme->current->owner); }

  // The window's actions and the port's events; each enters the scheme gate as the real
  // sources do (the upload's watchdog ticks on a thread of its own).
  void PickPort() {
    TSchemeEntry entry;
    FireString(MakePoint<&TKvMultiElementEx::doWork>(1, QueryScheme), "COM3");
  }
  void OpenResult(std::int32_t n) {
    TSchemeEntry entry;
    FireInteger(MakePoint<&TKvMultiElementEx::doWork>(0, QueryScheme), n);
  }
  void Reply(const std::string& chunk) {
    TSchemeEntry entry;
    FireString(MakePoint<&TKvCommutator::doWork>(0, Scheme->ReplyRouter), chunk);
  }
  void Start() {
    TSchemeEntry entry;
    FireInteger(MakePoint<&TKvMultiElementEx::doWork>(1, UploadScheme), 0);
  }
  void StopWatchdog() {
    TSchemeEntry entry;
    FireNull(MakePoint<&TKvMMTimer::doStop>(0, Upload().Watchdog));
  }
  // One watchdog tick, as the timer would deliver it.
  void Tick() {
    TSchemeEntry entry;
    FireNull(Upload().Watchdog->onTimer);
  }
  std::size_t Failures() {
    TSchemeEntry entry;
    return Failure.count();
  }

  std::string Checksum() const { return AsString(Scheme->ChecksumField->StoredValue()); }
  std::int32_t Route() {
    TData d;
    QueryScheme->OutVar(d, 0);
    return AsInteger(d);
  }

  // A write failure as the serial element reports it.
  void WriteFailed() {
    TSchemeEntry entry;
    FireInteger(MakePoint<&TKvMultiElementEx::doWork>(2, UploadScheme), 0);
  }

  EventsOnScope events;
  // Success and Undrained: the drain check's answer after the pause (Drained answers it).
  Sink Status, OpenRequests, OpenFailed, Found, Progress, Chunks, Success, Failure, Undrained;
  Source Drained = Source::Integer(1);
  std::unique_ptr<FakeLine> Line = std::make_unique<FakeLine>();
  TFlashScheme* const Scheme = New<TFlashScheme>(0);
  TKvMultiElementEx* const QueryScheme = Scheme->QueryScheme;
  TKvMultiElementEx* const UploadScheme = Scheme->UploadScheme;
};

}  // namespace zorv::test
