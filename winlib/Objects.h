// The object base of the library and its growable list of pointer-sized values.
//
// Objects are created with New<T>() (which runs Init) and ended with Free(), which defers
// destruction while the object is locked: Lock/Unlock count in steps of two and bit 0 of
// LockCount records a Free that came in under a lock. A negative LockCount means that
// destruction is under way. Destruction runs the type's own cleanup (its destructor), then
// the base cleanup: OnDestroy once, then the auto-free pairs, last added first.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

class TObj;
class TList;

// An object event: a procedure with its data pointer, called with the sender.
struct TObjEvent {
  void (*Proc)(void* data, TObj* sender) = nullptr;
  void* Data = nullptr;
};

using TFreeProc = void (*)(void* arg);

class TObj {
 public:
  TObj() = default;
  TObj(const TObj&) = delete;
  TObj& operator=(const TObj&) = delete;

  // Runs once, right after construction through New.
  virtual void Init() {}

  std::int32_t LockCount = 0;
  TObjEvent OnDestroy;
  TList* AutoFreeList = nullptr;  // created on first use

 protected:
  // Objects end through Free (or Unlock), never by a direct delete.
  virtual ~TObj();
  // The base cleanup (OnDestroy, then the auto-free pairs), for a type whose own cleanup
  // must run it before the rest; the base then finds nothing left to do.
  void BaseCleanup();

 private:
  void Destroy();
  friend void Free(TObj* obj);
  friend void Unlock(TObj* obj);
};

// A type that declares kInitByScheme is not initialised here: its Init is its own step,
// run by whoever made it once its properties are set (the window elements).
template <class T, class... Args>
T* New(Args&&... args) {
  T* obj = new T(std::forward<Args>(args)...);
  if constexpr (!requires { T::kInitByScheme; }) obj->Init();
  return obj;
}

void Free(TObj* obj);
void Lock(TObj* obj);
void Unlock(TObj* obj);
// Registers proc(arg) to run when obj is destroyed; the pair added last runs first.
void AddToAutoFree(TObj* obj, TFreeProc proc, void* arg);

// Owning pointer that ends its object with Free.
struct TObjFree {
  void operator()(TObj* obj) const { Free(obj); }
};
template <class T>
using TObjPtr = std::unique_ptr<T, TObjFree>;

template <class T, class... Args>
TObjPtr<T> MakeObj(Args&&... args) {
  return TObjPtr<T>(New<T>(std::forward<Args>(args)...));
}

// Growable array of pointer-sized values; owns the array, never the values.
class TList : public TObj {
 public:
  void** Items = nullptr;
  std::int32_t Count = 0;
  std::int32_t Capacity = 0;
  std::int32_t AddBy = 0;  // growth step; 0: a quarter of the count plus one

  int Add(void* value);
  // index is clamped to 0 .. Count.
  void Insert(int index, void* value);
  void Delete(int index);
  void DeleteRange(int index, int n);
  void Remove(void* value);
  int IndexOf(void* value) const;
  void* Get(int index) const;
  void SetCapacity(int n);
  void Clear();

 protected:
  ~TList() override;

 private:
  void GrowForOne();
  void Reallocate(int n);
};

TList* NewList();
