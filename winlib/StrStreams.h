// String lists and streams of the library.
#pragma once

#include <cstdint>
#include <string>

#include "winlib/Objects.h"

// Lines of single-byte text. Text given to SetText stays in one block (TextBuf) with the
// line pointers pointing into it; Add and Insert give a line a block of its own. Only CR
// and CR LF end a line.
class TStrList : public TObj {
 public:
  TList* Lines = nullptr;  // char* per line, zero-terminated; created on first use
  std::int32_t Count = 0;
  char* TextBuf = nullptr;
  std::int32_t TextBufSize = 0;
  char NameDelimiter = 0;

  void Init() override;
  void Add(const std::string& s);
  void Insert(int index, const std::string& s);  // index clamped to 0 .. Count
  void Delete(int index);                        // out of range: nothing
  std::string Get(int index) const;              // out of range: empty
  void Clear();
  std::string GetText() const;
  void SetText(const std::string& text, bool append);

 protected:
  ~TStrList() override;

 private:
  bool InTextBuf(const char* p) const;
};

TStrList* NewStrList();

class TStream;

// The operations of one kind of stream.
struct TStreamMethods {
  std::int32_t (*Seek)(TStream* s, std::int32_t offset, int origin);
  std::int32_t (*GetSize)(TStream* s);
  void (*SetSize)(TStream* s, std::int32_t n);
  std::int32_t (*Read)(TStream* s, void* buffer, std::int32_t n);
  std::int32_t (*Write)(TStream* s, const void* buffer, std::int32_t n);
  void (*Close)(TStream* s);
};

// A byte stream with a position. Positions and sizes are signed 32-bit; a memory stream
// never lets them go negative and never reads or writes outside its block.
class TStream : public TObj {
 public:
  explicit TStream(const TStreamMethods& methods) : Methods(methods) {}

  TStreamMethods Methods;
  unsigned char* Memory = nullptr;
  std::int32_t Capacity = 0;
  std::int32_t Size = 0;
  std::int32_t Position = 0;
  TObj* Owned = nullptr;  // freed together with the stream

  // origin 0: from the start, 1: from the position, 2: from the end.
  std::int32_t Seek(std::int32_t offset, int origin) { return Methods.Seek(this, offset, origin); }
  std::int32_t GetSize() { return Methods.GetSize(this); }
  void SetSize(std::int32_t n) { Methods.SetSize(this, n); }
  std::int32_t Read(void* buffer, std::int32_t n) { return Methods.Read(this, buffer, n); }
  std::int32_t Write(const void* buffer, std::int32_t n) { return Methods.Write(this, buffer, n); }
  void Close() { Methods.Close(this); }
  void SetPosition(std::int32_t p) { Seek(p, 0); }

 protected:
  ~TStream() override;
};

TStream* NewMemoryStream();

// A memory stream holding the program's resource of that name and type 100, positioned
// at 0; empty when there is no such resource. The caller owns it.
TStream* LoadResourceStream(const std::string& name);
