#include "winlib/StrStreams.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "platform/resources.h"

// ---- TStrList --------------------------------------------------------------------------

namespace {

// Calls onLine with the start of every line of the zero-terminated text p; a line ends at
// CR, and one LF right after the CR belongs to the line end. With terminate set, each CR
// is overwritten with 0. Returns the number of lines.
template <class F>
int WalkLines(char* p, bool terminate, F&& onLine) {
  int lines = 0;
  while (*p != '\0') {
    ++lines;
    onLine(p);
    char* cr = std::strchr(p, '\r');
    if (!cr) break;
    p = cr + 1;
    if (*p == '\n') ++p;
    if (terminate) *cr = '\0';
  }
  return lines;
}

}  // namespace

void TStrList::Init() { NameDelimiter = '='; }

TStrList::~TStrList() { Clear(); }

TStrList* NewStrList() { return New<TStrList>(); }

bool TStrList::InTextBuf(const char* p) const {
  if (!TextBuf) return false;
  const auto a = reinterpret_cast<std::uintptr_t>(p);
  const auto lo = reinterpret_cast<std::uintptr_t>(TextBuf);
  return a >= lo && a < lo + static_cast<std::uintptr_t>(TextBufSize);
}

void TStrList::Add(const std::string& s) { Insert(Count, s); }

void TStrList::Insert(int index, const std::string& s) {
  if (!Lines) Lines = NewList();
  char* line = static_cast<char*>(std::malloc(s.size() + 1));
  if (!line) throw std::bad_alloc();
  std::memcpy(line, s.c_str(), s.size() + 1);
  Lines->Insert(index, line);
  ++Count;
}

void TStrList::Delete(int index) {
  if (!Lines || index < 0 || index >= Count) return;
  char* line = static_cast<char*>(Lines->Get(index));
  --Count;
  Lines->Delete(index);
  if (!InTextBuf(line)) std::free(line);
}

std::string TStrList::Get(int index) const {
  if (!Lines || index < 0 || index >= Count) return std::string();
  return std::string(static_cast<const char*>(Lines->Get(index)));
}

void TStrList::Clear() {
  for (int i = Count - 1; i >= 0; --i) Delete(i);
  TextBufSize = 0;
  std::free(TextBuf);
  TextBuf = nullptr;
  Free(Lines);
  Lines = nullptr;
}

std::string TStrList::GetText() const {
  std::size_t total = 0;
  for (int i = 0; i < Count; ++i) total += std::strlen(static_cast<const char*>(Lines->Get(i))) + 2;
  std::string out;
  out.reserve(total);
  for (int i = 0; i < Count; ++i) {
    out += static_cast<const char*>(Lines->Get(i));
    out += "\r\n";
  }
  return out;
}

void TStrList::SetText(const std::string& text, bool append) {
  if (!append) Clear();
  if (text.empty()) return;
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max() - TextBufSize - 1)) {
    throw std::bad_alloc();
  }

  // Move the old contents into a block large enough for both, and carry every line
  // pointer that pointed into the old block along by the same offset.
  const std::size_t oldSize = static_cast<std::size_t>(TextBufSize);
  char* block = static_cast<char*>(std::malloc(oldSize + text.size() + 1));
  if (!block) throw std::bad_alloc();
  if (TextBuf) {
    std::memcpy(block, TextBuf, oldSize);
    for (int i = 0; i < Count; ++i) {
      char* line = static_cast<char*>(Lines->Items[i]);
      if (InTextBuf(line)) Lines->Items[i] = block + (line - TextBuf);
    }
    std::free(TextBuf);
  }
  TextBuf = block;
  char* start = block + oldSize;
  std::memcpy(start, text.c_str(), text.size() + 1);
  TextBufSize += static_cast<std::int32_t>(text.size() + 1);

  // Counting pass, then a storing pass that ends each line in place.
  const int lines = WalkLines(start, false, [](char*) {});
  if (!Lines) Lines = NewList();
  Lines->SetCapacity(Lines->Count + lines);
  WalkLines(start, true, [this](char* line) {
    Lines->Add(line);
    ++Count;
  });
}

// ---- Memory stream ---------------------------------------------------------------------

namespace {

void MemSetSize(TStream* s, std::int32_t n) {
  if (n < 0) n = 0;
  if (n > s->Capacity) {
    void* p = std::realloc(s->Memory, static_cast<std::size_t>(n));
    if (!p) return;  // the stream stays as it was
    s->Memory = static_cast<unsigned char*>(p);
    s->Capacity = n;
  }
  s->Size = n;
  if (s->Position > n) s->Position = n;
}

std::int32_t MemSeek(TStream* s, std::int32_t offset, int origin) {
  std::int64_t target;
  switch (origin) {
    case 0: target = offset; break;
    case 1: target = static_cast<std::int64_t>(s->Position) + offset; break;
    case 2: target = static_cast<std::int64_t>(s->Size) + offset; break;
    default: return s->Position;
  }
  // A position before the start or beyond the 32-bit range does not exist.
  if (target < 0) target = 0;
  if (target > std::numeric_limits<std::int32_t>::max()) target = std::numeric_limits<std::int32_t>::max();
  std::int32_t p = static_cast<std::int32_t>(target);
  if (p > s->Size) {
    MemSetSize(s, p);
    if (p > s->Size) p = s->Size;  // could not grow
  }
  s->Position = p;
  return p;
}

std::int32_t MemGetSize(TStream* s) { return s->Size; }

std::int32_t MemRead(TStream* s, void* buffer, std::int32_t n) {
  if (n <= 0 || s->Position >= s->Size) return 0;
  if (n > s->Size - s->Position) n = s->Size - s->Position;
  std::memcpy(buffer, s->Memory + s->Position, static_cast<std::size_t>(n));
  s->Position += n;
  return n;
}

std::int32_t MemWrite(TStream* s, const void* buffer, std::int32_t n) {
  if (n <= 0) return 0;
  const std::int64_t end = static_cast<std::int64_t>(s->Position) + n;
  if (end > std::numeric_limits<std::int32_t>::max()) return 0;
  if (end > s->Size) {
    MemSetSize(s, static_cast<std::int32_t>(end));
    if (end > s->Size) return 0;
  }
  std::memcpy(s->Memory + s->Position, buffer, static_cast<std::size_t>(n));
  s->Position += n;
  return n;
}

void MemClose(TStream* s) {
  std::free(s->Memory);
  s->Memory = nullptr;
  s->Capacity = 0;
  s->Size = 0;
  s->Position = 0;
}

const TStreamMethods kMemoryMethods = {MemSeek, MemGetSize, MemSetSize, MemRead, MemWrite, MemClose};

}  // namespace

TStream::~TStream() {
  Close();
  Free(Owned);
}

TStream* NewMemoryStream() { return New<TStream>(kMemoryMethods); }

TStream* LoadResourceStream(const std::string& name) {
  TStream* stream = NewMemoryStream();
  zorv::platform::ProgramResource resource(name, 100);
  if (resource.found() && resource.size() <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    stream->Write(resource.data(), static_cast<std::int32_t>(resource.size()));
    stream->Seek(0, 0);
  }
  return stream;
}
