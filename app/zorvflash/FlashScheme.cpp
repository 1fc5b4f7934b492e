#include "app/zorvflash/FlashScheme.h"

#include <chrono>

#include "app/zorvflash/BlockCollector.h"
#include "app/zorvflash/TerminalText.h"
#include "app/zorvflash/Trace.h"
#include "elements/kvCommutator.h"
#include "elements/kvEventFromData.h"
#include "elements/kvHub.h"
#include "elements/kvIf_else.h"
#include "elements/kvMMTimer.h"
#include "elements/kvMemoryStream.h"
#include "elements/kvSleep.h"
#include "elements/kvSwitch.h"
#include "runtime/SchemeGate.h"
#include "runtime/kvEditMultiEx.h"
#include "runtime/kvMultiElementEx.h"
#include "scheme/BootloaderLine.h"
#include "scheme/kvMultiElementEx_25686E0.h"
#include "scheme/kvMultiElementEx_2568BB0.h"
#include "serial/kvComAsync.h"
#include "platform/system.h"
#include "winlib/StrStreams.h"

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

void TFlashFront::doNotFound(TData&, std::uint16_t) {
  if (trace_) trace_->Note("no device");
  Set(Outcome::NotFound, true);
}

void TFlashFront::doFound(TData&, std::uint16_t) {
  identified_.store(true);
  if (trace_) trace_->Note("identified: " + ForTerminal(status()));
  last_ = Last::None;
  Set(Outcome::Found, true);
}

void TFlashFront::doProgress(TData& d, std::uint16_t) {
  const int blocks = AsInteger(d);
  blocks_.store(blocks);
  if (trace_) trace_->Note("block acknowledged: " + std::to_string(blocks) + " of 1015, checksum " + HexBytes(lastChunk_));
  changed_.notify_all();
}

void TFlashFront::doDone(TData&, std::uint16_t) {
  if (trace_) trace_->Note("done");
  Set(Outcome::Done, false);
}

namespace {

// A received chunk for a reason: its bytes in hex, long ones cut.
std::string ChunkText(const std::string& chunk) {
  constexpr std::size_t kShown = 32;
  if (chunk.size() <= kShown) return HexBytes(chunk);
  return HexBytes(chunk.substr(0, kShown)) + "... (" + std::to_string(chunk.size()) + " bytes)";
}

std::string SystemReason(std::uint32_t code) {
  std::string text = zorv::platform::SystemErrorText(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return (text.empty() ? std::string("system error") : text) + " (error " + std::to_string(code) + ")";
}

}  // namespace

std::string TFlashFront::ReasonNow() {
  switch (last_) {
    case Last::WriteError:
      return writeError_ == 0 ? "a write to the port completed short" : "a write to the port failed: " + SystemReason(writeError_);
    case Last::Tick:
      return "no reply to block " + std::to_string(blocks_.load() + 1) + " from the device for 3 s";
    case Last::Reply: {
      if (!uploading_.load()) return "the device sent " + ChunkText(lastChunk_) + " before the upload began";
      TData d;
      ReadPoint(ChecksumPoint, d);
      return "reply " + ChunkText(lastChunk_) + " is not the acknowledgement " + AsString(d) + " of block " +
             std::to_string(blocks_.load() + 1);
    }
    case Last::None:
      break;
  }
  return "the upload failed";
}

void TFlashFront::Fail(const std::string& reason) {
  // The first outcome counts. Reports of the upload come only before success has begun
  // (the scheme's gate); the drain check's comes after it, before any success.
  bool failed = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (outcome_ == Outcome::Found || outcome_ == Outcome::Pending) {
      outcome_ = Outcome::Failed;
      reason_ = reason;
      failed = true;
    }
  }
  if (!failed) return;
  if (trace_) trace_->Note("failed: " + reason);
  changed_.notify_all();
}

void TFlashFront::doFailed(TData&, std::uint16_t) { Fail(ReasonNow()); }

void TFlashFront::doDrainFailed(TData&, std::uint16_t) {
  Fail("\"PUSK\" did not leave the port: its output did not drain within 3 s, or a write failed");
}

void TFlashFront::doDrained(TData&, std::uint16_t) {
  if (trace_) trace_->Note("PUSK left the port; completion pause");
}

void TFlashFront::doReceived(TData& d, std::uint16_t) {
  lastChunk_ = AsString(d);
  last_ = Last::Reply;
  if (trace_) trace_->Received(lastChunk_);
}

void TFlashFront::doWriteError(TData& d, std::uint16_t) {
  writeError_ = static_cast<std::uint32_t>(AsInteger(d));
  last_ = Last::WriteError;
  if (trace_) trace_->Note("write failed (error " + std::to_string(writeError_) + ")");
}

void TFlashFront::doTick(TData&, std::uint16_t) {
  // The watchdog's count starts again with every reply.
  ticks_ = last_ == Last::Tick ? ticks_ + 1 : 1;
  last_ = Last::Tick;
  if (trace_) trace_->Note("watchdog tick " + std::to_string(ticks_));
}

std::string TFlashFront::failureReason() {
  std::lock_guard<std::mutex> lock(mutex_);
  return reason_;
}

std::string TFlashFront::lastReply() {
  TSchemeEntry gate;
  return lastChunk_;
}

void TFlashFront::doPortName(TData& d, std::uint16_t) {
  std::lock_guard<std::mutex> lock(mutex_);
  ports_.push_back(AsString(d));
}

void TFlashFront::doSent(TData& d, std::uint16_t) {
  writes_.fetch_add(1);
  // Looked at in place: every image byte comes through here.
  std::string converted;
  if (KindOf(d) != kindString) converted = AsString(d);
  const std::string& text = KindOf(d) == kindString ? d.StrValue : converted;
  // Image bytes come one at a time or a block at a time, never four: "PUSK" is the one
  // four-byte write of the upload, and only the final acknowledgement sends it.
  const bool pusk = uploading_.load(std::memory_order_relaxed) && text.size() == 4 && text == "PUSK";
  if (trace_) {
    if (pusk) trace_->Note("final acknowledgement " + HexBytes(lastChunk_) + " (\"FZ\" after the checksum): \"PUSK\"");
    trace_->Written(text);
  }
  if (!uploading_.load(std::memory_order_relaxed)) return;
  if (pusk) {
    pusk_.store(true);
  } else {
    imageBytes_.fetch_add(static_cast<long>(text.size()), std::memory_order_relaxed);
  }
}

void TFlashFront::Reset() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    outcome_ = Outcome::Pending;
    status_.clear();
    identified_.store(false);
    reason_.clear();
  }
  last_ = Last::None;
  lastChunk_.clear();
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


TFlashScheme::TFlashScheme(std::int32_t pauseMicroseconds, bool blockWrites, TStream* image) {
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
  RxHub = NewHub(1, 2);
  WriteErrorHub = NewHub(1, 2);
  DrainOkHub = NewHub(1, 2);
  TickHub = NewHub(1, 2);
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
  SerialPort->onRead = MakePoint<&TKvHub::doEvent>(0, RxHub);
  SerialPort->PortPoint = MakePoint<&TKvEventFromData::Stored>(0, PortName);
  SerialPort->onRxChar = MakePoint<&TKvComAsync::doRead>(0, SerialPort);
  SerialPort->onEnumPorts = MakePoint<&TFlashFront::doPortName>(0, Front);
  SerialPort->onOpen = MakePoint<&TKvMultiElementEx::doWork>(0, QueryScheme);
  SerialPort->onWriteError = MakePoint<&TKvHub::doEvent>(0, WriteErrorHub);
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
  DrainGate->onTrue = MakePoint<&TKvHub::doEvent>(0, DrainOkHub);
  DrainGate->onFalse = MakePoint<&TFlashFront::doDrainFailed>(0, Front);
  DrainGate->Op1Point = MakePoint<&TKvComAsync::Drained>(0, SerialPort);
  // The write collector: what the upload writes passes through it; what it holds goes out
  // once the chain of the write button or of a reply has run, and never after a failure.
  Collector->onWrite = MakePoint<&TKvHub::doEvent>(1, WriteHub);
  WriteClickHub->onEvent[1] = MakePoint<&TBlockCollector::doFlush>(0, Collector);
  UploadReplyHub->onEvent[0] = MakePoint<&TKvMultiElementEx::doWork>(0, UploadScheme);
  UploadReplyHub->onEvent[1] = MakePoint<&TBlockCollector::doFlush>(0, Collector);
  UploadFailHub->onEvent[0] = MakePoint<&TBlockCollector::doDiscard>(0, Collector);
  UploadFailHub->onEvent[1] = MakePoint<&TKvIf_else::doCompare>(0, ErrorGate);

  // What the front follows: each hub tells the front first, then passes the event on as
  // the window's wiring does.
  RxHub->onEvent[0] = MakePoint<&TFlashFront::doReceived>(0, Front);
  RxHub->onEvent[1] = MakePoint<&TKvCommutator::doWork>(0, ReplyRouter);
  WriteErrorHub->onEvent[0] = MakePoint<&TFlashFront::doWriteError>(0, Front);
  WriteErrorHub->onEvent[1] = MakePoint<&TKvMultiElementEx::doWork>(2, UploadScheme);
  DrainOkHub->onEvent[0] = MakePoint<&TFlashFront::doDrained>(0, Front);
  DrainOkHub->onEvent[1] = MakePoint<&TKvSleep::doSleep>(0, DonePause);
  Front->ChecksumPoint = MakePoint<&TKvEventFromData::Stored>(0, ChecksumField);

  QueryScheme->SetFactory(TClassMultiElementEx_25686E0::Create);
  UploadScheme->SetFactory(TClassMultiElementEx_2568BB0::Create);
  // The upload's own elements: the image it sends, and its watchdog's ticks, which the
  // front hears before the tick counter does.
  auto* upload = static_cast<TClassMultiElementEx_2568BB0*>(UploadScheme->current->owner);
  if (image) upload->ImageStream->ReplaceStream(image);
  TickHub->onEvent[0] = MakePoint<&TFlashFront::doTick>(0, Front);
  TickHub->onEvent[1] = upload->Watchdog->onTimer;
  upload->Watchdog->onTimer = MakePoint<&TKvHub::doEvent>(0, TickHub);
}

TFlashScheme::~TFlashScheme() {
  // The elements go from inside the gate: a watchdog tick or a line event still running
  // its chain on another thread finishes first, and those waiting give up.
  TSchemeEntry gate;
  Free(DrainOkHub);
  Free(WriteErrorHub);
  Free(RxHub);
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
  // After the upload sub-scheme: its watchdog fires into this hub until it is freed.
  Free(TickHub);
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
  Front->UploadStarting();
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
