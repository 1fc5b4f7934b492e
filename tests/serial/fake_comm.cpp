// The recording fake of the comm calls.
#include "tests/serial/fake_comm.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>

using namespace zorv::comm;

namespace zorv::test {

namespace {

// The fake's completion record (handed out as the opaque TIoRecord).
struct FakeIo {
  bool pending = false;
  std::uint32_t* mask = nullptr;
  int wakes = 0;
  std::uint32_t done = 0;
  std::uint32_t error = 0;
  bool hung = false;  // a write the line holds
  int purges = 0;     // purges with abort seen when it began
};
FakeIo& Io(TIoRecord& io) { return reinterpret_cast<FakeIo&>(io); }

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

}  // namespace

struct FakeComm::Thread {
  struct State {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
  };
  std::thread thread;
  std::shared_ptr<State> state = std::make_shared<State>();  // outlives a detached thread's handle
  bool joined = false;
};

FakeComm::FakeComm() { SetCommApi(this); }
FakeComm::~FakeComm() { SetCommApi(nullptr); }

bool FakeComm::Log(const std::string& call, const std::string& args, std::uint32_t& error) {
  calls_.push_back(args.empty() ? call : call + " " + args);
  auto it = failures_.find(call);
  if (it == failures_.end()) return false;
  error = it->second;
  return true;
}

void FakeComm::SetFailure(const std::string& call, std::uint32_t error) {
  std::lock_guard<std::mutex> lock(m_);
  failures_[call] = error;
}

void FakeComm::ClearFailures() {
  std::lock_guard<std::mutex> lock(m_);
  failures_.clear();
}

void FakeComm::SetModemStatus(std::uint32_t status) {
  std::lock_guard<std::mutex> lock(m_);
  modemStatus_ = status;
}

void FakeComm::PostEvents(std::uint32_t mask) {
  {
    std::lock_guard<std::mutex> lock(m_);
    posted_ |= mask;
  }
  cv_.notify_all();
}

void FakeComm::Receive(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(m_);
  input_ += bytes;
}

void FakeComm::ReceiveAt(std::uint64_t micros, const std::string& bytes) {
  std::lock_guard<std::mutex> lock(m_);
  if (micros <= now_) {
    input_ += bytes;
    return;
  }
  arrivals_.emplace(micros, bytes);
}

std::uint64_t FakeComm::FakeNow() {
  std::lock_guard<std::mutex> lock(m_);
  return now_;
}

std::uint64_t FakeComm::NowMicros() { return FakeNow(); }

void FakeComm::HoldClockAt(std::uint64_t micros) {
  std::lock_guard<std::mutex> lock(m_);
  holdAt_ = micros;
}

void FakeComm::PauseMicros(std::uint32_t micros) {
  std::unique_lock<std::mutex> lock(m_);
  if (now_ + micros >= holdAt_) {
    now_ = std::max(now_, holdAt_);
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    return;
  }
  now_ += micros;
  while (!arrivals_.empty() && arrivals_.begin()->first <= now_) {
    input_ += arrivals_.begin()->second;
    arrivals_.erase(arrivals_.begin());
  }
}

void FakeComm::SetLineErrors(std::uint32_t errors) {
  std::lock_guard<std::mutex> lock(m_);
  errors_ = errors;
}

void FakeComm::SetOutQueue(std::vector<std::uint32_t> counts) {
  std::lock_guard<std::mutex> lock(m_);
  outQueue_ = std::move(counts);
}

void FakeComm::EndHungWrites() {
  {
    std::lock_guard<std::mutex> lock(m_);
    ++purgeAborted_;
  }
  cv_.notify_all();
}

void FakeComm::SetWrites(WriteMode mode, std::uint32_t writeCap, bool purgeAborts) {
  std::lock_guard<std::mutex> lock(m_);
  writeMode_ = mode;
  writeCap_ = writeCap;
  purgeAborts_ = purgeAborts;
}

std::vector<std::string> FakeComm::Calls() {
  std::lock_guard<std::mutex> lock(m_);
  return calls_;
}

std::vector<std::string> FakeComm::CallsNamed(const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& c : Calls())
    if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
  return out;
}

void FakeComm::ClearCalls() {
  std::lock_guard<std::mutex> lock(m_);
  calls_.clear();
}

std::string FakeComm::Written() {
  std::lock_guard<std::mutex> lock(m_);
  return written_;
}

TDcb FakeComm::LastDcb() {
  std::lock_guard<std::mutex> lock(m_);
  return dcb_;
}

TCommTimeouts FakeComm::LastTimeouts() {
  std::lock_guard<std::mutex> lock(m_);
  return timeouts_;
}

bool FakeComm::AwaitWaits(int n) {
  std::unique_lock<std::mutex> lock(m_);
  return cv_.wait_for(lock, std::chrono::seconds(10), [&] { return waits_ >= n; });
}

int FakeComm::OpenHandles() {
  std::lock_guard<std::mutex> lock(m_);
  return static_cast<int>(handles_.size());
}

int FakeComm::ThreadsRunning() {
  std::lock_guard<std::mutex> lock(m_);
  return threads_;
}

THandle FakeComm::CreateFile(const std::string& name, bool overlapped, std::uint32_t& error) {
  std::lock_guard<std::mutex> lock(m_);
  if (Log("CreateFileA", name + (overlapped ? " overlapped" : ""), error)) return kInvalidHandle;
  if (!devices.count(name)) {
    error = kErrorFileNotFound;
    return kInvalidHandle;
  }
  if (open_.count(Upper(name))) {
    error = kErrorAccessDenied;
    return kInvalidHandle;
  }
  open_.insert(Upper(name));
  const THandle h = nextHandle_++;
  handles_[h] = Upper(name);
  return h;
}

TResult FakeComm::CloseHandle(THandle h) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("CloseHandle", "", error)) return Fail(error);
  auto it = handles_.find(h);
  if (it == handles_.end()) return Fail(kErrorInvalidHandle);
  open_.erase(it->second);
  handles_.erase(it);
  return Ok();
}

TResult FakeComm::GetCommState(THandle, TDcb& dcb) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("GetCommState", "", error)) return Fail(error);
  // What a driver gives back: every flag set, so that a merge would show.
  dcb = TDcb{};
  dcb.DCBlength = 28;
  dcb.BaudRate = 9600;
  dcb.Flags = 0xFFFFFFFFu;
  dcb.ErrorChar = '?';
  dcb.EofChar = 26;
  dcb.wReserved1 = 7;
  return Ok();
}

TResult FakeComm::SetCommState(THandle, const TDcb& dcb) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("SetCommState", std::to_string(dcb.BaudRate), error)) return Fail(error);
  dcb_ = dcb;
  return Ok();
}

TResult FakeComm::SetCommTimeouts(THandle, const TCommTimeouts& t) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("SetCommTimeouts", "", error)) return Fail(error);
  timeouts_ = t;
  return Ok();
}

TResult FakeComm::SetupComm(THandle, std::uint32_t in, std::uint32_t out) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("SetupComm", std::to_string(in) + " " + std::to_string(out), error)) return Fail(error);
  return Ok();
}

TResult FakeComm::SetCommMask(THandle, std::uint32_t mask) {
  {
    std::lock_guard<std::mutex> lock(m_);
    std::uint32_t error = 0;
    if (Log("SetCommMask", std::to_string(mask), error)) return Fail(error);
    mask_ = mask;
    ++wakes_;
  }
  cv_.notify_all();
  return Ok();
}

TResult FakeComm::PurgeComm(THandle, std::uint32_t flags) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("PurgeComm", std::to_string(flags), error)) return Fail(error);
  if (flags & kPurgeRxClear) input_.clear();
  if ((flags & kPurgeTxAbort) && purgeAborts_) {
    ++purgeAborted_;
    cv_.notify_all();
  }
  return Ok();
}

TResult FakeComm::ClearCommError(THandle, std::uint32_t& errors, TComStat& stat) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("ClearCommError", "", error)) return Fail(error);
  errors = errors_;
  errors_ = 0;
  stat = TComStat{};
  stat.cbInQue = static_cast<std::uint32_t>(input_.size());
  if (!outQueue_.empty()) {
    stat.cbOutQue = outQueue_.front();
    if (outQueue_.size() > 1) outQueue_.erase(outQueue_.begin());
  }
  return Ok();
}

TResult FakeComm::GetCommModemStatus(THandle, std::uint32_t& status) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("GetCommModemStatus", "", error)) return Fail(error);
  status = modemStatus_;
  return Ok();
}

TResult FakeComm::FlushFileBuffers(THandle) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("FlushFileBuffers", "", error)) return Fail(error);
  return Ok();
}

TIoRecord* FakeComm::CreateIoRecord() {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("CreateEventA", "", error)) return nullptr;
  return reinterpret_cast<TIoRecord*>(new FakeIo);
}

void FakeComm::CloseIoRecord(TIoRecord* io) {
  std::lock_guard<std::mutex> lock(m_);
  calls_.push_back("CloseHandle event");
  delete reinterpret_cast<FakeIo*>(io);
}

TResult FakeComm::WaitCommEvent(THandle, std::uint32_t& mask, TIoRecord& io) {
  TResult r;
  {
    std::lock_guard<std::mutex> lock(m_);
    ++waits_;
    std::uint32_t error = 0;
    if (Log("WaitCommEvent", "", error)) {
      r = Fail(error);
    } else if (const std::uint32_t events = posted_ & mask_) {
      posted_ &= ~events;
      mask = events;
      r = Ok();
    } else {
      FakeIo& f = Io(io);
      f.pending = true;
      f.mask = &mask;
      f.wakes = wakes_;
      r = Fail(kErrorIoPending);
    }
  }
  cv_.notify_all();
  return r;
}

TResult FakeComm::ReadFile(THandle, void* buffer, std::uint32_t n, std::uint32_t& done, TIoRecord& io) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("ReadFile", std::to_string(n), error)) return Fail(error);
  const std::uint32_t take = std::min<std::uint32_t>(n, static_cast<std::uint32_t>(input_.size()));
  std::memcpy(buffer, input_.data(), take);
  input_.erase(0, take);
  done = take;
  Io(io) = FakeIo{};
  Io(io).done = take;
  return Ok();
}

TResult FakeComm::WriteFile(THandle, const void* buffer, std::uint32_t n, std::uint32_t& done, TIoRecord& io) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("WriteFile", std::to_string(n), error)) return Fail(error);
  Io(io) = FakeIo{};
  if (writeMode_ == WriteMode::Hang) {
    Io(io).hung = true;
    Io(io).purges = purgeAborted_;
    return Fail(kErrorIoPending);
  }
  const std::uint32_t take = std::min(n, writeCap_);
  written_.append(static_cast<const char*>(buffer), take);
  done = take;
  Io(io).done = take;
  return Fail(kErrorIoPending);  // completes through GetOverlappedResult
}

std::uint32_t FakeComm::WaitForIo(TIoRecord& io, std::uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("WaitForSingleObject", "", error)) return kWaitFailed;
  FakeIo& f = Io(io);
  if (f.hung) {
    auto ended = [&] { return !f.hung || purgeAborted_ != f.purges; };
    if (timeoutMs == kInfinite) cv_.wait(lock, ended);
    else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended)) return kWaitTimeout;
    return kWaitObject0;
  }
  if (!f.pending) return kWaitObject0;
  auto ready = [&] { return (posted_ & mask_) != 0 || wakes_ != f.wakes; };
  // Under wine a wait on a terminal without modem lines gives up within milliseconds.
  const bool early = wineAborts ? !cv_.wait_for(lock, std::chrono::milliseconds(3), ready)
                                : (cv_.wait(lock, ready), false);
  f.pending = false;
  if (early || wakes_ != f.wakes) {
    *f.mask = 0;
    f.error = wineAborts ? kErrorOperationAborted : 0;
  } else {
    *f.mask = posted_ & mask_;
    posted_ &= ~*f.mask;
    f.error = 0;
  }
  return kWaitObject0;
}

TResult FakeComm::GetOverlappedResult(THandle, TIoRecord& io, std::uint32_t& done, bool wait) {
  std::unique_lock<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("GetOverlappedResult", wait ? "wait" : "", error)) return Fail(error);
  FakeIo& f = Io(io);
  if (f.hung) {
    auto ended = [&] { return !f.hung || purgeAborted_ != f.purges; };
    if (!wait && !ended()) return Fail(kErrorIoIncomplete);
    cv_.wait(lock, ended);
    f.hung = false;
    f.done = 0;
    f.error = kErrorOperationAborted;
  }
  done = f.done;
  return f.error ? Fail(f.error) : Ok();
}

TResult FakeComm::CancelIo(THandle, TIoRecord& io) {
  {
    std::lock_guard<std::mutex> lock(m_);
    std::uint32_t error = 0;
    if (Log("CancelIoEx", "", error)) return Fail(error);
    FakeIo& f = Io(io);
    if (!f.hung) return Fail(kErrorNotFound);
    f.hung = false;
    f.done = 0;
    f.error = kErrorOperationAborted;
  }
  cv_.notify_all();
  return Ok();
}

TThread FakeComm::CreateThread(TThreadProc proc, void* arg, std::uint32_t& error) {
  {
    std::lock_guard<std::mutex> lock(m_);
    if (Log("CreateThread", "", error)) return 0;
    ++threads_;
  }
  auto* t = new Thread;
  t->thread = std::thread([this, state = t->state, proc, arg] {
    proc(arg);
    {
      std::lock_guard<std::mutex> lock(m_);
      --threads_;
    }
    {
      std::lock_guard<std::mutex> lock(state->m);
      state->done = true;
    }
    state->cv.notify_all();
  });
  return reinterpret_cast<TThread>(t);
}

TResult FakeComm::SetThreadPriorityHighest(TThread) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("SetThreadPriority", "highest", error)) return Fail(error);
  return Ok();
}

std::uint32_t FakeComm::WaitForThread(TThread th, std::uint32_t timeoutMs) {
  auto* t = reinterpret_cast<Thread*>(th);
  if (t->joined) return kWaitObject0;
  {
    Thread::State& s = *t->state;
    std::unique_lock<std::mutex> lock(s.m);
    auto done = [&s] { return s.done; };
    if (timeoutMs == kInfinite) s.cv.wait(lock, done);
    else if (!s.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), done)) return kWaitTimeout;
  }
  t->thread.join();
  t->joined = true;
  return kWaitObject0;
}

void FakeComm::CloseThread(TThread th) {
  auto* t = reinterpret_cast<Thread*>(th);
  if (!t->joined) t->thread.detach();
  delete t;
}

bool FakeComm::IsCurrentThread(TThread th) {
  return reinterpret_cast<Thread*>(th)->thread.get_id() == std::this_thread::get_id();
}

TResult FakeComm::RegOpenKey(const std::string& subKey, TKey& key) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("RegOpenKeyExA", subKey, error)) return Fail(error);
  if (registryMissing) return Fail(kErrorFileNotFound);
  key = 1;
  return Ok();
}

TResult FakeComm::RegQueryInfoKey(TKey, std::uint32_t& values, std::uint32_t& maxValueNameLen) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("RegQueryInfoKeyA", "", error)) return Fail(error);
  values = static_cast<std::uint32_t>(registry.size());
  maxValueNameLen = 0;
  for (const RegValue& v : registry)
    maxValueNameLen = std::max(maxValueNameLen, static_cast<std::uint32_t>(v.name.size()));
  return Ok();
}

TResult FakeComm::RegEnumValue(TKey, std::uint32_t index, char* name, std::uint32_t& nameSize) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("RegEnumValueA", std::to_string(index), error)) return Fail(error);
  if (index >= registry.size()) return Fail(kErrorNoMoreItems);
  const std::string& n = registry[index].name;
  if (n.size() + 1 > nameSize) return Fail(234);
  std::memcpy(name, n.c_str(), n.size() + 1);
  nameSize = static_cast<std::uint32_t>(n.size());
  return Ok();
}

TResult FakeComm::RegQueryValueEx(TKey, const char* name, std::uint32_t& type, unsigned char* data,
                                  std::uint32_t& size) {
  std::lock_guard<std::mutex> lock(m_);
  std::uint32_t error = 0;
  if (Log("RegQueryValueExA", std::string(name) + (data ? " data" : ""), error)) return Fail(error);
  for (const RegValue& v : registry) {
    if (v.name != name) continue;
    type = v.type;
    const std::uint32_t need = static_cast<std::uint32_t>(v.data.size());  // stored as given
    if (data) {
      if (size < need) return Fail(234);
      std::memcpy(data, v.data.data(), need);
    }
    size = need;
    return Ok();
  }
  return Fail(kErrorFileNotFound);
}

void FakeComm::RegCloseKey(TKey) {
  std::lock_guard<std::mutex> lock(m_);
  calls_.push_back("RegCloseKey");
}

}  // namespace zorv::test
