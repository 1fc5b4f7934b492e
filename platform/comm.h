// The system calls behind the serial port element: the serial line (open, line settings,
// time-outs, queues, event mask, purge, line status, modem lines, overlapped read, write
// and event wait), the reader thread and the registry key that lists the serial ports.
//
// Each call mirrors the Windows call of the same name; values, flags and error codes are
// the Windows ones on every system. A failed call reports the error code the system gave
// at that very call (TResult::error). One implementation per system (the real calls on
// Windows; termios, poll and an alias table on POSIX) is the default; tests put a
// recording fake in its place with SetCommApi.
#pragma once

#include <cstdint>
#include <string>

namespace zorv::comm {

using THandle = std::intptr_t;          // a port; kInvalidHandle when none
using TThread = std::intptr_t;          // a thread; 0 when none
using TKey = std::intptr_t;             // an open registry key
inline constexpr THandle kInvalidHandle = -1;

// Line events (SetCommMask, WaitCommEvent).
inline constexpr std::uint32_t kEvRxChar = 0x0001;
inline constexpr std::uint32_t kEvRxFlag = 0x0002;
inline constexpr std::uint32_t kEvTxEmpty = 0x0004;
inline constexpr std::uint32_t kEvCts = 0x0008;
inline constexpr std::uint32_t kEvDsr = 0x0010;
inline constexpr std::uint32_t kEvRlsd = 0x0020;
inline constexpr std::uint32_t kEvBreak = 0x0040;
inline constexpr std::uint32_t kEvErr = 0x0080;
inline constexpr std::uint32_t kEvRing = 0x0100;
inline constexpr std::uint32_t kEvRx80Full = 0x0400;

// PurgeComm.
inline constexpr std::uint32_t kPurgeTxAbort = 0x0001;
inline constexpr std::uint32_t kPurgeRxAbort = 0x0002;
inline constexpr std::uint32_t kPurgeTxClear = 0x0004;
inline constexpr std::uint32_t kPurgeRxClear = 0x0008;

// ClearCommError error bits.
inline constexpr std::uint32_t kCeRxOver = 0x0001;
inline constexpr std::uint32_t kCeOverrun = 0x0002;
inline constexpr std::uint32_t kCeRxParity = 0x0004;
inline constexpr std::uint32_t kCeFrame = 0x0008;
inline constexpr std::uint32_t kCeBreak = 0x0010;
inline constexpr std::uint32_t kCeTxFull = 0x0100;
inline constexpr std::uint32_t kCeIoe = 0x0400;
inline constexpr std::uint32_t kCeMode = 0x8000;

// GetCommModemStatus.
inline constexpr std::uint32_t kMsCtsOn = 0x0010;
inline constexpr std::uint32_t kMsDsrOn = 0x0020;
inline constexpr std::uint32_t kMsRingOn = 0x0040;
inline constexpr std::uint32_t kMsRlsdOn = 0x0080;

// Error codes.
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorBadCommand = 22;
inline constexpr std::uint32_t kErrorGenFailure = 31;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorNotSupported = 50;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorSemTimeout = 121;
inline constexpr std::uint32_t kErrorNoMoreItems = 259;
inline constexpr std::uint32_t kErrorOperationAborted = 995;
inline constexpr std::uint32_t kErrorIoIncomplete = 996;
inline constexpr std::uint32_t kErrorIoPending = 997;
inline constexpr std::uint32_t kErrorNotFound = 1168;

// WaitForIo / WaitForThread.
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

// The line settings, laid out as the Windows DCB (28 bytes). Flags holds the flag word.
struct TDcb {
  std::uint32_t DCBlength = 0;
  std::uint32_t BaudRate = 0;
  std::uint32_t Flags = 0;
  std::uint16_t wReserved = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 0;
  std::uint8_t Parity = 0;
  std::uint8_t StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  std::uint16_t wReserved1 = 0;
};
static_assert(sizeof(TDcb) == 28);

// Bits and fields of TDcb::Flags.
inline constexpr std::uint32_t kDcbBinary = 1u << 0;
inline constexpr std::uint32_t kDcbParity = 1u << 1;
inline constexpr std::uint32_t kDcbOutxCtsFlow = 1u << 2;
inline constexpr std::uint32_t kDcbOutxDsrFlow = 1u << 3;
inline constexpr int kDcbDtrControlShift = 4;  // 2 bits
inline constexpr std::uint32_t kDcbDsrSensitivity = 1u << 6;
inline constexpr std::uint32_t kDcbTxContinueOnXoff = 1u << 7;
inline constexpr std::uint32_t kDcbOutX = 1u << 8;
inline constexpr std::uint32_t kDcbInX = 1u << 9;
inline constexpr std::uint32_t kDcbErrorChar = 1u << 10;
inline constexpr std::uint32_t kDcbNull = 1u << 11;
inline constexpr int kDcbRtsControlShift = 12;  // 2 bits
inline constexpr std::uint32_t kDcbAbortOnError = 1u << 14;

inline std::uint32_t DcbDtrControl(const TDcb& d) { return (d.Flags >> kDcbDtrControlShift) & 3u; }
inline std::uint32_t DcbRtsControl(const TDcb& d) { return (d.Flags >> kDcbRtsControlShift) & 3u; }

struct TCommTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

struct TComStat {
  std::uint32_t Flags = 0;
  std::uint32_t cbInQue = 0;
  std::uint32_t cbOutQue = 0;
};

// Outcome of a call: ok, or the error code captured right after the failing call.
struct TResult {
  bool ok = false;
  std::uint32_t error = 0;
  explicit operator bool() const { return ok; }
};
inline TResult Ok() { return {true, 0}; }
inline TResult Fail(std::uint32_t error) { return {false, error}; }

// A completion record: an OVERLAPPED with a manual-reset event of its own. One record
// serves one pending operation at a time.
class TIoRecord;

using TThreadProc = void (*)(void* arg);

class TCommApi {
 public:
  virtual ~TCommApi() = default;

  // CreateFile(name, GENERIC_READ | GENERIC_WRITE, no sharing, OPEN_EXISTING,
  // FILE_ATTRIBUTE_NORMAL, plus FILE_FLAG_OVERLAPPED when overlapped). Names, here and in
  // the registry calls, are UTF-8 (the Windows calls are the W ones).
  virtual THandle CreateFile(const std::string& name, bool overlapped, std::uint32_t& error) = 0;
  virtual TResult CloseHandle(THandle h) = 0;

  virtual TResult GetCommState(THandle h, TDcb& dcb) = 0;
  virtual TResult SetCommState(THandle h, const TDcb& dcb) = 0;
  virtual TResult SetCommTimeouts(THandle h, const TCommTimeouts& t) = 0;
  virtual TResult SetupComm(THandle h, std::uint32_t inQueue, std::uint32_t outQueue) = 0;
  // Also completes a pending WaitCommEvent (with mask 0, or under wine with error 995).
  virtual TResult SetCommMask(THandle h, std::uint32_t mask) = 0;
  virtual TResult PurgeComm(THandle h, std::uint32_t flags) = 0;
  virtual TResult ClearCommError(THandle h, std::uint32_t& errors, TComStat& stat) = 0;
  virtual TResult GetCommModemStatus(THandle h, std::uint32_t& status) = 0;
  virtual TResult FlushFileBuffers(THandle h) = 0;

  // An event (manual reset, not signalled) and a zeroed OVERLAPPED that uses it;
  // nullptr when the event cannot be made.
  virtual TIoRecord* CreateIoRecord() = 0;
  virtual void CloseIoRecord(TIoRecord* io) = 0;

  // Overlapped calls: ok when done at once; error kErrorIoPending when under way (then
  // WaitForIo and GetOverlappedResult); any other error when refused. While pending, the
  // mask and the buffer must stay valid.
  virtual TResult WaitCommEvent(THandle h, std::uint32_t& mask, TIoRecord& io) = 0;
  virtual TResult ReadFile(THandle h, void* buffer, std::uint32_t n, std::uint32_t& done,
                           TIoRecord& io) = 0;
  virtual TResult WriteFile(THandle h, const void* buffer, std::uint32_t n, std::uint32_t& done,
                            TIoRecord& io) = 0;
  // WaitForSingleObject on the record's event: kWaitObject0, kWaitTimeout or kWaitFailed.
  virtual std::uint32_t WaitForIo(TIoRecord& io, std::uint32_t timeoutMs) = 0;
  virtual TResult GetOverlappedResult(THandle h, TIoRecord& io, std::uint32_t& done, bool wait) = 0;
  // CancelIoEx of the operation pending on the record (it then completes with error 995);
  // fails with ERROR_NOT_FOUND (1168) when nothing is pending there.
  virtual TResult CancelIo(THandle h, TIoRecord& io) = 0;

  // A monotonic clock in microseconds, and a pause of about that many microseconds on the
  // calling thread. Pauses shorter than the system's timer tick stay short: the reader
  // thread looks at the line with them while it waits for a reply to end.
  virtual std::uint64_t NowMicros() = 0;
  virtual void PauseMicros(std::uint32_t micros) = 0;

  // CreateThread (default stack, running at once); 0 when it cannot be started.
  virtual TThread CreateThread(TThreadProc proc, void* arg, std::uint32_t& error) = 0;
  virtual TResult SetThreadPriorityHighest(TThread t) = 0;
  // WaitForSingleObject on the thread: kWaitObject0 once it has ended.
  virtual std::uint32_t WaitForThread(TThread t, std::uint32_t timeoutMs) = 0;
  // CloseHandle of the thread; a thread still running goes on on its own.
  virtual void CloseThread(TThread t) = 0;
  virtual bool IsCurrentThread(TThread t) = 0;

  // Read-only registry of HKEY_LOCAL_MACHINE (RegOpenKeyEx with KEY_READ, ...); text values
  // come as UTF-8, their sizes in those bytes.
  virtual TResult RegOpenKey(const std::string& subKey, TKey& key) = 0;
  virtual TResult RegQueryInfoKey(TKey key, std::uint32_t& values, std::uint32_t& maxValueNameLen) = 0;
  // name: a buffer of nameSize bytes; nameSize becomes the length of the name.
  virtual TResult RegEnumValue(TKey key, std::uint32_t index, char* name, std::uint32_t& nameSize) = 0;
  // data may be nullptr to ask only for type and size; size is in and out.
  virtual TResult RegQueryValueEx(TKey key, const char* name, std::uint32_t& type, unsigned char* data,
                                  std::uint32_t& size) = 0;
  virtual void RegCloseKey(TKey key) = 0;
};

// The implementation in use: the system's, unless SetCommApi put another in its place.
TCommApi& CommApi();
// nullptr restores the system's. The caller keeps api alive while it is in use.
void SetCommApi(TCommApi* api);
// The system's own implementation (one per system, chosen by the build).
TCommApi& SystemCommApi();

// Where devices are reached by a name of their own rather than a COM name (POSIX), makes
// path reachable as "COMn" and returns that name ("COM7"); the same path keeps its name.
// The Windows build has nothing to map and returns an empty string.
std::string RegisterSerialPath(const std::string& path);
// Drops a name given by RegisterSerialPath (tests).
void UnregisterSerialPath(const std::string& path);

// The system's text for an error code of these calls, in UTF-8 and without the line end
// (Windows: the system's message in the user's language; POSIX: a table of the codes this
// layer reports); empty when there is none.
std::string ErrorText(std::uint32_t code);

}  // namespace zorv::comm
