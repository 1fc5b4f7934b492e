#include "runtime/kvMultiElementEx.h"

#include "runtime/Debug.h"
#include "runtime/kvEditMultiEx.h"
#include "runtime/kvMultiBase.h"

namespace {

// Fires point k of points, when there is one.
void FireAt(const std::vector<TEventPoint>& points, std::uint16_t k, TData& d) {
  if (k < points.size()) FireEvent(points[k], d);
}

// Reads data point k of points into d; Break when there is no such point or it is unset.
void ReadAt(const std::vector<TEventPoint>& points, std::uint16_t k, TData& d) {
  if (k < points.size()) {
    ReadPointOrBreak(d, points[k]);
  } else {
    d.DataKind = kindBreak;
  }
}

}  // namespace

// Pushes a guard frame for the life of one routing call.
class TKvMultiElementEx::Guard {
 public:
  Guard(TKvMultiElementEx& c, TKvEditMultiEx* boundary) : c_(c), frame_{boundary, nullptr, nullptr} {
    std::lock_guard<std::mutex> lock(c_.guardMutex_);
    frame_.prev = c_.guards_;
    if (c_.guards_) c_.guards_->next = &frame_;
    c_.guards_ = &frame_;
  }
  ~Guard() {
    std::lock_guard<std::mutex> lock(c_.guardMutex_);
    if (frame_.next) {
      frame_.next->prev = frame_.prev;
    } else {
      c_.guards_ = frame_.prev;
    }
    if (frame_.prev) frame_.prev->next = frame_.next;
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  TKvMultiElementEx& c_;
  GuardFrame frame_;
};

TKvMultiElementEx::TKvMultiElementEx(void* parentControl_) : instances(NewList()), parentControl(parentControl_) {}

TKvMultiElementEx::~TKvMultiElementEx() {
  while (instances->Count > 0) {
    const int before = instances->Count;
    TData none;
    DeleteInstance(before - 1, none, 0xFFFF);
    if (instances->Count == before) break;  // refused: it is routing right now
  }
  Free(instances);
}

TKvEditMultiEx* TKvMultiElementEx::CreateInstance() {
  if (!factory) return nullptr;
  const bool started = SchemeStarted();
  SetSchemeStarted(false);
  TKvEditMultiEx* boundary = factory(this, parentControl, parentScheme);
  // Elements created by a sub-scheme while the program runs get their start-up work now.
  if (started) RunStartHooks();
  return boundary;
}

void TKvMultiElementEx::DestroyInstance(TKvEditMultiEx* boundary) {
  if (boundary && boundary->owner) Free(boundary->owner);
}

void TKvMultiElementEx::SetFactory(Factory f) {
  factory = f;
  if (Mode != 0) return;
  TKvEditMultiEx* boundary = CreateInstance();
  if (!boundary) return;
  current = boundary;
  instances->Add(boundary);
}

void TKvMultiElementEx::doWork(TData& d, std::uint16_t k) {
  if (TKvEditMultiEx* b = current) {
    FireAt(b->onWork, k, d);
    return;
  }
  TKvEditMultiEx* temporary = CreateInstance();
  if (!temporary) return;
  FireAt(temporary->onWork, k, d);
  DestroyInstance(temporary);
}

void TKvMultiElementEx::OutVar(TData& d, std::uint16_t k) {
  if (TKvEditMultiEx* b = current) {
    ReadAt(b->OutVar, k, d);
    return;
  }
  TKvEditMultiEx* temporary = CreateInstance();
  if (!temporary) {
    d.DataKind = kindBreak;
    return;
  }
  ReadAt(temporary->OutVar, k, d);
  DestroyInstance(temporary);
}

void TKvMultiElementEx::doDelete(TData& d, std::uint16_t j) { DeleteInstance(AsInteger(d), d, j); }

void TKvMultiElementEx::DeleteInstance(std::int32_t n, const TData& d, std::uint16_t j) {
  if (n < 0 || n >= instances->Count) return;
  auto* boundary = static_cast<TKvEditMultiEx*>(instances->Get(n));
  if (IsRouting(boundary)) {
    DebugMessage("Self destruction is not allowed !!!");
    return;
  }
  if (j < boundary->onWork.size()) FireData(boundary->onWork[j], d);
  if (current == boundary) current = nullptr;
  // The handler fired above may have changed the list: find the entry again.
  instances->Remove(boundary);
  DestroyInstance(boundary);
}

void TKvMultiElementEx::RouteEvent(TKvEditMultiEx* from, TData& d, std::uint16_t k) {
  Guard guard(*this, from);
  FireAt(onEvent, k, d);
}

void TKvMultiElementEx::RouteRead(TKvEditMultiEx* from, TData& d, std::uint16_t k) {
  Guard guard(*this, from);
  ReadAt(InVar, k, d);
}

bool TKvMultiElementEx::IsRouting(const TKvEditMultiEx* boundary) {
  std::lock_guard<std::mutex> lock(guardMutex_);
  for (const GuardFrame* f = guards_; f; f = f->prev) {
    if (f->boundary == boundary) return true;
  }
  return false;
}
