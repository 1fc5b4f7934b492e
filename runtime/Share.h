// The element runtime: the value record carried by every wire (TData), the wire ends
// (TEventPoint), firing with tail firing, reading data points with defaults, the global
// switch of event dispatch and the start hooks.
#pragma once

#include <cstdint>
#include <string>

class TStream;

// ---- Values ----------------------------------------------------------------------------

enum TDataKind : std::uint8_t {
  kindNull = 0,
  kindInteger = 1,
  kindString = 2,
  kindData = 3,
  kindCombo = 4,
  kindStrList = 5,
  kindIcon = 6,
  kindReal = 7,
  kindColor = 8,
  kindScript = 9,
  kindStream = 10,
  kindBitmap = 11,
  kindWave = 12,
  kindArray = 13,
  kindComboEx = 14,
  kindFont = 15,
  kindMatrix = 16,
  kindJpeg = 17,
  kindMenu = 18,
  kindCode = 19,
  kindObject = 20,
  kindType = 21,
  kindBreak = 22,
};
constexpr int kDataKindCount = 23;
constexpr std::uint8_t RouteFlag = 0x80;

extern const char* const DataKindNames[kDataKindCount];

struct TData;

// One wire end: the routine called, the object it is called on, and an index passed
// through unchanged (the position of the wire in an array of points).
using TEventHandler = void (*)(void* target, TData& d, std::uint16_t index);

struct TEventPoint {
  TEventHandler Handler = nullptr;
  void* Target = nullptr;
  std::uint16_t Index = 0;

  // Any routine reference below 65536 counts as unset.
  bool Connected() const { return reinterpret_cast<std::uintptr_t>(Handler) >= 65536u; }
};

// The value record. Copying copies every field; chain nodes reached through Next are owned
// by whoever built the chain (FreeChain, CopyChain).
struct TData {
  std::uint8_t DataKind = kindNull;
  std::int32_t IntValue = 0;
  std::string StrValue;
  double RealValue = 0.0;
  TStream* StreamValue = nullptr;  // the reference of a Stream value (never owned)
  TEventPoint RouteLink;           // meaningful while RouteFlag is set
  TData* Next = nullptr;
};

void SetNull(TData& d);
void SetInteger(TData& d, std::int32_t v);
void SetString(TData& d, std::string s);
void SetReal(TData& d, double v);
void SetStream(TData& d, TStream* stream);

inline std::uint8_t KindOf(const TData& d) { return d.DataKind; }
inline bool IsInteger(const TData& d) { return d.DataKind == kindInteger; }
bool AsBool(const TData& d);
std::int32_t AsInteger(const TData& d);
double AsReal(const TData& d);
std::string AsString(const TData& d);
TStream* AsStream(const TData& d);
std::int32_t AsIndex(const TData& d);

// Rounds as the processor does (to nearest, ties to even) to a 64-bit integer and keeps the
// low 32 bits; NaN, infinities and values outside the 64-bit range give the 64-bit
// "indefinite" value, whose low 32 bits are 0.
std::int32_t RealToInt32(double x);

// Releases the nodes after d (d itself stays, its Next becomes none).
void FreeChain(TData& d);
// dst = a copy of src with freshly allocated copies of every further node.
void CopyChain(TData& dst, const TData& src);

// ---- Fonts -----------------------------------------------------------------------------

struct TFontRec {
  std::string Name;
  std::uint8_t Size = 0;
  std::uint8_t Style = 0;
  std::uint32_t Color = 0;
  std::uint8_t CharSet = 0;
};

void SetFontRec(TFontRec& font, const std::string& name, std::uint8_t size, std::uint8_t style,
                std::uint32_t color, std::uint8_t charset);
// Logical font height of a point size for the screen (negative: character height).
int FontHeight(int size);

// ---- Points, firing and reading --------------------------------------------------------

TEventPoint MakePoint(std::uint16_t index, TEventHandler routine, void* target);

namespace zorv::detail {
template <auto Method>
struct PointThunk;
template <class C, void (C::*Method)(TData&, std::uint16_t)>
struct PointThunk<Method> {
  static void Call(void* target, TData& d, std::uint16_t index) { (static_cast<C*>(target)->*Method)(d, index); }
};
}  // namespace zorv::detail

// A wire to a member routine of an element: MakePoint<&TKvHub::doEvent>(0, hub).
template <auto Method, class C>
TEventPoint MakePoint(std::uint16_t index, C* target) {
  return MakePoint(index, &zorv::detail::PointThunk<Method>::Call, static_cast<void*>(target));
}

// Firing (output points). FireEvent hands over the caller's record, which the receiver may
// overwrite; the others fire a private value.
void FireEvent(const TEventPoint& point, TData& d);
void FireData(const TEventPoint& point, const TData& v);
void FireInteger(const TEventPoint& point, std::int32_t n);
void FireString(const TEventPoint& point, const std::string& s);
void FireNull(const TEventPoint& point);

// Tail firing: leaves the value and the next point in the caller's record; the firing loop
// of whoever fired the current routine fires that point next.
void PassOn(TData& d, const TEventPoint& point, const TData& v);
void PassOnNull(TData& d, const TEventPoint& point);
void PassOnInteger(TData& d, const TEventPoint& point, std::int32_t n);
void PassOnString(TData& d, const TEventPoint& point, std::string s);

// Reading (data points).
void ReadPoint(const TEventPoint& point, TData& d);
void ReadPointOrBreak(TData& d, const TEventPoint& point);
std::int32_t ReadIntegerPoint(const TEventPoint& point);
TStream* ReadStreamPoint(const TEventPoint& point);
std::string ReadString(TData& in, const TEventPoint& point, const std::string& def);
std::int32_t ReadInteger(TData& in, const TEventPoint& point, std::int32_t def);
void ReadValue(TData& in, const TEventPoint& point, const TData* def, TData& out);
void ReadAllValues(TData& in, const TEventPoint& point, const TData* def, TData& out);
void TakeFirstValue(TData& in, TData& out);

// ---- Switching and start-up ------------------------------------------------------------

void EventsOn();
void EventsOff();
bool EventsAreOn();

using TStartHook = void (*)(void* object);
void AddStartHook(TStartHook routine, void* object);
void RunStartHooks();
bool SchemeStarted();
void SetSchemeStarted(bool started);

// ---- Text ------------------------------------------------------------------------------

// Replaces occurrences of find in s, left to right, by repl; text inserted is never
// searched again. With an accept test, an occurrence at 1-based position pos is replaced
// only when accept(pos) is true (otherwise the search goes on at pos + 1). An empty find
// changes nothing.
template <class Accept>
void ReplaceAll(std::string& s, const std::string& find, const std::string& repl, Accept&& accept) {
  if (find.empty()) return;
  std::size_t pos = s.find(find);
  while (pos != std::string::npos) {
    if (accept(pos + 1)) {
      s.replace(pos, find.size(), repl);
      pos = s.find(find, pos + repl.size());
    } else {
      pos = s.find(find, pos + 1);
    }
  }
}
inline void ReplaceAll(std::string& s, const std::string& find, const std::string& repl) {
  ReplaceAll(s, find, repl, [](std::size_t) { return true; });
}
