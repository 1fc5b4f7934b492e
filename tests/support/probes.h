// Small test elements: a sink that records what reaches it, and a data source with a fixed
// answer. Both follow the element conventions (handler signature, points made with
// MakePoint), so tests can wire them to the elements under test.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "runtime/Share.h"

namespace zorv::test {

// Turns dispatch on for the life of a test fixture.
struct EventsOnScope {
  EventsOnScope() { EventsOn(); }
  ~EventsOnScope() { EventsOff(); }
};

struct Sink {
  struct Hit {
    TData value;  // Next cleared: chains are not kept
    std::uint16_t index;
  };
  std::vector<Hit> hits;
  // Optional reaction, run after the value is recorded (may overwrite d or pass on).
  std::function<void(TData&, std::uint16_t)> react;

  void doIt(TData& d, std::uint16_t index) {
    Hit h{d, index};
    h.value.Next = nullptr;
    hits.push_back(h);
    if (react) react(d, index);
  }
  TEventPoint Point(std::uint16_t index = 0) { return MakePoint<&Sink::doIt>(index, this); }

  std::size_t count() const { return hits.size(); }
  std::vector<std::string> strings() const {
    std::vector<std::string> out;
    for (const Hit& h : hits) out.push_back(AsString(h.value));
    return out;
  }
  std::vector<std::int32_t> integers() const {
    std::vector<std::int32_t> out;
    for (const Hit& h : hits) out.push_back(AsInteger(h.value));
    return out;
  }
  const TData& last() const { return hits.back().value; }
};

struct Source {
  TData value;
  int reads = 0;
  std::vector<std::uint16_t> indexes;
  std::function<void(TData&)> before;  // runs first on every read, if set

  void Get(TData& d, std::uint16_t index) {
    ++reads;
    indexes.push_back(index);
    if (before) before(value);
    d = value;
  }
  TEventPoint Point(std::uint16_t index = 0) { return MakePoint<&Source::Get>(index, this); }

  static Source Integer(std::int32_t v) {
    Source s;
    SetInteger(s.value, v);
    return s;
  }
  static Source String(const std::string& v) {
    Source s;
    SetString(s.value, v);
    return s;
  }
  static Source Break() {
    Source s;
    s.value.DataKind = kindBreak;
    return s;
  }
};

// Polls ok() until it holds or the seconds have passed (generous: the machine may be
// loaded); returns its last answer.
template <class F>
bool Eventually(F ok, int seconds = 20) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!ok()) {
    if (std::chrono::steady_clock::now() > end) return ok();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

inline TData IntData(std::int32_t v) {
  TData d;
  SetInteger(d, v);
  return d;
}
inline TData StrData(const std::string& s) {
  TData d;
  SetString(d, s);
  return d;
}

}  // namespace zorv::test
