#include "app/zorvflash/FlashScheme.h"

#include <chrono>

#include "app/zorvflash/BlockCollector.h"
#include "elements/kvCommutator.h"
#include "elements/kvEventFromData.h"
#include "elements/kvHub.h"
#include "elements/kvIf_else.h"
#include "elements/kvSleep.h"
#include "elements/kvSwitch.h"
#include "runtime/SchemeGate.h"
#include "runtime/kvMultiElementEx.h"
#include "scheme/BootloaderLine.h"
#include "scheme/kvMultiElementEx_25686E0.h"
#include "scheme/kvMultiElementEx_2568BB0.h"
#include "serial/kvComAsync.h"

// ---- Front -----------------------------------------------------------------------------

void TFlashFront::Set(Outcome o, bool onlyIfPending) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (onlyIfPending && outcome_ != Outcome::Pending) return;
    outcome_ = o;
  }
  changed_.notify_all();
}

void TFlashFront::doStatus(TData& d, std::uint16_t) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    status_ = AsString(d);
  }
  changed_.notify_all();
}

void TFlashFront::doNotFound(TData&, std::uint16_t) { Set(Outcome::NotFound, true); }
void TFlashFront::doFound(TData&, std::uint16_t) {
  identified_.store(true);
  Set(Outcome::Found, true);
}

void TFlashFront::doProgress(TData& d, std::uint16_t) {
  blocks_.store(AsInteger(d));
  changed_.notify_all();
}

void TFlashFront::doDone(TData&, std::uint16_t) { Set(Outcome::Done, false); }

void TFlashFront::doFailed(TData&, std::uint16_t) {
  // The first outcome counts. Reports of the upload come only before success has begun
  // (the scheme's gate); the drain check's comes after it, before any success.
  std::lock_guard<std::mutex> lock(mutex_);
  if (outcome_ == Outcome::Found || outcome_ == Outcome::Pending) {
    outcome_ = Outcome::Failed;
    changed_.notify_all();
  }
}

void TFlashFront::doPortName(TData& d, std::uint16_t) {
  std::lock_guard<std::mutex> lock(mutex_);
  ports_.push_back(AsString(d));
}

void TFlashFront::doSent(TData&, std::uint16_t) { writes_.fetch_add(1); }

void TFlashFront::Reset() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    outcome_ = Outcome::Pending;
    status_.clear();
    identified_.store(false);
  }
  changed_.notify_all();
}

TFlashFront::Outcome TFlashFront::WaitChange(Outcome from, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return outcome_ != from; });
  return outcome_;
}

TFlashFront::Outcome TFlashFront::outcome() {
  std::lock_guard<std::mutex> lock(mutex_);
  return outcome_;
}

std::string TFlashFront::status() {
  std::lock_guard<std::mutex> lock(mutex_);
  return status_;
}

std::vector<std::string> TFlashFront::ports() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ports_;
}

// ---- Scheme ----------------------------------------------------------------------------


TFlashScheme::TFlashScheme(std::int32_t pauseMicroseconds, bool blockWrites) {
  Front = New<TFlashFront>();
  WriteHub = NewHub(2, 2);
  QueryScheme = New<TKvMultiElementEx>(nullptr);
  QueryScheme->Mode = 0;
  QueryScheme->parentScheme = this;
  QueryScheme->SetEventCount(5);
  QueryScheme->SetVarCount(0);
  UploadScheme = New<TKvMultiElementEx>(nullptr);
  UploadScheme->Mode = 0;
  UploadScheme->parentScheme = this;
  UploadScheme->SetEventCount(6);
  UploadScheme->SetVarCount(1);
  ReplyRouter = New<TKvCommutator>();
  ReplyRouter->InCount = 1;
  ReplyRouter->SetOutCount(2);
  SerialPort = New<TKvComAsync>();
  SetBootloaderLineProperties(SerialPort);
  WriteClickHub = NewHub(1, 2);
  CloseHub = NewHub(2, 1);
  ChecksumField = New<TKvEventFromData>();
  {
    TData initial;
    SetString(initial, "FFFF");
    ChecksumField->doStore(initial, 0);
  }
  PortName = New<TKvEventFromData>();
  PortChoiceHub = NewHub(1, 3);
  DoneSwitch = New<TKvSwitch>();
  SetInteger(DoneSwitch->DataOn, 1);
  SetInteger(DoneSwitch->DataOff, 0);
  DoneSwitch->SetDefault(1);
  ErrorGate = New<TKvIf_else>();
  ErrorGate->Compare = 0;
  SetInteger(ErrorGate->Op2, 0);
  DonePause = New<TKvSleep>();
  DonePause->Delay = pauseMicroseconds;
  DrainGate = New<TKvIf_else>();
  DrainGate->Compare = 0;
  SetInteger(DrainGate->Op2, 1);
  Collector = New<TBlockCollector>();
  Collector->Enabled = blockWrites;
  UploadReplyHub = NewHub(1, 2);
  UploadFailHub = NewHub(1, 2);
  if (blockWrites) {
    // A block is one write: its time-out is the line's, not 100 ms for each of its bytes
    // (26.6 s for a block on a line that stopped draining, while the scheme is held).
    // 1 ms a byte is four times the line time at this rate.
    SerialPort->WriteTotalMultiplier = 1;
  }

  // The window scheme's connections that involve no window, in its order; the front takes
  // the place of the controls.
  WriteHub->onEvent[0] = MakePoint<&TKvComAsync::doWrite>(0, SerialPort);
  WriteHub->onEvent[1] = MakePoint<&TFlashFront::doSent>(0, Front);
  QueryScheme->onEvent[0] = MakePoint<&TKvHub::doEvent>(0, WriteHub);
  QueryScheme->onEvent[1] = MakePoint<&TFlashFront::doStatus>(0, Front);
  QueryScheme->onEvent[2] = MakePoint<&TKvComAsync::doOpen>(0, SerialPort);
  QueryScheme->onEvent[3] = MakePoint<&TFlashFront::doNotFound>(0, Front);
  QueryScheme->onEvent[4] = MakePoint<&TFlashFront::doFound>(0, Front);
  UploadScheme->onEvent[0] = MakePoint<&TFlashFront::doProgress>(0, Front);
  UploadScheme->onEvent[1] = MakePoint<&TBlockCollector::doWrite>(0, Collector);
  UploadScheme->onEvent[2] = MakePoint<&TKvSwitch::doSwitch>(0, DoneSwitch);
  UploadScheme->onEvent[3] = MakePoint<&TKvHub::doEvent>(0, UploadFailHub);
  UploadScheme->onEvent[4] = MakePoint<&TKvEventFromData::doStore>(0, ChecksumField);
  UploadScheme->InVar[0] = MakePoint<&TKvEventFromData::Stored>(0, ChecksumField);
  ReplyRouter->OutIndex = MakePoint<&TKvMultiElementEx::OutVar>(0, QueryScheme);
  ReplyRouter->onEvent[0] = MakePoint<&TKvMultiElementEx::doWork>(2, QueryScheme);
  ReplyRouter->onEvent[1] = MakePoint<&TKvHub::doEvent>(0, UploadReplyHub);
  SerialPort->onRead = MakePoint<&TKvCommutator::doWork>(0, ReplyRouter);
  SerialPort->PortPoint = MakePoint<&TKvEventFromData::Stored>(0, PortName);
  SerialPort->onRxChar = MakePoint<&TKvComAsync::doRead>(0, SerialPort);
  SerialPort->onEnumPorts = MakePoint<&TFlashFront::doPortName>(0, Front);
  SerialPort->onOpen = MakePoint<&TKvMultiElementEx::doWork>(0, QueryScheme);
  SerialPort->onWriteError = MakePoint<&TKvMultiElementEx::doWork>(2, UploadScheme);
  WriteClickHub->onEvent[0] = MakePoint<&TKvMultiElementEx::doWork>(1, UploadScheme);
  CloseHub->onEvent[0] = MakePoint<&TKvComAsync::doClose>(0, SerialPort);
  PortChoiceHub->onEvent[0] = MakePoint<&TKvHub::doEvent>(1, CloseHub);
  PortChoiceHub->onEvent[1] = MakePoint<&TKvEventFromData::doStore>(0, PortName);
  PortChoiceHub->onEvent[2] = MakePoint<&TKvMultiElementEx::doWork>(1, QueryScheme);
  DoneSwitch->onSwitch = MakePoint<&TKvIf_else::doCompare>(0, DrainGate);
  ErrorGate->onTrue = MakePoint<&TFlashFront::doFailed>(0, Front);
  ErrorGate->Op1Point = MakePoint<&TKvSwitch::getCurrent>(0, DoneSwitch);
  DonePause->onSleep = MakePoint<&TFlashFront::doDone>(0, Front);
  // The drain is checked right after "PUSK", before the pause: by the pause's end the
  // device has restarted and may have left the line (a USB adapter, the simulator).
  DrainGate->onTrue = MakePoint<&TKvSleep::doSleep>(0, DonePause);
  DrainGate->onFalse = MakePoint<&TFlashFront::doFailed>(0, Front);
  DrainGate->Op1Point = MakePoint<&TKvComAsync::Drained>(0, SerialPort);
  // The write collector: what the upload writes passes through it; what it holds goes out
  // once the chain of the write button or of a reply has run, and never after a failure.
  Collector->onWrite = MakePoint<&TKvHub::doEvent>(1, WriteHub);
  WriteClickHub->onEvent[1] = MakePoint<&TBlockCollector::doFlush>(0, Collector);
  UploadReplyHub->onEvent[0] = MakePoint<&TKvMultiElementEx::doWork>(0, UploadScheme);
  UploadReplyHub->onEvent[1] = MakePoint<&TBlockCollector::doFlush>(0, Collector);
  UploadFailHub->onEvent[0] = MakePoint<&TBlockCollector::doDiscard>(0, Collector);
  UploadFailHub->onEvent[1] = MakePoint<&TKvIf_else::doCompare>(0, ErrorGate);

  QueryScheme->SetFactory(TClassMultiElementEx_25686E0::Create);
  UploadScheme->SetFactory(TClassMultiElementEx_2568BB0::Create);
}

TFlashScheme::~TFlashScheme() {
  // The elements go from inside the gate: a watchdog tick or a line event still running
  // its chain on another thread finishes first, and those waiting give up.
  TSchemeEntry gate;
  Free(UploadFailHub);
  Free(UploadReplyHub);
  Free(Collector);
  Free(DrainGate);
  Free(DonePause);
  Free(ErrorGate);
  Free(DoneSwitch);
  Free(PortChoiceHub);
  Free(PortName);
  Free(ChecksumField);
  Free(CloseHub);
  Free(WriteClickHub);
  Free(SerialPort);
  Free(ReplyRouter);
  Free(UploadScheme);
  Free(QueryScheme);
  Free(WriteHub);
  Free(Front);
}

void TFlashScheme::EnumPorts() {
  TSchemeEntry entry;
  FireNull(MakePoint<&TKvComAsync::doEnumPorts>(0, SerialPort));
}

void TFlashScheme::ChoosePort(const std::string& name) {
  TSchemeEntry entry;
  FireString(MakePoint<&TKvHub::doEvent>(0, PortChoiceHub), name);
}

void TFlashScheme::Write() {
  TSchemeEntry entry;
  FireInteger(MakePoint<&TKvHub::doEvent>(0, WriteClickHub), 0);  // the button's Data
}

bool TFlashScheme::SettleTry(std::uint32_t& openError) {
  TSchemeEntry entry;
  openError = 0;
  if (Front->identified()) return true;
  // The open ran inside ChoosePort: a port that is not open now could not be opened.
  if (!SerialPort->Opened()) openError = SerialPort->LastOpenError();
  FireNull(MakePoint<&TKvHub::doEvent>(0, CloseHub));
  Front->Reset();
  return false;
}

void TFlashScheme::Close() {
  TSchemeEntry entry;
  FireNull(MakePoint<&TKvHub::doEvent>(0, CloseHub));
}
