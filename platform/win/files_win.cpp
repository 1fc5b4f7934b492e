// Windows files: the wide CreateFile calls, append data access and FlushFileBuffers.
#include <windows.h>

#include "platform/files.h"
#include "platform/win/handle_win.h"
#include "platform/win/utf8_win.h"

namespace zorv::platform {

namespace {

TFileError ErrorOf(DWORD code) {
  TFileError e;
  e.kind = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? TFileError::Kind::NotFound
                                                                         : TFileError::Kind::Other;
  e.code = code;
  return e;
}

bool WriteAll(HANDLE h, const char* data, std::size_t size, DWORD& code) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(h, data, chunk, &written, nullptr)) {
      code = GetLastError();
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

}  // namespace

bool ReadFileAtMost(const std::string& path, std::size_t limit, std::string& bytes, std::uint64_t& size,
                    TFileError& error) {
  bytes.clear();
  size = 0;
  const std::wstring wide = Utf8ToWideLoose(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error = TFileError{TFileError::Kind::Directory, 0};
    return false;
  }
  THandleOwner file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    error = ErrorOf(GetLastError());
    return false;
  }
  char buf[65536];
  while (bytes.size() <= limit) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buf, sizeof buf, &n, nullptr)) {
      error = ErrorOf(GetLastError());
      return false;
    }
    if (n == 0) break;
    const std::size_t room = limit + 1 - bytes.size();
    bytes.append(buf, n < room ? n : room);
  }
  LARGE_INTEGER fileSize{};
  size = GetFileSizeEx(file.get(), &fileSize) && static_cast<std::uint64_t>(fileSize.QuadPart) > bytes.size()
             ? static_cast<std::uint64_t>(fileSize.QuadPart)
             : bytes.size();
  return true;
}

bool AppendRecord(const std::string& path, const std::string& bytes, TFileError& error) {
  // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end of the file as
  // a whole, so records of several processes never interleave.
  THandleOwner file(CreateFileW(Utf8ToWideLoose(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    error = ErrorOf(GetLastError());
    return false;
  }
  DWORD code = 0;
  if (!WriteAll(file.get(), bytes.data(), bytes.size(), code) || !FlushFileBuffers(file.get())) {
    error = ErrorOf(code != 0 ? code : GetLastError());
    return false;
  }
  return true;
}

TOutputFile::~TOutputFile() {
  if (handle_ != kNone) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool TOutputFile::Create(const std::string& path, TFileError& error) {
  HANDLE h = CreateFileW(Utf8ToWideLoose(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = ErrorOf(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

bool TOutputFile::Write(const char* data, std::size_t size, TFileError& error) {
  if (handle_ == kNone) return false;
  DWORD code = 0;
  if (!WriteAll(reinterpret_cast<HANDLE>(handle_), data, size, code)) {
    error = ErrorOf(code);
    return false;
  }
  return true;
}

}  // namespace zorv::platform
