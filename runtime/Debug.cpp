#include "runtime/Debug.h"

#include <atomic>

#include "platform/system.h"

namespace {
std::atomic<TDebugOwnerProvider> g_owner{nullptr};
std::atomic<TDebugSink> g_sink{nullptr};
}  // namespace

void SetDebugOwnerProvider(TDebugOwnerProvider provider) { g_owner.store(provider); }
void SetDebugSink(TDebugSink sink) { g_sink.store(sink); }

void DebugMessage(const std::string& text) {
  static const std::string kCaption = "String-Debug";
  if (const TDebugSink sink = g_sink.load()) {
    sink(text, kCaption);
    return;
  }
  const TDebugOwnerProvider owner = g_owner.load();
  zorv::platform::MessageBoxOk(owner ? owner() : nullptr, text, kCaption);
}
