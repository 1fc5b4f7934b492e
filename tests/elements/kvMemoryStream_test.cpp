// Memory stream element: the lent stream and its replacement.
#include "elements/kvMemoryStream.h"

#include <gtest/gtest.h>

#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

void MarkFreed(void* flag, TObj*) { *static_cast<bool*>(flag) = true; }

TStream* StreamWithBytes(const std::string& bytes, bool* freed) {
  TStream* s = NewMemoryStream();
  s->Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  s->SetPosition(0);
  s->OnDestroy = TObjEvent{&MarkFreed, freed};
  return s;
}

class MemoryStream : public ::testing::Test {
 protected:
  EventsOnScope events;
  // Declared before the element: streams it still owns at the end report into them.
  bool freed = false;
  bool firstFreed = false;
  bool secondFreed = false;
  TObjPtr<TKvMemoryStream> ms{New<TKvMemoryStream>()};
  TEventPoint Point() { return MakePoint<&TKvMemoryStream::Stream>(0, ms.get()); }
};

TEST_F(MemoryStream, StartsWithAnEmptyStreamOfItsOwn) {
  TStream* s = ReadStreamPoint(Point());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetSize(), 0);
  TData d;
  ReadPoint(Point(), d);
  EXPECT_EQ(d.DataKind, kindStream);
}

TEST_F(MemoryStream, ReadersShareOneStreamAndItsPosition) {
  ms->ReplaceStream(StreamWithBytes("abc", &freed));
  TStream* first = ReadStreamPoint(Point());
  char c = 0;
  ASSERT_EQ(first->Read(&c, 1), 1);
  TStream* second = ReadStreamPoint(Point());
  EXPECT_EQ(first, second);
  EXPECT_EQ(second->Position, 1);  // reading the point does not rewind
  ASSERT_EQ(second->Read(&c, 1), 1);
  EXPECT_EQ(c, 'b');
}

TEST_F(MemoryStream, ReplacingFreesTheOldStreamAndLendsTheNewOne) {
  TStream* first = StreamWithBytes("1", &firstFreed);
  TStream* second = StreamWithBytes("22", &secondFreed);
  ms->ReplaceStream(first);
  EXPECT_EQ(ReadStreamPoint(Point()), first);
  ms->ReplaceStream(second);
  EXPECT_TRUE(firstFreed);
  EXPECT_FALSE(secondFreed);
  EXPECT_EQ(ReadStreamPoint(Point()), second);

  // Passing the current stream again keeps it alive; nothing gives a fresh empty one.
  ms->ReplaceStream(second);
  EXPECT_FALSE(secondFreed);
  EXPECT_EQ(ReadStreamPoint(Point())->GetSize(), 2);
  ms->ReplaceStream(nullptr);
  EXPECT_TRUE(secondFreed);
  ASSERT_NE(ReadStreamPoint(Point()), nullptr);
  EXPECT_EQ(ReadStreamPoint(Point())->GetSize(), 0);
}

TEST_F(MemoryStream, DestructionFreesTheOwnedStream) {
  ms->ReplaceStream(StreamWithBytes("x", &freed));
  ms.reset();
  EXPECT_TRUE(freed);
}

TEST_F(MemoryStream, HoldsTheFirmwareImage) {
  ms->ReplaceStream(LoadResourceStream("STREAM0"));
  TStream* s = ReadStreamPoint(Point());
  EXPECT_EQ(s->GetSize(), 260096);
  EXPECT_EQ(s->Position, 0);
  // A missing resource gives an empty stream.
  ms->ReplaceStream(LoadResourceStream("NO_SUCH_RESOURCE"));
  EXPECT_EQ(ReadStreamPoint(Point())->GetSize(), 0);
}

}  // namespace
