// The flasher's scheme: in the role of the main window's scheme, it creates the serial
// port element, the commutator that routes replies by the identification count, the write
// hub, the checksum store (starting "FFFF"), the drain check, the success pause after it
// and the two sub-scheme containers, wired as the window's scheme wires them wherever no
// window is involved. Where the window's scheme feeds controls, the flasher's front
// (TFlashFront) listens instead.
//
// Success is reported only through DrainGate: right after "PUSK" it asks the serial
// element whether its output queue drained and no write failed since the open ("PUSK" on
// the line); then the pause runs and the completion comes. When not, the failure report
// goes straight to the front, past the done switch.
//
// The flasher's own addition is the write collector between the upload's write output and
// the write hub (see BlockCollector.h). It is told when a chain that may have produced
// image bytes has run (the write button's and each reply's, through WriteClickHub and
// UploadReplyHub) and when the upload failed (UploadFailHub).
//
// The front also follows what the line and the upload do, for the reason of a failure,
// the record of the run and the line trace: received chunks (RxHub), write failures
// (WriteErrorHub), the upload watchdog's ticks (TickHub, spliced into the upload
// sub-scheme's timer output), the drain check (DrainOkHub) and every write.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvComAsync;
class TKvHub;
class TKvMultiElementEx;
class TKvCommutator;
class TKvEventFromData;
class TKvSwitch;
class TKvIf_else;
class TKvSleep;
class TBlockCollector;
class TLineTrace;
class TStream;

// What the window's controls would show, kept for the flasher's main thread. The handlers
// run on whichever thread fires them (main, serial reader, timer).
class TFlashFront : public TObj {
 public:
  enum class Outcome { Pending, Found, NotFound, Done, Failed };

  void doStatus(TData& d, std::uint16_t);     // the device-information text
  void doNotFound(TData& d, std::uint16_t);   // open failed or no device identified
  void doFound(TData& d, std::uint16_t);      // a device was identified
  void doProgress(TData& d, std::uint16_t);   // acknowledged blocks
  void doDone(TData& d, std::uint16_t);       // success, after the pause and the drain
  void doFailed(TData& d, std::uint16_t);     // failure report, or the drain failed
  void doPortName(TData& d, std::uint16_t);   // one port of the port list
  void doSent(TData& d, std::uint16_t);       // a write was requested
  void doReceived(TData& d, std::uint16_t);   // a chunk came from the line
  void doWriteError(TData& d, std::uint16_t); // a write failed (the system's code, 0 short)
  void doTick(TData& d, std::uint16_t);       // the upload's watchdog ticked
  void doDrained(TData& d, std::uint16_t);    // "PUSK" left the port; the pause begins
  void doDrainFailed(TData& d, std::uint16_t);  // "PUSK" did not leave the port

  // Set before the scheme runs; the trace outlives the scheme.
  void SetTrace(TLineTrace* trace) { trace_ = trace; }
  TLineTrace* trace() const { return trace_; }
  // The upload begins (the write button): writes from now on are the image's, or "PUSK".
  void UploadStarting() { uploading_.store(true); }
  // The running checksum, read when a reply is judged wrong (inside the scheme gate).
  TEventPoint ChecksumPoint;

  // Back to the state before a port was chosen (no outcome, no status, not identified).
  void Reset();

  // Waits until the outcome differs from `from` or the time is up; returns the outcome.
  Outcome WaitChange(Outcome from, int timeoutMs);
  Outcome outcome();
  std::string status();
  std::vector<std::string> ports();
  int blocks() const { return blocks_.load(); }
  // A device was identified (whatever came after).
  bool identified() const { return identified_.load(); }
  long writesRequested() const { return writes_.load(); }
  long imageBytesWritten() const { return imageBytes_.load(); }
  bool puskSent() const { return pusk_.load(); }
  // The reason of the failure in words ("reply 1A2C is not the acknowledgement 1A2B");
  // empty before a failure.
  std::string failureReason();
  // The reply that did not identify a device (empty when none came).
  std::string lastReply();

 protected:
  ~TFlashFront() override = default;

 private:
  void Set(Outcome o, bool onlyIfPending);
  void Fail(const std::string& reason);
  std::string ReasonNow();

  // What came last before a failure; touched inside the scheme gate only.
  enum class Last { None, Reply, Tick, WriteError } last_ = Last::None;
  std::string lastChunk_;
  std::uint32_t writeError_ = 0;
  int ticks_ = 0;
  std::string reason_;  // under mutex_
  TLineTrace* trace_ = nullptr;
  std::atomic<bool> uploading_{false};
  std::atomic<long> imageBytes_{0};
  std::atomic<bool> pusk_{false};

  std::mutex mutex_;
  std::condition_variable changed_;
  Outcome outcome_ = Outcome::Pending;
  std::string status_;
  std::vector<std::string> ports_;
  std::atomic<int> blocks_{0};
  std::atomic<long> writes_{0};
  std::atomic<bool> identified_{false};
};


class TFlashScheme : public TObj {
 public:
  // pauseMicroseconds: the pause between the final acknowledgement and the completion;
  // blockWrites: the image goes to the port one block per write.
  // image: the image to send instead of the embedded one (the scheme takes it over).
  explicit TFlashScheme(std::int32_t pauseMicroseconds, bool blockWrites = false, TStream* image = nullptr);

  // Each of these enters the scheme gate and fires as the window's control would.
  void EnumPorts();                        // the form's creation
  void ChoosePort(const std::string& name);  // a pick in the port list
  void Write();                            // the write button
  void Close();                            // the form's close

  // Ends the try of the port chosen last, inside the gate, so that no reply can come in
  // between: true when a device identified itself there (the port stays open for the
  // upload). Otherwise the port is closed (a late reply is never read, and the query's
  // routing stays with the query for the next port), the front is reset, and openError
  // gets the system's code when the port could not be opened (else 0).
  bool SettleTry(std::uint32_t& openError);

  TFlashFront* Front;
  TKvHub* WriteHub;
  TKvMultiElementEx* QueryScheme;
  TKvMultiElementEx* UploadScheme;
  TKvCommutator* ReplyRouter;
  TKvComAsync* SerialPort;
  TKvHub* WriteClickHub;
  TKvHub* CloseHub;
  TKvEventFromData* ChecksumField;
  TKvEventFromData* PortName;
  TKvHub* PortChoiceHub;
  TKvSwitch* DoneSwitch;
  TKvIf_else* ErrorGate;
  TKvSleep* DonePause;
  TKvIf_else* DrainGate;
  TBlockCollector* Collector;
  TKvHub* UploadReplyHub;
  TKvHub* UploadFailHub;
  TKvHub* RxHub;
  TKvHub* WriteErrorHub;
  TKvHub* DrainOkHub;
  TKvHub* TickHub;

 protected:
  // Frees the elements from inside the scheme gate.
  ~TFlashScheme() override;
};
