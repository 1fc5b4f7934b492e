// A recording stand-in for the serial line calls: every call is logged as one line of text
// ("CreateFileA \\.\COM7", "SetCommMask 1", ...), any call can be made to fail with a
// given error, the line is scripted (modem lines, bytes waiting, error bits, registry
// values) and line events are posted from the test to a pending WaitCommEvent. The reader
// thread is a real thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/comm.h"

namespace zorv::test {

class FakeComm : public zorv::comm::TCommApi {
 public:
  FakeComm();   // installs itself with SetCommApi
  ~FakeComm() override;  // restores the system's

  // ---- Script (set before use, or under the fake's own lock through the methods) ----
  std::set<std::string> devices{"\\\\.\\COM1", "\\\\.\\com7", "\\\\.\\COM7", "\\\\.\\COM3", "\\\\.\\COM255"};
  // Makes every later call of that name fail with the error (under the fake's lock: the
  // reader thread may be calling).
  void SetFailure(const std::string& call, std::uint32_t error);
  void ClearFailures();
  void SetModemStatus(std::uint32_t status);
  bool wineAborts = false;  // SetCommMask wakes a wait with 995 instead of success
  struct RegValue {
    std::string name;
    std::uint32_t type;
    std::string data;
  };
  std::vector<RegValue> registry;
  bool registryMissing = false;

  // Posts line events; a pending wait completes with them (or the next wait does).
  void PostEvents(std::uint32_t mask);
  // Bytes that arrive on the line (ClearCommError counts them, ReadFile takes them).
  void Receive(const std::string& bytes);
  // Bytes that arrive when the fake's clock passes `micros`. The clock (NowMicros) moves
  // only when the element pauses (PauseMicros), so the timing of a chunk is exact.
  void ReceiveAt(std::uint64_t micros, const std::string& bytes);
  std::uint64_t FakeNow();
  // The clock stops at this time: pauses that would pass it end there (after a short real
  // sleep, so that a reader that keeps looking does not spin), and nothing later arrives.
  void HoldClockAt(std::uint64_t micros);
  void SetLineErrors(std::uint32_t errors);
  // The output queue counts that successive ClearCommError calls report (the last one
  // stays); empty: always 0.
  void SetOutQueue(std::vector<std::uint32_t> counts);
  // How a write goes: Done takes at most writeCap bytes (fewer: a time-out); Hang stays
  // pending until CancelIoEx, or a purge with PURGE_TXABORT when purgeAborts is set.
  enum class WriteMode { Done, Hang };
  void SetWrites(WriteMode mode, std::uint32_t writeCap = 0xFFFFFFFFu, bool purgeAborts = true);
  // Ends every write hanging now, as a purge with PURGE_TXABORT would (a test's way out).
  void EndHungWrites();

  // ---- Observation ----
  std::vector<std::string> Calls();
  std::vector<std::string> CallsNamed(const std::string& prefix);
  void ClearCalls();
  std::string Written();
  zorv::comm::TDcb LastDcb();
  zorv::comm::TCommTimeouts LastTimeouts();
  // Waits (at most 10 s) until WaitCommEvent has been called n times in all.
  bool AwaitWaits(int n);
  int OpenHandles();
  int ThreadsRunning();

  // ---- TCommApi ----
  zorv::comm::THandle CreateFile(const std::string& name, bool overlapped, std::uint32_t& error) override;
  zorv::comm::TResult CloseHandle(zorv::comm::THandle h) override;
  zorv::comm::TResult GetCommState(zorv::comm::THandle h, zorv::comm::TDcb& dcb) override;
  zorv::comm::TResult SetCommState(zorv::comm::THandle h, const zorv::comm::TDcb& dcb) override;
  zorv::comm::TResult SetCommTimeouts(zorv::comm::THandle h, const zorv::comm::TCommTimeouts& t) override;
  zorv::comm::TResult SetupComm(zorv::comm::THandle h, std::uint32_t in, std::uint32_t out) override;
  zorv::comm::TResult SetCommMask(zorv::comm::THandle h, std::uint32_t mask) override;
  zorv::comm::TResult PurgeComm(zorv::comm::THandle h, std::uint32_t flags) override;
  zorv::comm::TResult ClearCommError(zorv::comm::THandle h, std::uint32_t& errors,
                                     zorv::comm::TComStat& stat) override;
  zorv::comm::TResult GetCommModemStatus(zorv::comm::THandle h, std::uint32_t& status) override;
  zorv::comm::TResult FlushFileBuffers(zorv::comm::THandle h) override;
  zorv::comm::TIoRecord* CreateIoRecord() override;
  void CloseIoRecord(zorv::comm::TIoRecord* io) override;
  zorv::comm::TResult WaitCommEvent(zorv::comm::THandle h, std::uint32_t& mask, zorv::comm::TIoRecord& io) override;
  zorv::comm::TResult ReadFile(zorv::comm::THandle h, void* buffer, std::uint32_t n, std::uint32_t& done,
                               zorv::comm::TIoRecord& io) override;
  zorv::comm::TResult WriteFile(zorv::comm::THandle h, const void* buffer, std::uint32_t n, std::uint32_t& done,
                                zorv::comm::TIoRecord& io) override;
  std::uint32_t WaitForIo(zorv::comm::TIoRecord& io, std::uint32_t timeoutMs) override;
  zorv::comm::TResult GetOverlappedResult(zorv::comm::THandle h, zorv::comm::TIoRecord& io, std::uint32_t& done,
                                          bool wait) override;
  zorv::comm::TResult CancelIo(zorv::comm::THandle h, zorv::comm::TIoRecord& io) override;
  std::uint64_t NowMicros() override;
  void PauseMicros(std::uint32_t micros) override;
  zorv::comm::TThread CreateThread(zorv::comm::TThreadProc proc, void* arg, std::uint32_t& error) override;
  zorv::comm::TResult SetThreadPriorityHighest(zorv::comm::TThread t) override;
  std::uint32_t WaitForThread(zorv::comm::TThread t, std::uint32_t timeoutMs) override;
  void CloseThread(zorv::comm::TThread t) override;
  bool IsCurrentThread(zorv::comm::TThread t) override;
  zorv::comm::TResult RegOpenKey(const std::string& subKey, zorv::comm::TKey& key) override;
  zorv::comm::TResult RegQueryInfoKey(zorv::comm::TKey key, std::uint32_t& values,
                                      std::uint32_t& maxValueNameLen) override;
  zorv::comm::TResult RegEnumValue(zorv::comm::TKey key, std::uint32_t index, char* name,
                                   std::uint32_t& nameSize) override;
  zorv::comm::TResult RegQueryValueEx(zorv::comm::TKey key, const char* name, std::uint32_t& type,
                                      unsigned char* data, std::uint32_t& size) override;
  void RegCloseKey(zorv::comm::TKey key) override;

 private:
  struct Thread;
  // Logs the call; returns the scripted failure for it, if any.
  bool Log(const std::string& call, const std::string& args, std::uint32_t& error);

  std::mutex m_;
  std::condition_variable cv_;
  std::map<std::string, std::uint32_t> failures_;  // call name -> error code
  std::uint32_t modemStatus_ = 0;
  std::vector<std::string> calls_;
  std::set<std::string> open_;
  std::map<zorv::comm::THandle, std::string> handles_;
  zorv::comm::THandle nextHandle_ = 100;
  std::uint32_t mask_ = 0;
  std::uint32_t posted_ = 0;
  std::uint32_t errors_ = 0;
  std::string input_;
  std::uint64_t now_ = 0;
  std::uint64_t holdAt_ = UINT64_MAX;
  std::multimap<std::uint64_t, std::string> arrivals_;
  std::string written_;
  std::vector<std::uint32_t> outQueue_;
  WriteMode writeMode_ = WriteMode::Done;
  std::uint32_t writeCap_ = 0xFFFFFFFFu;
  bool purgeAborts_ = true;
  int purgeAborted_ = 0;  // purges with PURGE_TXABORT: each ends the writes hanging then
  zorv::comm::TDcb dcb_;
  zorv::comm::TCommTimeouts timeouts_;
  int waits_ = 0;
  int wakes_ = 0;  // SetCommMask calls, each completes a pending wait
  int threads_ = 0;
};

}  // namespace zorv::test
