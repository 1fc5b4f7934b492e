// The choice of the serial line calls in use: the system's, or what a test put in its place.
#include <atomic>

#include "platform/comm.h"

namespace zorv::comm {

namespace {
std::atomic<TCommApi*> g_api{nullptr};
}  // namespace

TCommApi& CommApi() {
  TCommApi* api = g_api.load(std::memory_order_acquire);
  return api ? *api : SystemCommApi();
}

void SetCommApi(TCommApi* api) { g_api.store(api, std::memory_order_release); }

}  // namespace zorv::comm
