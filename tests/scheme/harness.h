// A stand-in for the main window's scheme around the two sub-schemes: the containers, the
// reply commutator, the write hub, the checksum store (starting "FFFF"), the success switch
// and failure gate, with a fake line in place of the serial port. Tests drive it through
// the points the window's controls and the port would fire, and read what the sub-schemes
// sent out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "elements/kvCommutator.h"
#include "elements/kvEventFromData.h"
#include "elements/kvHub.h"
#include "elements/kvIf_else.h"
#include "elements/kvMMTimer.h"
#include "elements/kvSwitch.h"
#include "runtime/kvEditMultiEx.h"
#include "runtime/SchemeGate.h"
#include "runtime/kvMultiElementEx.h"
#include "scheme/kvMultiElementEx_25686E0.h"
#include "scheme/kvMultiElementEx_2568BB0.h"
#include "tests/support/modbus_crc.h"
#include "tests/support/probes.h"

namespace zorv::test {

// The fake line: every write lands here; tests hand reply chunks back with Reply().
class FakeLine {
 public:
  std::vector<std::string> writes;
  std::string Bytes() const {
    std::string all;
    for (const std::string& w : writes) all += w;
    return all;
  }
  void doWrite(TData& d, std::uint16_t) { writes.push_back(AsString(d)); }
};

class Harness {
 public:
  Harness() {
    Line = new FakeLine();
    WriteHub = New<TKvHub>();
    WriteHub->InCount = 2;
    WriteHub->SetOutCount(1);
    QueryScheme = New<TKvMultiElementEx>(nullptr);
    QueryScheme->SetEventCount(5);
    QueryScheme->SetVarCount(0);
    UploadScheme = New<TKvMultiElementEx>(nullptr);
    UploadScheme->SetEventCount(6);
    UploadScheme->SetVarCount(1);
    ReplyRouter = New<TKvCommutator>();
    ReplyRouter->InCount = 1;
    ReplyRouter->SetOutCount(2);
    ChecksumField = New<TKvEventFromData>();
    TData initial = StrData("FFFF");
    ChecksumField->doStore(initial, 0);
    DoneSwitch = New<TKvSwitch>();
    SetInteger(DoneSwitch->DataOn, 1);
    SetInteger(DoneSwitch->DataOff, 0);
    DoneSwitch->SetDefault(1);
    ErrorGate = New<TKvIf_else>();
    ErrorGate->Compare = 0;
    SetInteger(ErrorGate->Op2, 0);

    WriteHub->onEvent[0] = MakePoint<&FakeLine::doWrite>(0, Line);
    QueryScheme->onEvent[0] = MakePoint<&TKvHub::doEvent>(0, WriteHub);
    QueryScheme->onEvent[1] = Status.Point();
    QueryScheme->onEvent[2] = OpenRequests.Point();
    QueryScheme->onEvent[3] = OpenFailed.Point();
    QueryScheme->onEvent[4] = Found.Point();
    UploadScheme->onEvent[0] = Progress.Point();
    UploadScheme->onEvent[1] = MakePoint<&TKvHub::doEvent>(1, WriteHub);
    UploadScheme->onEvent[2] = MakePoint<&TKvSwitch::doSwitch>(0, DoneSwitch);
    UploadScheme->onEvent[3] = MakePoint<&TKvIf_else::doCompare>(0, ErrorGate);
    UploadScheme->onEvent[4] = MakePoint<&TKvEventFromData::doStore>(0, ChecksumField);
    UploadScheme->onEvent[5] = Chunks.Point();
    UploadScheme->InVar[0] = MakePoint<&TKvEventFromData::Stored>(0, ChecksumField);
    ReplyRouter->OutIndex = MakePoint<&TKvMultiElementEx::OutVar>(0, QueryScheme);
    ReplyRouter->onEvent[0] = MakePoint<&TKvMultiElementEx::doWork>(2, QueryScheme);
    ReplyRouter->onEvent[1] = MakePoint<&TKvMultiElementEx::doWork>(0, UploadScheme);
    DoneSwitch->onSwitch = Success.Point();
    ErrorGate->onTrue = Failure.Point();
    ErrorGate->Op1Point = MakePoint<&TKvSwitch::getCurrent>(0, DoneSwitch);

    QueryScheme->SetFactory(TClassMultiElementEx_25686E0::Create);
    UploadScheme->SetFactory(TClassMultiElementEx_2568BB0::Create);
  }
  ~Harness() {
    TSchemeEntry gate;  // as the real scheme: no tick runs while the elements go
    Free(ErrorGate);
    Free(DoneSwitch);
    Free(ChecksumField);
    Free(ReplyRouter);
    Free(UploadScheme);
    Free(QueryScheme);
    Free(WriteHub);
    delete Line;
  }
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  TClassMultiElementEx_25686E0& Query() { return *static_cast<TClassMultiElementEx_25686E0*>(QueryScheme->current->owner); }
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
    FireString(MakePoint<&TKvCommutator::doWork>(0, ReplyRouter), chunk);
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

  std::string Checksum() const { return AsString(ChecksumField->StoredValue()); }
  std::int32_t Route() {
    TData d;
    QueryScheme->OutVar(d, 0);
    return AsInteger(d);
  }

  EventsOnScope events;
  FakeLine* Line;
  TKvHub* WriteHub;
  TKvMultiElementEx* QueryScheme;
  TKvMultiElementEx* UploadScheme;
  TKvCommutator* ReplyRouter;
  TKvEventFromData* ChecksumField;
  TKvSwitch* DoneSwitch;
  TKvIf_else* ErrorGate;
  Sink Status, OpenRequests, OpenFailed, Found, Progress, Chunks, Success, Failure;
};

}  // namespace zorv::test
