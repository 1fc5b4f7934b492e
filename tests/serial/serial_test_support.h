// Shared helpers of the serial element's tests: a journal that records every output of the
// element as "name value" lines in firing order (from any thread), waiting with a generous
// bound, and the fixture of the tests with real I/O.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/Share.h"
#include "serial/kvComAsync.h"
#include "tests/support/probes.h"

#include <gtest/gtest.h>

namespace zorv::test {

class Journal {
 public:
  // Records `name value` (or just `name` for NULL values) and runs the reaction, if any.
  struct Entry {
    Journal* journal;
    std::string name;
    std::function<void(TData&)> react;
    void Fire(TData& d, std::uint16_t) {
      journal->Add(name, d);
      if (react) react(d);
    }
  };

  // Wires every output of the element to the journal.
  void Attach(TKvComAsync* e) {
    Wire(e->onWrite, "onWrite");
    Wire(e->onWriteError, "onWriteError");
    Wire(e->onRead, "onRead");
    Wire(e->onEnumPorts, "onEnumPorts");
    Wire(e->onRxChar, "onRxChar");
    Wire(e->onRing, "onRing");
    Wire(e->onCTS, "onCTS");
    Wire(e->onDSR, "onDSR");
    Wire(e->onRLSD, "onRLSD");
    Wire(e->onRxFlag, "onRxFlag");
    Wire(e->onBreak, "onBreak");
    Wire(e->onRx80Full, "onRx80Full");
    Wire(e->onTxEmpty, "onTxEmpty");
    Wire(e->onError, "onError");
    Wire(e->onBeforeOpen, "onBeforeOpen");
    Wire(e->onOpen, "onOpen");
    Wire(e->onBeforeClose, "onBeforeClose");
    Wire(e->onClose, "onClose");
  }
  // Wires one point, with an optional reaction run after the entry is recorded.
  void Wire(TEventPoint& point, const std::string& name, std::function<void(TData&)> react = nullptr) {
    for (auto& e : entries_) {
      if (e->name == name) {
        e->react = std::move(react);
        point = MakePoint<&Entry::Fire>(0, e.get());
        return;
      }
    }
    entries_.push_back(std::make_unique<Entry>(Entry{this, name, std::move(react)}));
    point = MakePoint<&Entry::Fire>(0, entries_.back().get());
  }

  void Add(const std::string& name, const TData& d) {
    {
      std::lock_guard<std::mutex> lock(m_);
      const std::string text = d.DataKind == kindNull ? name : name + " " + AsString(d);
      lines_.push_back(text);
      if (name == "onRead") chunks_.push_back(d.StrValue);
    }
    cv_.notify_all();
  }

  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(m_);
    return lines_;
  }
  std::vector<std::string> Named(const std::string& name) {
    std::vector<std::string> out;
    for (const std::string& l : Lines())
      if (l == name || l.compare(0, name.size() + 1, name + " ") == 0) out.push_back(l);
    return out;
  }
  std::vector<std::string> Chunks() {
    std::lock_guard<std::mutex> lock(m_);
    return chunks_;
  }
  std::string Received() {
    std::string all;
    for (const std::string& c : Chunks()) all += c;
    return all;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(m_);
    lines_.clear();
    chunks_.clear();
  }
  // Waits until the predicate holds over the lines (at most `seconds`).
  bool AwaitLines(const std::function<bool(const std::vector<std::string>&)>& ok, int seconds = 20) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::seconds(seconds), [&] { return ok(lines_); });
  }
  bool AwaitLine(const std::string& line, int seconds = 20) {
    return AwaitLines([&](const std::vector<std::string>& ls) {
      for (const std::string& l : ls)
        if (l == line) return true;
      return false;
    }, seconds);
  }
  bool AwaitReceived(std::size_t bytes, int seconds = 20) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, std::chrono::seconds(seconds), [&] {
      std::size_t n = 0;
      for (const std::string& c : chunks_) n += c.size();
      return n >= bytes;
    });
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<std::string> lines_;
  std::vector<std::string> chunks_;
  std::vector<std::unique_ptr<Entry>> entries_;
};

// The property values the main scheme gives the element.
inline void SetProgramProperties(TKvComAsync* e) {
  e->Baud = 38462;
  e->DataBits = 3;
  e->AbortOnError = true;
  e->XoffChar = 19;
  e->XonChar = 17;
  e->InQueue = 4096;
  e->OutQueue = 4096;
  e->EvRxChar = true;
  e->ReadInterval = 0xFFFFFFFFu;
  e->WriteTotalConstant = 1000;
  e->WriteTotalMultiplier = 100;
  e->CheckPorts = true;
}

// The fixture of the tests with real I/O: the element with the program's properties, every
// output in the journal, and every byte that arrives read at once (onRxChar to doRead).
class ComIo : public ::testing::Test {
 protected:
  EventsOnScope events;
  Journal journal;
  TObjPtr<TKvComAsync> com{New<TKvComAsync>()};

  void SetUp() override {
    SetProgramProperties(com.get());
    journal.Attach(com.get());
    com->onRxChar = MakePoint<&TKvComAsync::doRead>(0, com.get());
  }
  // Opens the port of that name: the number onOpen reported, or -1 when it fired none.
  int Open(TKvComAsync* e, const std::string& name) {
    journal.Clear();
    TData d = StrData(name);
    e->doOpen(d, 0);
    const std::vector<std::string> opens = journal.Named("onOpen");
    return opens.empty() ? -1 : std::stoi(opens.back().substr(7));
  }
  int Open(const std::string& name) { return Open(com.get(), name); }
  void Write(const std::string& s) {
    TData d = StrData(s);
    com->doWrite(d, 0);
  }
  void Close() {
    TData d;
    com->doClose(d, 0);
  }
  static bool NoEmptyChunk(const std::vector<std::string>& chunks) {
    return std::none_of(chunks.begin(), chunks.end(), [](const std::string& c) { return c.empty(); });
  }
};

// The element, open on the line of a simulator started with --blocks 1 --stall-after-ack 1:
// once the device has acknowledged its one block it takes no more bytes. The next write
// cannot complete: it ends (by its time-out, or cancelled soon after) as the first write
// failure, and from then on the element sends nothing and Drained answers 0.
inline void ALineThatStopsDrainingEndsTheWriteSide(TKvComAsync* com, Journal& journal) {
  auto write = [com](const std::string& s) {
    TData d;
    SetString(d, s);
    com->doWrite(d, 0);
  };
  write("VERS");
  ASSERT_TRUE(journal.AwaitReceived(20));
  for (int i = 0; i < 256; ++i) write(std::string(1, static_cast<char>('a' + i % 26)));
  ASSERT_TRUE(journal.AwaitReceived(24));  // the final acknowledgement
  journal.Clear();
  write("PUSK");
  std::vector<std::string> lines = journal.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("onWrite ", 0), 0u);
  EXPECT_NE(lines[0], "onWrite 4");  // not all of it left
  EXPECT_EQ(lines[1].rfind("onWriteError ", 0), 0u);
  journal.Clear();
  write("more");
  EXPECT_EQ(journal.Lines(), std::vector<std::string>{"onWrite 0"});
  TData drained;
  com->Drained(drained, 0);
  EXPECT_EQ(AsInteger(drained), 0);
}

// Three threads (this one and two more) write perThread one-byte values each to an open
// element whose line echoes: every byte comes back and every write reports one byte.
inline void WriteFromThreeThreadsAndCheckEcho(TKvComAsync* com, Journal& journal, int perThread) {
  auto writer = [com, perThread](char c) {
    for (int i = 0; i < perThread; ++i) {
      TData d;
      SetString(d, std::string(1, c));
      com->doWrite(d, 0);
    }
  };
  std::thread a(writer, 'a'), b(writer, 'b');
  writer('c');
  a.join();
  b.join();
  ASSERT_TRUE(journal.AwaitReceived(static_cast<std::size_t>(3 * perThread)));
  const std::string got = journal.Received();
  for (char c : {'a', 'b', 'c'}) EXPECT_EQ(std::count(got.begin(), got.end(), c), perThread) << c;
  EXPECT_EQ(journal.Named("onWrite 1").size(), static_cast<std::size_t>(3 * perThread));
}

}  // namespace zorv::test
