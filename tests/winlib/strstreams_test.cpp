// String lists, memory streams and resources.
#include "winlib/StrStreams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

std::vector<std::string> LinesOf(const TStrList& l) {
  std::vector<std::string> out;
  for (int i = 0; i < l.Count; ++i) out.push_back(l.Get(i));
  return out;
}

using V = std::vector<std::string>;

TEST(TStrList, OnlyCrAndCrLfEndALine) {
  TObjPtr<TStrList> l(NewStrList());
  EXPECT_EQ(l->NameDelimiter, '=');
  l->SetText("a\r\nb", false);
  EXPECT_EQ(LinesOf(*l), (V{"a", "b"}));
  EXPECT_EQ(l->GetText(), "a\r\nb\r\n");
  l->SetText("a\nb", false);
  EXPECT_EQ(LinesOf(*l), (V{"a\nb"}));
  l->SetText("a\r\n\r\nb", false);
  EXPECT_EQ(LinesOf(*l), (V{"a", "", "b"}));
  l->SetText("a\r\n", false);
  EXPECT_EQ(LinesOf(*l), (V{"a"}));
  l->SetText("a\rb\r\n\nc", false);
  EXPECT_EQ(LinesOf(*l), (V{"a", "b", "\nc"}));
  l->SetText("", false);
  EXPECT_EQ(l->Count, 0);
  EXPECT_EQ(l->GetText(), "");
}

TEST(TStrList, TextEndsAtTheFirstNulByte) {
  TObjPtr<TStrList> l(NewStrList());
  l->SetText(std::string("a\r\nb\0c\r\nd", 9), false);
  EXPECT_EQ(LinesOf(*l), (V{"a", "b"}));
}

TEST(TStrList, SetTextLinesPointIntoOneBlock) {
  TObjPtr<TStrList> l(NewStrList());
  l->SetText("one\r\ntwo\r\nthree", false);
  ASSERT_NE(l->TextBuf, nullptr);
  for (int i = 0; i < l->Count; ++i) {
    const char* p = static_cast<const char*>(l->Lines->Get(i));
    EXPECT_GE(p, l->TextBuf);
    EXPECT_LT(p, l->TextBuf + l->TextBufSize);
  }
  EXPECT_EQ(l->TextBufSize, 16);
}

TEST(TStrList, AppendKeepsEarlierLinesAndMovesPointersIntoTheNewBlock) {
  TObjPtr<TStrList> l(NewStrList());
  l->Add("x");
  l->SetText("a\r\nb", true);
  l->SetText("c", true);  // the block is reallocated: the pointers to a and b move with it
  EXPECT_EQ(LinesOf(*l), (V{"x", "a", "b", "c"}));
  l->Insert(1, "y");
  l->Add("");
  EXPECT_EQ(LinesOf(*l), (V{"x", "y", "a", "b", "c", ""}));
  EXPECT_EQ(l->GetText(), "x\r\ny\r\na\r\nb\r\nc\r\n\r\n");
}

TEST(TStrList, DeletingAllBlockLinesThenAppendingAgain) {
  TObjPtr<TStrList> l(NewStrList());
  l->SetText("a\r\nb", false);
  l->Delete(0);  // a line of the block: nothing is released (ASan would object otherwise)
  l->Delete(0);
  EXPECT_EQ(l->Count, 0);
  EXPECT_NE(l->TextBuf, nullptr);
  l->SetText("c\r\nd", true);
  EXPECT_EQ(LinesOf(*l), (V{"c", "d"}));
  l->Clear();
  EXPECT_EQ(l->TextBuf, nullptr);
  EXPECT_EQ(l->TextBufSize, 0);
  EXPECT_EQ(l->Lines, nullptr);
}

TEST(TStrList, OutOfRangeIndexes) {
  TObjPtr<TStrList> l(NewStrList());
  EXPECT_EQ(l->Get(0), "");  // no Lines yet
  l->Add("a");
  EXPECT_EQ(l->Get(-1), "");
  EXPECT_EQ(l->Get(1), "");
  l->Delete(5);
  l->Delete(-1);
  EXPECT_EQ(l->Count, 1);
}

// ---- Memory stream ---------------------------------------------------------------------

TEST(MemoryStream, SeekBeyondTheEndGrowsTheStream) {
  TObjPtr<TStream> s(NewMemoryStream());
  EXPECT_EQ(s->Seek(10, 0), 10);
  EXPECT_EQ(s->Size, 10);
  EXPECT_EQ(s->Position, 10);
  EXPECT_EQ(s->Seek(-4, 1), 6);
  EXPECT_EQ(s->Seek(-1, 2), 9);
  EXPECT_EQ(s->GetSize(), 10);
}

TEST(MemoryStream, ReadIsCutAtTheEnd) {
  TObjPtr<TStream> s(NewMemoryStream());
  const char data[] = "0123456789";
  EXPECT_EQ(s->Write(data, 10), 10);
  s->SetPosition(4);
  char buf[100] = {};
  EXPECT_EQ(s->Read(buf, 100), 6);
  EXPECT_EQ(std::string(buf, 6), "456789");
  EXPECT_EQ(s->Position, 10);
  EXPECT_EQ(s->Read(buf, 1), 0);
}

TEST(MemoryStream, SetSizeZeroKeepsTheBlock) {
  TObjPtr<TStream> s(NewMemoryStream());
  s->Write("abc", 3);
  unsigned char* block = s->Memory;
  s->SetSize(0);
  EXPECT_EQ(s->Memory, block);
  EXPECT_EQ(s->Size, 0);
  EXPECT_EQ(s->Position, 0);
  EXPECT_EQ(s->Capacity, 3);
  s->Write("de", 2);  // below the capacity: the same block
  EXPECT_EQ(s->Memory, block);
}

TEST(MemoryStream, GrowsToExactlyTheSizeNeeded) {
  TObjPtr<TStream> s(NewMemoryStream());
  s->Write("abc", 3);
  EXPECT_EQ(s->Capacity, 3);
  s->Write("defg", 4);
  EXPECT_EQ(s->Capacity, 7);
  s->SetPosition(2);
  s->Write("XY", 2);
  s->SetPosition(0);
  char buf[8] = {};
  EXPECT_EQ(s->Read(buf, 7), 7);
  EXPECT_EQ(std::string(buf, 7), "abXYefg");
}

TEST(MemoryStream, HostileArgumentsStayInsideTheBlock) {
  TObjPtr<TStream> s(NewMemoryStream());
  s->Write("abc", 3);
  EXPECT_EQ(s->Seek(-10, 1), 0);  // no position before the start
  EXPECT_EQ(s->Seek(5, 7), 0);    // unknown origin: position unchanged
  char buf[4];
  EXPECT_EQ(s->Read(buf, -1), 0);
  EXPECT_EQ(s->Write(buf, -1), 0);
  EXPECT_EQ(s->Write(buf, 0), 0);
  s->SetSize(-5);
  EXPECT_EQ(s->Size, 0);
  // A seek to the last positions grows the block to 2 GB, which a 64-bit process gets and
  // a 32-bit one (on Windows 2 GB of address space in all) does not.
  const std::int32_t far = std::numeric_limits<std::int32_t>::max() - 1;
  if (s->Seek(far, 0) == far) {
    // A write that would pass the 32-bit range writes nothing.
    EXPECT_EQ(s->Write(buf, 4), 0);
    EXPECT_EQ(s->Position, far);
  } else {
    // No room: the stream stays as it was, at its end, and goes on working.
    EXPECT_EQ(s->Size, 0);
    EXPECT_EQ(s->Position, 0);
    EXPECT_EQ(s->Write("ab", 2), 2);
    EXPECT_EQ(s->Size, 2);
  }
}

TEST(MemoryStream, CloseReleasesTheBlock) {
  TObjPtr<TStream> s(NewMemoryStream());
  s->Write("abc", 3);
  s->Close();
  EXPECT_EQ(s->Memory, nullptr);
  EXPECT_EQ(s->Size, 0);
  char c;
  EXPECT_EQ(s->Read(&c, 1), 0);
}

class Marker : public TObj {
 public:
  explicit Marker(bool* freed) : freed_(freed) {}

 protected:
  ~Marker() override { *freed_ = true; }

 private:
  bool* freed_;
};

TEST(MemoryStream, OwnedObjectIsFreedWithTheStream) {
  bool freed = false;
  TStream* s = NewMemoryStream();
  s->Owned = New<Marker>(&freed);
  Free(s);
  EXPECT_TRUE(freed);
}

// ---- Resources -------------------------------------------------------------------------

TEST(LoadResourceStream, FirmwareImageIsEmbedded) {
  TObjPtr<TStream> s(LoadResourceStream("STREAM0"));
  EXPECT_EQ(s->Size, 260096);
  EXPECT_EQ(s->Position, 0);
  // The image ends in 0xFF padding.
  s->Seek(-1, 2);
  unsigned char last = 0;
  EXPECT_EQ(s->Read(&last, 1), 1);
  EXPECT_EQ(last, 0xFF);
}

TEST(LoadResourceStream, NameIsCaseInsensitive) {
  TObjPtr<TStream> s(LoadResourceStream("stream0"));
  EXPECT_EQ(s->Size, 260096);
}

TEST(LoadResourceStream, MissingResourceGivesAnEmptyStream) {
  for (const std::string& name : {std::string("NOSUCH"), std::string(), std::string("STREAM0\0x", 9)}) {
    TObjPtr<TStream> s(LoadResourceStream(name));
    EXPECT_EQ(s->Size, 0);
    EXPECT_EQ(s->Position, 0);
  }
}

}  // namespace
