// Windows implementation of the serial line calls: the real kernel32 and advapi32 calls,
// with overlapped I/O. Every completion record carries its own event, so a write, a read
// and the reader thread's event wait can be pending at the same time.
#include <windows.h>

// The interface keeps the plain names of the calls; windows.h makes some of them macros.
#undef CreateFile
#undef RegOpenKey
#undef RegQueryInfoKey
#undef RegEnumValue
#undef RegQueryValueEx

#include <cstring>
#include <vector>

#include "platform/comm.h"
#include "platform/win/utf8_win.h"

namespace zorv::comm {

class TIoRecord {
 public:
  OVERLAPPED ov{};
};

namespace {

HANDLE H(THandle h) { return reinterpret_cast<HANDLE>(h); }
TResult Result(BOOL ok) { return ok ? Ok() : Fail(GetLastError()); }
// The outcome of a call that also counts bytes: the error is taken before anything else runs.
TResult Counted(BOOL ok, DWORD n, std::uint32_t& done) {
  const DWORD error = ok ? 0 : GetLastError();
  done = n;
  return ok ? Ok() : Fail(error);
}

static_assert(sizeof(DCB) == sizeof(TDcb));

class TWinCommApi final : public TCommApi {
 public:
  THandle CreateFile(const std::string& name, bool overlapped, std::uint32_t& error) override {
    std::wstring wide;
    if (!zorv::platform::Utf8ToWide(name, wide)) {
      error = ERROR_INVALID_NAME;
      return kInvalidHandle;
    }
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (overlapped ? FILE_FLAG_OVERLAPPED : 0);
    HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags,
                             nullptr);
    error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    return h == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<THandle>(h);
  }
  TResult CloseHandle(THandle h) override { return Result(::CloseHandle(H(h))); }

  TResult GetCommState(THandle h, TDcb& dcb) override {
    DCB d{};
    d.DCBlength = sizeof d;
    if (!::GetCommState(H(h), &d)) return Fail(GetLastError());
    std::memcpy(static_cast<void*>(&dcb), &d, sizeof d);  // same layout, flag word included
    return Ok();
  }
  TResult SetCommState(THandle h, const TDcb& dcb) override {
    DCB d;
    std::memcpy(&d, &dcb, sizeof d);
    return Result(::SetCommState(H(h), &d));
  }
  TResult SetCommTimeouts(THandle h, const TCommTimeouts& t) override {
    COMMTIMEOUTS c{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                   t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant};
    return Result(::SetCommTimeouts(H(h), &c));
  }
  TResult SetupComm(THandle h, std::uint32_t inQueue, std::uint32_t outQueue) override {
    return Result(::SetupComm(H(h), inQueue, outQueue));
  }
  TResult SetCommMask(THandle h, std::uint32_t mask) override { return Result(::SetCommMask(H(h), mask)); }
  TResult PurgeComm(THandle h, std::uint32_t flags) override { return Result(::PurgeComm(H(h), flags)); }
  TResult ClearCommError(THandle h, std::uint32_t& errors, TComStat& stat) override {
    DWORD e = 0;
    COMSTAT s{};
    if (!::ClearCommError(H(h), &e, &s)) return Fail(GetLastError());
    errors = e;
    stat.Flags = 0;
    stat.cbInQue = s.cbInQue;
    stat.cbOutQue = s.cbOutQue;
    return Ok();
  }
  TResult GetCommModemStatus(THandle h, std::uint32_t& status) override {
    DWORD s = 0;
    if (!::GetCommModemStatus(H(h), &s)) return Fail(GetLastError());
    status = s;
    return Ok();
  }
  TResult FlushFileBuffers(THandle h) override { return Result(::FlushFileBuffers(H(h))); }

  TIoRecord* CreateIoRecord() override {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) return nullptr;
    auto* io = new TIoRecord;
    io->ov.hEvent = event;
    return io;
  }
  void CloseIoRecord(TIoRecord* io) override {
    if (!io) return;
    ::CloseHandle(io->ov.hEvent);
    delete io;
  }
  // Each new operation starts from a clean record: offsets and status zero. ReadFile and
  // WriteFile reset the event themselves as they begin (one system call less for each of
  // the upload's one-byte writes); the event wait gets it reset here.
  static void Rearm(TIoRecord& io) {
    HANDLE event = io.ov.hEvent;
    std::memset(&io.ov, 0, sizeof io.ov);
    io.ov.hEvent = event;
  }
  TResult WaitCommEvent(THandle h, std::uint32_t& mask, TIoRecord& io) override {
    Rearm(io);
    ResetEvent(io.ov.hEvent);
    static_assert(sizeof(DWORD) == sizeof(std::uint32_t));
    return Result(::WaitCommEvent(H(h), reinterpret_cast<DWORD*>(&mask), &io.ov));
  }
  TResult ReadFile(THandle h, void* buffer, std::uint32_t n, std::uint32_t& done, TIoRecord& io) override {
    Rearm(io);
    DWORD got = 0;
    const BOOL ok = ::ReadFile(H(h), buffer, n, &got, &io.ov);
    return Counted(ok, got, done);
  }
  TResult WriteFile(THandle h, const void* buffer, std::uint32_t n, std::uint32_t& done,
                    TIoRecord& io) override {
    Rearm(io);
    DWORD put = 0;
    const BOOL ok = ::WriteFile(H(h), buffer, n, &put, &io.ov);
    return Counted(ok, put, done);
  }
  std::uint32_t WaitForIo(TIoRecord& io, std::uint32_t timeoutMs) override {
    return WaitForSingleObject(io.ov.hEvent, timeoutMs);
  }
  TResult GetOverlappedResult(THandle h, TIoRecord& io, std::uint32_t& done, bool wait) override {
    DWORD n = 0;
    const BOOL ok = ::GetOverlappedResult(H(h), &io.ov, &n, wait ? TRUE : FALSE);
    return Counted(ok, n, done);
  }
  TResult CancelIo(THandle h, TIoRecord& io) override { return Result(::CancelIoEx(H(h), &io.ov)); }

  struct TStart {
    TThreadProc proc;
    void* arg;
  };
  static DWORD WINAPI Trampoline(LPVOID p) {
    const TStart start = *static_cast<TStart*>(p);
    delete static_cast<TStart*>(p);
    start.proc(start.arg);
    return 0;
  }
  TThread CreateThread(TThreadProc proc, void* arg, std::uint32_t& error) override {
    auto* start = new TStart{proc, arg};
    HANDLE t = ::CreateThread(nullptr, 0, &Trampoline, start, 0, nullptr);
    if (!t) {
      error = GetLastError();
      delete start;
      return 0;
    }
    error = 0;
    return reinterpret_cast<TThread>(t);
  }
  std::uint64_t NowMicros() override {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<std::uint64_t>(now.QuadPart / frequency.QuadPart * 1000000 +
                                      now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart);
  }
  void PauseMicros(std::uint32_t micros) override {
    // Sleep counts whole timer ticks (1 to 15.6 ms, and wine's waits whole milliseconds):
    // a pause under 2 ms gives the processor away in turns until its end instead.
    if (micros >= 2000) {
      ::Sleep(micros / 1000);
      return;
    }
    const std::uint64_t end = NowMicros() + micros;
    while (NowMicros() < end) ::SwitchToThread();
  }

  TResult SetThreadPriorityHighest(TThread t) override {
    return Result(::SetThreadPriority(reinterpret_cast<HANDLE>(t), THREAD_PRIORITY_HIGHEST));
  }
  std::uint32_t WaitForThread(TThread t, std::uint32_t timeoutMs) override {
    return WaitForSingleObject(reinterpret_cast<HANDLE>(t), timeoutMs);
  }
  void CloseThread(TThread t) override { ::CloseHandle(reinterpret_cast<HANDLE>(t)); }
  bool IsCurrentThread(TThread t) override {
    return GetThreadId(reinterpret_cast<HANDLE>(t)) == GetCurrentThreadId();
  }

  TResult RegOpenKey(const std::string& subKey, TKey& key) override {
    std::wstring wide;
    if (!zorv::platform::Utf8ToWide(subKey, wide)) return Fail(ERROR_INVALID_NAME);
    HKEY k = nullptr;
    const LONG r = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, KEY_READ, &k);
    if (r != ERROR_SUCCESS) return Fail(static_cast<std::uint32_t>(r));
    key = reinterpret_cast<TKey>(k);
    return Ok();
  }
  TResult RegQueryInfoKey(TKey key, std::uint32_t& values, std::uint32_t& maxValueNameLen) override {
    DWORD count = 0, longest = 0;
    const LONG r = ::RegQueryInfoKeyW(reinterpret_cast<HKEY>(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, &count, &longest, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) return Fail(static_cast<std::uint32_t>(r));
    values = count;
    // In UTF-8 a character of the name may take up to three bytes.
    maxValueNameLen = longest * 3;
    return Ok();
  }
  TResult RegEnumValue(TKey key, std::uint32_t index, char* name, std::uint32_t& nameSize) override {
    if (nameSize == 0) return Fail(ERROR_MORE_DATA);
    std::vector<wchar_t> wide(nameSize);
    DWORD chars = nameSize;
    const LONG r = ::RegEnumValueW(reinterpret_cast<HKEY>(key), index, wide.data(), &chars, nullptr, nullptr, nullptr,
                                   nullptr);
    if (r != ERROR_SUCCESS) return Fail(static_cast<std::uint32_t>(r));
    const std::string utf8 = zorv::platform::WideToUtf8(wide.data(), chars);
    if (utf8.size() >= nameSize) return Fail(ERROR_MORE_DATA);
    std::memcpy(name, utf8.c_str(), utf8.size() + 1);
    nameSize = static_cast<std::uint32_t>(utf8.size());
    return Ok();
  }
  // Text values are handed on as UTF-8 with their terminator, their size in those bytes;
  // other values as they are.
  TResult RegQueryValueEx(TKey key, const char* name, std::uint32_t& type, unsigned char* data,
                          std::uint32_t& size) override {
    std::wstring wideName;
    if (!zorv::platform::Utf8ToWide(name ? std::string(name) : std::string(), wideName)) return Fail(ERROR_INVALID_NAME);
    const HKEY k = reinterpret_cast<HKEY>(key);
    DWORD t = 0, bytes = 0;
    LONG r = ::RegQueryValueExW(k, wideName.c_str(), nullptr, &t, nullptr, &bytes);
    if (r != ERROR_SUCCESS) return Fail(static_cast<std::uint32_t>(r));
    // Room for a terminator the value may have been stored without.
    std::vector<unsigned char> raw(bytes + sizeof(wchar_t), 0);
    r = ::RegQueryValueExW(k, wideName.c_str(), nullptr, &t, raw.data(), &bytes);
    if (r != ERROR_SUCCESS) return Fail(static_cast<std::uint32_t>(r));
    std::string value;
    if (t == REG_SZ || t == REG_EXPAND_SZ || t == REG_MULTI_SZ) {
      std::wstring text(bytes / sizeof(wchar_t), L'\0');
      std::memcpy(text.data(), raw.data(), text.size() * sizeof(wchar_t));
      value = zorv::platform::WideToUtf8(text.data(), text.size());
    } else {
      value.assign(reinterpret_cast<const char*>(raw.data()), bytes);
    }
    type = t;
    if (data && value.size() > size) {
      size = static_cast<std::uint32_t>(value.size());
      return Fail(ERROR_MORE_DATA);
    }
    if (data) std::memcpy(data, value.data(), value.size());
    size = static_cast<std::uint32_t>(value.size());
    return Ok();
  }
  void RegCloseKey(TKey key) override { ::RegCloseKey(reinterpret_cast<HKEY>(key)); }
};

}  // namespace

TCommApi& SystemCommApi() {
  // Never destroyed: a reader thread that let go of its element may still be finishing
  // while the process exits.
  static TWinCommApi* const api = new TWinCommApi;
  return *api;
}

std::string RegisterSerialPath(const std::string&) { return std::string(); }
void UnregisterSerialPath(const std::string&) {}

std::string ErrorText(std::uint32_t code) {
  // The wide call: the message is in the user's language, and the A call would give it in
  // the ANSI code page. FORMAT_MESSAGE_IGNORE_INSERTS keeps inserts such as %1 as they are.
  wchar_t buf[512];
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buf,
                                 sizeof buf / sizeof buf[0], nullptr);
  if (n == 0) return std::string();
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, buf, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::string();
  std::string text(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, buf, static_cast<int>(n), text.data(), bytes, nullptr, nullptr);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace zorv::comm
