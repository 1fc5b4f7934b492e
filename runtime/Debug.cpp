#include "runtime/Debug.h"

#include <atomic>

#include "platform/system.h"
#include "winlib/Cp1251.h"

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
  // The program's texts are Windows-1251; the system's box takes Unicode.
  zorv::platform::MessageBoxOk(owner ? owner() : nullptr, Cp1251ToUtf8(text), kCaption);
}
