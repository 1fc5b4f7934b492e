// Sub-scheme container: the parent scheme's view of a generated sub-scheme. It creates
// instances through a factory, routes events and data reads to the current instance (or to a
// temporary one when there is none), deletes instances, and refuses to delete an instance
// while that instance is itself routing an event or a read out through the container.
//
// Points: inputs doWork[k], doDelete; data outputs OutVar[k]; outputs onEvent[k]; data
// points InVar[k].
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "runtime/Share.h"
#include "winlib/Objects.h"

class TKvEditMultiEx;

class TKvMultiElementEx : public TObj {
 public:
  // Creates one instance: (container, parent control, parent scheme) -> its boundary.
  using Factory = TKvEditMultiEx* (*)(TKvMultiElementEx* container, void* parentControl, TObj* parentScheme);

  explicit TKvMultiElementEx(void* parentControl);

  TKvEditMultiEx* current = nullptr;
  Factory factory = nullptr;
  TList* instances = nullptr;  // boundaries of the live instances, in creation order
  void* parentControl = nullptr;
  std::uint8_t Mode = 0;  // 0: setting the factory creates one current instance
  TObj* parentScheme = nullptr;

  void SetEventCount(int n) { onEvent.resize(n > 0 ? static_cast<std::size_t>(n) : 0); }
  void SetVarCount(int n) { InVar.resize(n > 0 ? static_cast<std::size_t>(n) : 0); }
  void SetFactory(Factory f);

  void doWork(TData& d, std::uint16_t k);
  void OutVar(TData& d, std::uint16_t k);
  // Deletes instance AsInteger(d); the wire's index j, when below the instance's onWork
  // count, names a work point fired with d first.
  void doDelete(TData& d, std::uint16_t j);

  std::vector<TEventPoint> onEvent;
  std::vector<TEventPoint> InVar;

  // Routing out through the container, as the boundaries do it: the boundary is known to
  // be routing for the duration of the call.
  void RouteEvent(TKvEditMultiEx* from, TData& d, std::uint16_t k);
  void RouteRead(TKvEditMultiEx* from, TData& d, std::uint16_t k);
  bool IsRouting(const TKvEditMultiEx* boundary);

 protected:
  ~TKvMultiElementEx() override;

 private:
  // One frame per routing call still running, on that call's stack. Several threads may
  // route at once (window, serial reader, timer), so the frames form one list under a lock.
  struct GuardFrame {
    TKvEditMultiEx* boundary;
    GuardFrame* prev;
    GuardFrame* next;
  };
  class Guard;

  TKvEditMultiEx* CreateInstance();
  void DestroyInstance(TKvEditMultiEx* boundary);
  void DeleteInstance(std::int32_t n, const TData& d, std::uint16_t j);

  std::mutex guardMutex_;
  GuardFrame* guards_ = nullptr;  // the newest frame
};
