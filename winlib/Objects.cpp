#include "winlib/Objects.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

TObj::~TObj() { BaseCleanup(); }

void TObj::BaseCleanup() {
  // Each field is taken out before it is used, so a handler that reaches this object
  // again finds nothing left to run.
  const TObjEvent onDestroy = OnDestroy;
  OnDestroy = TObjEvent{};
  if (onDestroy.Proc) onDestroy.Proc(onDestroy.Data, this);

  TList* autoFree = AutoFreeList;
  AutoFreeList = nullptr;
  if (autoFree) {
    for (int i = 0; i + 1 < autoFree->Count; i += 2) {
      const auto proc = reinterpret_cast<TFreeProc>(autoFree->Items[i]);
      if (proc) proc(autoFree->Items[i + 1]);
    }
    Free(autoFree);
  }
}

void TObj::Destroy() {
  // Marks destruction as under way with a negative even count: a Free, or a Lock/Unlock
  // pair, reaching the object from its own cleanup then never destroys it a second time.
  LockCount = INT32_MIN / 2;
  delete this;
}

void Free(TObj* obj) {
  if (!obj) return;
  const std::int32_t n = obj->LockCount;
  if (n == 0) {
    obj->Destroy();
  } else if (n >= 2 && (n & 1) == 0) {
    obj->LockCount = n - 1;
  }
  // 1, odd values of 3 and more, negative values: a free is already requested or running.
}

void Lock(TObj* obj) { obj->LockCount += 2; }

void Unlock(TObj* obj) {
  obj->LockCount -= 2;
  if (obj->LockCount < 0 && (obj->LockCount & 1) != 0) obj->Destroy();
}

void AddToAutoFree(TObj* obj, TFreeProc proc, void* arg) {
  if (!obj->AutoFreeList) obj->AutoFreeList = NewList();
  obj->AutoFreeList->Insert(0, arg);
  obj->AutoFreeList->Insert(0, reinterpret_cast<void*>(proc));
}

TList* NewList() { return New<TList>(); }

TList::~TList() { Clear(); }

void TList::Reallocate(int n) {
  if (n <= 0) {
    std::free(Items);
    Items = nullptr;
    Capacity = 0;
    return;
  }
  void* p = std::realloc(Items, static_cast<std::size_t>(n) * sizeof(void*));
  if (!p) throw std::bad_alloc();
  Items = static_cast<void**>(p);
  Capacity = n;
}

void TList::GrowForOne() {
  if (Count >= Capacity) Reallocate(AddBy > 0 ? Count + AddBy : Count + Count / 4 + 1);
}

int TList::Add(void* value) {
  GrowForOne();
  Items[Count] = value;
  return Count++;
}

void TList::Insert(int index, void* value) {
  if (index < 0) index = 0;
  if (index > Count) index = Count;
  GrowForOne();
  std::memmove(Items + index + 1, Items + index, static_cast<std::size_t>(Count - index) * sizeof(void*));
  Items[index] = value;
  ++Count;
}

void TList::Delete(int index) { DeleteRange(index, 1); }

void TList::DeleteRange(int index, int n) {
  if (n <= 0 || index < 0 || index >= Count) return;
  if (n > Count - index) n = Count - index;
  std::memmove(Items + index, Items + index + n, static_cast<std::size_t>(Count - index - n) * sizeof(void*));
  Count -= n;
}

void TList::Remove(void* value) {
  const int i = IndexOf(value);
  if (i >= 0) Delete(i);
}

int TList::IndexOf(void* value) const {
  for (int i = 0; i < Count; ++i) {
    if (Items[i] == value) return i;
  }
  return -1;
}

void* TList::Get(int index) const {
  return (index < 0 || index >= Count) ? nullptr : Items[index];
}

void TList::SetCapacity(int n) {
  if (n < Count) n = Count;
  if (n != Capacity) Reallocate(n);
}

void TList::Clear() {
  std::free(Items);
  Items = nullptr;
  Count = 0;
  Capacity = 0;
}
