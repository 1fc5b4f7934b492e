#include "runtime/Share.h"

#include <atomic>
#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/system.h"
#include "winlib/Convert.h"

const char* const DataKindNames[kDataKindCount] = {
    "NULL",    "Integer", "String", "Data",   "Combo",  "StrList", "Icon",   "Real",
    "Color",   "Script",  "Stream", "Bitmap", "Wave",   "Array",   "ComboEx", "Font",
    "Matrix",  "Jpeg",    "Menu",   "Code",   "Object", "Type",    "Break"};

// ---- Values ----------------------------------------------------------------------------

namespace {

// A plain value of the given kind: no pending route, no further chain nodes.
void SetKind(TData& d, std::uint8_t kind) {
  d.DataKind = kind;
  d.RouteLink = TEventPoint{};
  d.Next = nullptr;
}

}  // namespace

void SetNull(TData& d) { SetKind(d, kindNull); }

void SetInteger(TData& d, std::int32_t v) {
  SetKind(d, kindInteger);
  d.IntValue = v;
}

void SetString(TData& d, std::string s) {
  SetKind(d, kindString);
  d.StrValue = std::move(s);
}

void SetReal(TData& d, double v) {
  SetKind(d, kindReal);
  d.RealValue = v;
}

void SetStream(TData& d, TStream* stream) {
  SetKind(d, kindStream);
  d.StreamValue = stream;
}

std::int32_t RealToInt32(double x) {
  // 2^63 is exact in a double; every double below it converts without overflow.
  constexpr double kTwo63 = 9223372036854775808.0;
  const double r = std::nearbyint(x);
  if (!(r >= -kTwo63 && r < kTwo63)) return 0;  // indefinite: 0x8000000000000000
  const auto wide = static_cast<std::int64_t>(r);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
}

bool AsBool(const TData& d) { return !(d.DataKind == kindInteger && d.IntValue == 0); }

std::int32_t AsInteger(const TData& d) {
  switch (d.DataKind) {
    case kindInteger: return d.IntValue;
    case kindString: return Str2Int(d.StrValue);
    case kindReal: return RealToInt32(d.RealValue);
    default: return 0;
  }
}

double AsReal(const TData& d) {
  switch (d.DataKind) {
    case kindInteger: return d.IntValue;
    case kindString: return Str2Double(d.StrValue);
    case kindReal: return d.RealValue;
    default: return 0.0;
  }
}

std::string AsString(const TData& d) {
  switch (d.DataKind) {
    case kindInteger: return Int2Str(d.IntValue);
    case kindString: return d.StrValue;
    case kindReal: return Double2Str(d.RealValue);
    default: return std::string();
  }
}

TStream* AsStream(const TData& d) { return d.DataKind == kindStream ? d.StreamValue : nullptr; }

std::int32_t AsIndex(const TData& d) {
  switch (d.DataKind) {
    case kindInteger: return d.IntValue;
    case kindReal: return RealToInt32(d.RealValue);
    case kindString: {
      if (d.StrValue.empty()) return -1;
      const std::int32_t n = Str2Int(d.StrValue);
      return (n != 0 || d.StrValue[0] == '0') ? n : -1;
    }
    default: return -1;
  }
}

void FreeChain(TData& d) {
  TData* node = d.Next;
  d.Next = nullptr;
  while (node) {
    TData* next = node->Next;
    delete node;
    node = next;
  }
}

void CopyChain(TData& dst, const TData& src) {
  dst = src;
  TData* to = &dst;
  const TData* from = &src;
  while (from->DataKind != kindNull && from->Next) {
    from = from->Next;
    to->Next = new TData(*from);
    to = to->Next;
  }
  to->Next = nullptr;
}

// ---- Fonts -----------------------------------------------------------------------------

void SetFontRec(TFontRec& font, const std::string& name, std::uint8_t size, std::uint8_t style,
                std::uint32_t color, std::uint8_t charset) {
  font.Name = name;
  font.Size = size;
  font.Style = style;
  font.Color = color;
  font.CharSet = charset;
}

int FontHeight(int size) {
  static const int pixelsPerInch = zorv::platform::ScreenLogPixelsY();
  return static_cast<int>((static_cast<std::int64_t>(size) * pixelsPerInch + 36) / -72);
}

// ---- Firing and reading ----------------------------------------------------------------

namespace {

using FireRoutine = void (*)(const TEventPoint& point, TData& d);
using ReadRoutine = void (*)(const TEventPoint& point, TData& d);

void FireNothing(const TEventPoint&, TData&) {}
void ReadNothing(const TEventPoint&, TData&) {}

// The firing loop: an input routine that ends with PassOn leaves the next point in the
// record, and it is fired here instead of inside the routine, so chains run iteratively.
void FireLoop(const TEventPoint& start, TData& d) {
  TEventPoint p = start;
  while (p.Connected()) {
    p.Handler(p.Target, d, p.Index);
    if ((d.DataKind & RouteFlag) == 0) break;
    d.DataKind = static_cast<std::uint8_t>(d.DataKind & ~RouteFlag);
    p = d.RouteLink;
  }
}

void ReadReal(const TEventPoint& p, TData& d) {
  if (p.Connected()) p.Handler(p.Target, d, p.Index);
}

// The serial reader and timer threads fire while the window thread may switch dispatch on
// or off: the two routines are swapped and read atomically.
std::atomic<FireRoutine> g_fire{FireNothing};
std::atomic<ReadRoutine> g_read{ReadNothing};

void Consume(TData& in) {
  if (in.Next) {
    in = *in.Next;
  } else {
    in.DataKind = kindNull;
  }
}

}  // namespace

TEventPoint MakePoint(std::uint16_t index, TEventHandler routine, void* target) {
  TEventPoint p;
  p.Handler = routine;
  p.Target = target;
  p.Index = index;
  return p;
}

void FireEvent(const TEventPoint& point, TData& d) { g_fire.load(std::memory_order_acquire)(point, d); }

void FireData(const TEventPoint& point, const TData& v) {
  TData d(v);
  FireEvent(point, d);
}

void FireInteger(const TEventPoint& point, std::int32_t n) {
  TData d;
  SetInteger(d, n);
  FireEvent(point, d);
}

void FireString(const TEventPoint& point, const std::string& s) {
  TData d;
  SetString(d, s);
  FireEvent(point, d);
}

void FireNull(const TEventPoint& point) {
  TData d;
  FireEvent(point, d);
}

void PassOn(TData& d, const TEventPoint& point, const TData& v) {
  if (&d != &v) d = v;
  d.DataKind = static_cast<std::uint8_t>(d.DataKind | RouteFlag);
  d.RouteLink = point;
}

void PassOnNull(TData& d, const TEventPoint& point) {
  d.DataKind = kindNull | RouteFlag;
  d.RouteLink = point;
}

void PassOnInteger(TData& d, const TEventPoint& point, std::int32_t n) {
  d.DataKind = kindInteger | RouteFlag;
  d.IntValue = n;
  d.Next = nullptr;
  d.RouteLink = point;
}

void PassOnString(TData& d, const TEventPoint& point, std::string s) {
  d.DataKind = kindString | RouteFlag;
  d.StrValue = std::move(s);
  d.Next = nullptr;
  d.RouteLink = point;
}

void ReadPoint(const TEventPoint& point, TData& d) { g_read.load(std::memory_order_acquire)(point, d); }

void ReadPointOrBreak(TData& d, const TEventPoint& point) {
  if (point.Connected()) {
    ReadPoint(point, d);
  } else {
    d.DataKind = kindBreak;
  }
}

std::int32_t ReadIntegerPoint(const TEventPoint& point) {
  TData r;
  ReadPoint(point, r);
  return AsInteger(r);
}

TStream* ReadStreamPoint(const TEventPoint& point) {
  TData r;
  ReadPoint(point, r);
  return AsStream(r);
}

std::string ReadString(TData& in, const TEventPoint& point, const std::string& def) {
  if (point.Connected()) {
    TData r;
    ReadPoint(point, r);
    if (r.DataKind != kindBreak) return AsString(r);
  }
  if (!def.empty() || in.DataKind == kindNull) return def;
  std::string result = AsString(in);
  Consume(in);
  return result;
}

std::int32_t ReadInteger(TData& in, const TEventPoint& point, std::int32_t def) {
  if (point.Connected()) {
    TData r;
    ReadPoint(point, r);
    if (r.DataKind != kindBreak) return AsInteger(r);
  }
  if (def != 0 || in.DataKind == kindNull) return def;
  const std::int32_t result = AsInteger(in);
  Consume(in);
  return result;
}

void ReadValue(TData& in, const TEventPoint& point, const TData* def, TData& out) {
  if (point.Connected()) {
    SetNull(out);
    ReadPoint(point, out);
    out.Next = nullptr;
    if (out.DataKind != kindBreak) return;
  }
  if (def && def->DataKind != kindNull) {
    out = *def;
    return;
  }
  out = in;
  out.Next = nullptr;
  Consume(in);
}

void ReadAllValues(TData& in, const TEventPoint& point, const TData* def, TData& out) {
  if (point.Connected()) {
    SetNull(out);
    ReadPoint(point, out);
    if (out.DataKind != kindBreak) return;
  }
  if (def && def->DataKind != kindNull) {
    out = *def;
    return;
  }
  out = in;
  SetNull(in);
}

void TakeFirstValue(TData& in, TData& out) { ReadValue(in, TEventPoint{}, nullptr, out); }

// ---- Switching and start-up ------------------------------------------------------------

void EventsOn() {
  g_read.store(ReadReal, std::memory_order_release);
  g_fire.store(FireLoop, std::memory_order_release);
}

void EventsOff() {
  g_fire.store(FireNothing, std::memory_order_release);
  g_read.store(ReadNothing, std::memory_order_release);
}

bool EventsAreOn() { return g_fire.load(std::memory_order_acquire) == FireLoop; }

namespace {

std::mutex g_hooksMutex;
std::vector<std::pair<TStartHook, void*>> g_hooks;
std::atomic<bool> g_schemeStarted{false};

}  // namespace

void AddStartHook(TStartHook routine, void* object) {
  std::lock_guard<std::mutex> lock(g_hooksMutex);
  g_hooks.emplace_back(routine, object);
}

void RunStartHooks() {
  // Hooks run without the lock held: a hook may create elements that register hooks of
  // their own, and those run in this same pass.
  for (std::size_t i = 0;; ++i) {
    std::pair<TStartHook, void*> hook;
    {
      std::lock_guard<std::mutex> lock(g_hooksMutex);
      if (i >= g_hooks.size()) {
        g_hooks.clear();
        break;
      }
      hook = g_hooks[i];
    }
    if (hook.first) hook.first(hook.second);
  }
  g_schemeStarted.store(true);
}

bool SchemeStarted() { return g_schemeStarted.load(); }
void SetSchemeStarted(bool started) { g_schemeStarted.store(started); }
