// Asynchronous serial port: opens a port in overlapped mode and sets it up completely from
// its properties, runs a reader thread that reports line events, writes the text of a
// value, reads a given number of bytes, keeps the texts of the last line errors and lists
// the system's serial ports.
//
// Points: inputs doOpen (port name, then optional DTR, RTS and baud values), doClose,
// doWrite (any value; its text is sent), doRead (byte count), doEnumPorts. Outputs onWrite,
// onWriteError, onRead, onEnumPorts (callers' threads); onRxChar, onRing, onCTS, onDSR,
// onRLSD, onRxFlag, onBreak, onRx80Full, onTxEmpty, onError (reader thread; onCTS, onDSR
// and onRLSD also at open and close); onBeforeOpen, onOpen, onBeforeClose, onClose. Data
// points PortPoint, BaudPoint, DtrControlPoint, RtsControlPoint, read while doOpen runs.
// Data output Drained.
//
// Writes end where the line fails: the first write that is refused, fails, times out or
// completes short fires onWriteError (the system's error code, 0 for a short write) after
// its own onWrite, and from then on until the port is opened again every write sends
// nothing and fires onWrite 0 at once. So a stream of writes never reaches the device with
// a hole in it. Drained waits (at most DrainTimeout ms) for the output queue to empty and
// answers 1 when it did and no write failed since the open, else 0.
//
// A received chunk is the bytes that arrive without a pause: after a receive event the
// reader fires onRxChar (the bytes waiting) only once the line has been quiet for three
// character times at the port's rate and frame, or at once when InQueue bytes are waiting.
//
// Threads: the window thread, timer threads and the reader thread may all reach the
// element. Reads and writes each use a completion record of their own. Close ends the
// reader thread and does not return while that thread can still touch the port or the
// element; on the reader thread itself (a handler that closes, or frees the element) it
// does not wait, and the thread lets go of the element as soon as its handler returns.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/comm.h"
#include "runtime/Share.h"
#include "winlib/Objects.h"
#include "winlib/StrStreams.h"

class TKvComAsync : public TObj {
 public:
  TKvComAsync();

  // Properties (the constructor leaves all of them zero, false or empty).
  std::string Port;
  std::int32_t Baud = 0;
  std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t DataBits = 0;  // data bits minus 5
  std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  std::uint8_t EventChar = 0;
  bool DiscardNull = false;
  bool AbortOnError = false;
  bool ParityCheck = false;
  bool ReplaceErrors = false;
  std::uint8_t ErrorChar = 0;
  bool DsrSensitivity = false;
  bool CtsFlow = false;
  bool DsrFlow = false;
  bool TxContinueOnXoff = false;
  std::uint8_t XoffChar = 0;
  std::uint8_t XonChar = 0;
  bool XonXoffIn = false;
  bool XonXoffOut = false;
  std::int32_t InQueue = 0;
  std::int32_t OutQueue = 0;
  std::uint8_t RtsControl = 0;  // 0 disable, 1 enable, 2 handshake, 3 toggle
  std::uint8_t DtrControl = 0;  // 0 disable, 1 enable, 2 handshake
  bool EvRxChar = false;
  bool EvRxFlag = false;
  bool EvTxEmpty = false;
  bool EvCTS = false;
  bool EvDSR = false;
  bool EvRLSD = false;
  bool EvBreak = false;
  bool EvErr = false;
  bool EvRing = false;
  bool EvRx80Full = false;
  std::uint32_t ReadInterval = 0;
  std::uint32_t ReadTotalConstant = 0;
  std::uint32_t ReadTotalMultiplier = 0;
  std::uint32_t WriteTotalConstant = 0;
  std::uint32_t WriteTotalMultiplier = 0;
  bool CheckPorts = false;
  bool FlushOnClose = false;
  // The longest wait of Drained, in milliseconds (the constructor sets 3000).
  std::uint32_t DrainTimeout = 0;

  // Input points.
  void doOpen(TData& d, std::uint16_t index);
  void doClose(TData& d, std::uint16_t index);
  void doWrite(TData& d, std::uint16_t index);
  void doRead(TData& d, std::uint16_t index);
  void doEnumPorts(TData& d, std::uint16_t index);

  // Output points.
  TEventPoint onWrite;
  TEventPoint onWriteError;
  TEventPoint onRead;
  TEventPoint onEnumPorts;
  TEventPoint onRxChar;
  TEventPoint onRing;
  TEventPoint onCTS;
  TEventPoint onDSR;
  TEventPoint onRLSD;
  TEventPoint onRxFlag;
  TEventPoint onBreak;
  TEventPoint onRx80Full;
  TEventPoint onTxEmpty;
  TEventPoint onError;
  TEventPoint onBeforeOpen;
  TEventPoint onOpen;
  TEventPoint onBeforeClose;
  TEventPoint onClose;

  // Data points.
  TEventPoint BaudPoint;
  TEventPoint PortPoint;
  TEventPoint DtrControlPoint;
  TEventPoint RtsControlPoint;

  // Data output: 1 when the output queue emptied within DrainTimeout and no write failed
  // since the open; 0 otherwise, and when the port is not open.
  void Drained(TData& d, std::uint16_t index);

  // Texts of the errors found at the last error event (rebuilt on the reader thread).
  const TStrList* Errors() const { return errors_; }
  // True from a successful open until the port is closed.
  bool Opened() const;
  // The name used by the last doOpen.
  std::string PortName() const;
  // The system's error code of the last open that failed: CreateFile's, or that of the
  // set-up call that failed (ERROR_INVALID_NAME for a name that is no COM name); 0 after a
  // successful open.
  std::uint32_t LastOpenError() const;
  // The settings given to the port by the last open.
  const zorv::comm::TDcb& LineSettings() const { return dcb_; }
  const zorv::comm::TCommTimeouts& Timeouts() const { return timeouts_; }
  std::uint32_t EventMask() const { return eventMask_; }

  // The port number of a name that may be opened (at most 6 characters, "COM" in any
  // letter case, then a decimal number 1..255; what follows the number is not looked at),
  // or 0. A name with a NUL byte is refused: the system would see a shorter name.
  static int PortNumber(const std::string& name);

 protected:
  ~TKvComAsync() override;

 private:
  struct TReader;
  enum class TState { Closed, Opening, Open, Closing };

  void Close();
  void CloseSteps();
  void StopReader(const std::shared_ptr<TReader>& reader);
  void JoinFinishedReaders();
  // After a receive event: returns once the line has been quiet for three character times
  // (or the input queue is full), so that a reply arriving byte by byte is one chunk.
  static void AwaitQuietLine(TReader& reader);
  bool HandleEvents(std::uint32_t mask, TReader& reader);
  void RebuildErrors(TReader& reader);
  // A read or a write takes the open port and a completion record of its own (records are
  // kept for reuse: the upload writes every image byte on its own); it gives both back.
  // writeFailed tells whether a write failed since the open.
  bool AcquirePort(zorv::comm::TCommApi*& api, zorv::comm::THandle& port, zorv::comm::TIoRecord*& io,
                   bool* writeFailed = nullptr);
  void ReleasePort(zorv::comm::TIoRecord* io);
  // Waits for a write left pending, at most a little longer than the port's write time-out.
  zorv::comm::TResult AwaitWrite(zorv::comm::TCommApi& api, zorv::comm::THandle port, zorv::comm::TIoRecord& io,
                                 std::uint32_t bytes, std::uint32_t& done);
  // Records a failed write; true for the first since the open.
  bool LatchWriteFailure();
  bool OutputDrained();
  static void ReaderMain(void* arg);

  TStrList* errors_ = nullptr;
  zorv::comm::TCommApi* api_ = nullptr;  // the implementation the open port belongs to
  zorv::comm::THandle port_ = zorv::comm::kInvalidHandle;
  zorv::comm::TDcb dcb_;
  zorv::comm::TCommTimeouts timeouts_;
  std::uint32_t eventMask_ = 0;
  std::string portName_;
  std::uint32_t lastOpenError_ = 0;

  // Open and close may come from several threads: the state changes under the mutex,
  // which is never held while an output fires or while a thread is awaited.
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  TState state_ = TState::Closed;
  std::thread::id closer_;  // the thread running the close
  int users_ = 0;  // reads, writes and drain waits under way on the port
  bool writeFailed_ = false;  // since the open: every later write sends nothing
  std::vector<zorv::comm::TIoRecord*> spareIo_;  // records of api_, closed with the port
  std::vector<zorv::comm::TIoRecord*> busyIo_;   // records of reads and writes under way
  std::shared_ptr<TReader> reader_;
  std::vector<std::shared_ptr<TReader>> finished_;  // told to stop by their own thread
};
