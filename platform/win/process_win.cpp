// Windows child processes (CreateProcessW into a job object that kills its members when it
// closes, anonymous pipes) and stop requests (a console control handler).
#include <windows.h>

#include <atomic>
#include <mutex>

#include "platform/process.h"
#include "platform/win/handle_win.h"
#include "platform/win/utf8_win.h"

namespace zorv::platform {

namespace {

// One argument quoted for the command line as the C run time splits it again: quotes
// around it when needed, a quote inside escaped, backslashes doubled before a quote.
std::wstring Quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') out.append(backslashes * 2 + 1, L'\\');
    else out.append(backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  out += L'"';
  return out;
}

std::wstring ProgramPathW() {
  std::wstring path(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  return path;
}

// The job of every child: made once, its handle kept until the process ends, when the
// system closes it and so kills whatever child is left.
HANDLE ChildJob(DWORD& error) {
  static std::once_flag once;
  static HANDLE job = nullptr;
  static DWORD jobError = 0;
  std::call_once(once, [] {
    job = CreateJobObjectW(nullptr, nullptr);
    if (!job) {
      jobError = GetLastError();
      return;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
      jobError = GetLastError();
      CloseHandle(job);
      job = nullptr;
    }
  });
  error = jobError;
  return job;
}

std::atomic<bool> g_stop{false};
THandleOwner g_stopDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));

BOOL WINAPI OnConsoleEvent(DWORD type) {
  g_stop.store(true);
  // The process ends as soon as the handler returns from a close, log-off or shut-down:
  // give the program the few seconds the system allows to stop its ports.
  if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT) {
    WaitForSingleObject(g_stopDone.get(), 4500);
  }
  return TRUE;
}

}  // namespace

struct TChildProcess::TImpl {
  THandleOwner process;
  THandleOwner input;   // our end of its standard input
  THandleOwner output;  // our end of its standard output and error
  DWORD id = 0;
};

TChildProcess::TChildProcess() : impl_(std::make_unique<TImpl>()) {}

TChildProcess::~TChildProcess() {
  if (impl_->process.valid()) {
    int code = 0;
    if (!Wait(0, code)) {
      Kill();
      Wait(5000, code);
    }
  }
}

bool TChildProcess::Start(const std::vector<std::string>& args, std::uint32_t& error) {
  DWORD jobError = 0;
  HANDLE job = ChildJob(jobError);
  if (!job) {
    error = jobError;
    return false;
  }
  // The child's ends are inheritable, ours are not. Children are started one at a time
  // from one thread, and the child's ends are closed here right after the start, so no
  // other child inherits them (its pipes would then never end).
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) {
    error = GetLastError();
    return false;
  }
  THandleOwner childIn(inRead), ourIn(inWrite);
  if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) {
    error = GetLastError();
    return false;
  }
  THandleOwner ourOut(outRead), childOut(outWrite);
  if (!SetHandleInformation(ourIn.get(), HANDLE_FLAG_INHERIT, 0) ||
      !SetHandleInformation(ourOut.get(), HANDLE_FLAG_INHERIT, 0)) {
    error = GetLastError();
    return false;
  }

  const std::wstring program = ProgramPathW();
  std::wstring commandLine = Quoted(program);
  for (const std::string& a : args) commandLine += L" " + Quoted(Utf8ToWideLoose(a));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = childIn.get();
  si.hStdOutput = childOut.get();
  si.hStdError = childOut.get();
  PROCESS_INFORMATION pi{};
  // Detached from the console: Ctrl+C and the console's close reach the parent alone,
  // which tells each child to stop through its input. Suspended until it is in the job,
  // so that it never runs outside it. A flasher that runs inside a job of someone else's (a
  // shell's, a scheduler's) asks for its children to leave that job, where the job allows
  // it: on Windows 7 a process of a job cannot join a second one (nested jobs came with
  // Windows 8).
  const DWORD flags = CREATE_SUSPENDED | DETACHED_PROCESS | CREATE_UNICODE_ENVIRONMENT;
  BOOL created = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                flags | CREATE_BREAKAWAY_FROM_JOB, nullptr, nullptr, &si, &pi);
  if (!created && GetLastError() == ERROR_ACCESS_DENIED) {
    created = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                             &si, &pi);
  }
  if (!created) {
    error = GetLastError();
    return false;
  }
  THandleOwner thread(pi.hThread);
  impl_->process.Reset(pi.hProcess);
  impl_->id = pi.dwProcessId;
  if (!AssignProcessToJobObject(job, pi.hProcess)) {
    const DWORD assignError = GetLastError();
    // Refused only where the child stays in a job that allows no breakaway, on Windows 7:
    // it then runs outside ours and still ends with this process, when its input ends.
    if (assignError != ERROR_ACCESS_DENIED) {
      error = assignError;
      TerminateProcess(pi.hProcess, 127);
      WaitForSingleObject(pi.hProcess, 5000);
      impl_->process.Reset();
      return false;
    }
  }
  if (ResumeThread(pi.hThread) == static_cast<DWORD>(-1)) {
    error = GetLastError();
    TerminateProcess(pi.hProcess, 127);
    WaitForSingleObject(pi.hProcess, 5000);
    impl_->process.Reset();
    return false;
  }
  impl_->input.Reset(ourIn.get());
  impl_->output.Reset(ourOut.get());
  // Ownership moved: keep the temporary owners from closing them.
  ourIn.Release();
  ourOut.Release();
  return true;
}

bool TChildProcess::WriteInput(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD written = 0;
    const DWORD chunk = size > 65536 ? 65536 : static_cast<DWORD>(size);
    if (!WriteFile(impl_->input.get(), p, chunk, &written, nullptr)) return false;
    p += written;
    size -= written;
  }
  return true;
}

std::size_t TChildProcess::ReadOutput(char* buffer, std::size_t size) {
  DWORD n = 0;
  if (!ReadFile(impl_->output.get(), buffer, static_cast<DWORD>(size), &n, nullptr)) return 0;
  return n;
}

bool TChildProcess::Wait(int timeoutMs, int& exitCode) {
  if (!impl_->process.valid()) return false;
  if (WaitForSingleObject(impl_->process.get(), timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs)) !=
      WAIT_OBJECT_0) {
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(impl_->process.get(), &code);
  exitCode = static_cast<int>(code);
  return true;
}

void TChildProcess::Kill() {
  if (impl_->process.valid()) TerminateProcess(impl_->process.get(), 137);
}

long TChildProcess::Id() const { return static_cast<long>(impl_->id); }

std::size_t ReadStandardInput(char* buffer, std::size_t size) {
  DWORD n = 0;
  if (!ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, static_cast<DWORD>(size), &n, nullptr)) return 0;
  return n;
}

void CatchStopRequests() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }
bool StopRequested() { return g_stop.load(); }
void RequestStop() { g_stop.store(true); }
void StopDone() {
  if (g_stopDone.valid()) SetEvent(g_stopDone.get());
}

}  // namespace zorv::platform
