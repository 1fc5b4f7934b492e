// An owner for kernel handles.
#pragma once

#include <windows.h>

namespace zorv::platform {

// Closes a kernel handle when it goes out of scope.
class THandleOwner {
 public:
  THandleOwner() = default;
  explicit THandleOwner(HANDLE h) : h_(h) {}
  ~THandleOwner() { Reset(); }
  THandleOwner(const THandleOwner&) = delete;
  THandleOwner& operator=(const THandleOwner&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    HANDLE h = h_;
    h_ = nullptr;
    return h;
  }
  void Reset(HANDLE h = nullptr) {
    if (valid()) CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

}  // namespace zorv::platform
