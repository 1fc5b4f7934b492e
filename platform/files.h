// Files of the command-line flasher: a whole file read at once (the image given at run
// time), a record appended to a log in one write and flushed to disk (the report), and a
// file written in large pieces (the line trace). Paths are UTF-8; on Windows they go to
// the wide calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zorv::platform {

struct TFileError {
  enum class Kind { None, NotFound, Directory, Other } kind = Kind::None;
  std::uint32_t code = 0;  // the system's error code (errno, GetLastError), 0 for Directory
};

// Reads the file whole, but never more than limit + 1 bytes (so that a file that is too
// large is known as such without reading all of it); size gets the file's size as the
// system tells it (the bytes read when it does not).
bool ReadFileAtMost(const std::string& path, std::size_t limit, std::string& bytes, std::uint64_t& size,
                    TFileError& error);

// Appends the bytes to the file (created when missing) in one write to a file opened for
// appending, then flushes it to disk: records of several processes never interleave, and
// a record is either whole or absent.
bool AppendRecord(const std::string& path, const std::string& bytes, TFileError& error);

// A file created (or emptied) for writing; closed by the destructor.
class TOutputFile {
 public:
  TOutputFile() = default;
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  bool Create(const std::string& path, TFileError& error);
  bool Write(const char* data, std::size_t size, TFileError& error);
  bool IsOpen() const { return handle_ != kNone; }

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;  // a descriptor, or a HANDLE
};

}  // namespace zorv::platform
