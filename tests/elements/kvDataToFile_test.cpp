// Byte transfer between a stream and the wires.
#include "elements/kvDataToFile.h"

#include <gtest/gtest.h>

#include "elements/kvMemoryStream.h"
#include "tests/support/probes.h"

namespace {

using namespace zorv::test;

class DataToFile : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvMemoryStream> ms{New<TKvMemoryStream>()};
  TObjPtr<TKvDataToFile> reader{New<TKvDataToFile>()};
  Sink out;

  void SetUp() override {
    reader->Stream = MakePoint<&TKvMemoryStream::Stream>(0, ms.get());
    reader->onGet = out.Point();
  }
  void Fill(const std::string& bytes) {
    TStream* s = NewMemoryStream();
    s->Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    s->SetPosition(0);
    ms->ReplaceStream(s);
  }
  TData Get(std::uint16_t index = 0) {
    TData d = StrData("incoming");
    FireEvent(MakePoint<&TKvDataToFile::doGet>(index, reader.get()), d);
    return d;
  }
};

TEST_F(DataToFile, ReadsOneByteAtATimeThenZeroPastTheEnd) {
  Fill(std::string("\x01\x02", 2));
  for (int i = 0; i < 5; ++i) Get(static_cast<std::uint16_t>(i));
  EXPECT_EQ(out.integers(), (std::vector<std::int32_t>{1, 2, 0, 0, 0}));
  for (const auto& h : out.hits) EXPECT_EQ(h.value.DataKind, kindInteger);
  EXPECT_EQ(ms->CurrentStream()->Position, 2);
  EXPECT_EQ(ms->CurrentStream()->GetSize(), 2);  // reading never writes
}

TEST_F(DataToFile, StopAtEndFiresNothingOnceTheStreamIsExhausted) {
  reader->StopAtEnd = true;
  Fill(std::string("\x00\x07", 2));
  for (int i = 0; i < 4; ++i) Get();
  EXPECT_EQ(out.integers(), (std::vector<std::int32_t>{0, 7}));  // a real 0 byte still goes
  Fill("");
  TData d = Get();
  EXPECT_EQ(out.count(), 2u);
  EXPECT_EQ(d.StrValue, "incoming");
}

TEST_F(DataToFile, BytesAreUnsigned) {
  Fill("\x80\xFF");
  Get();
  Get();
  EXPECT_EQ(out.integers(), (std::vector<std::int32_t>{128, 255}));
}

TEST_F(DataToFile, AnEmptyStreamGivesZero) {
  Get();
  EXPECT_EQ(out.integers(), (std::vector<std::int32_t>{0}));
}

TEST_F(DataToFile, WithoutAStreamNothingFiresAndTheValueStays) {
  reader->Stream = TEventPoint{};
  TData d = Get();
  EXPECT_EQ(out.count(), 0u);
  EXPECT_EQ(d.DataKind, kindString);
  EXPECT_EQ(d.StrValue, "incoming");

  Source notAStream = Source::Integer(5);
  reader->Stream = notAStream.Point();
  d = Get();
  EXPECT_EQ(out.count(), 0u);
  EXPECT_EQ(d.StrValue, "incoming");
}

TEST_F(DataToFile, TwoHundredFiftySixReadsAdvanceTheImageByABlock) {
  ms->ReplaceStream(LoadResourceStream("STREAM0"));
  TStream* image = ms->CurrentStream();
  std::string expected(256, '\0');
  image->Read(expected.data(), 256);
  image->SetPosition(0);
  for (int i = 0; i < 256; ++i) Get();
  EXPECT_EQ(image->Position, 256);
  ASSERT_EQ(out.count(), 256u);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(AsInteger(out.hits[i].value), static_cast<unsigned char>(expected[i])) << i;
  }
}

TEST(TransferByteRoutine, WritesTheLowEightBitsAndGrowsTheStream) {
  TObjPtr<TStream> s{NewMemoryStream()};
  TData result = StrData("untouched");
  TData value = IntData(0x1234);
  TransferByte(s.get(), &value, result);
  value = StrData("-1");
  TransferByte(s.get(), &value, result);
  EXPECT_EQ(result.StrValue, "untouched");
  EXPECT_EQ(result.DataKind, kindString);
  ASSERT_EQ(s->GetSize(), 2);
  EXPECT_EQ(s->Memory[0], 0x34);
  EXPECT_EQ(s->Memory[1], 0xFF);

  // Over existing bytes it overwrites at the position.
  s->SetPosition(0);
  value = IntData(7);
  TransferByte(s.get(), &value, result);
  EXPECT_EQ(s->GetSize(), 2);
  EXPECT_EQ(s->Memory[0], 7);

  // Reading back, then past the end.
  s->SetPosition(1);
  TransferByte(s.get(), nullptr, result);
  EXPECT_EQ(result.DataKind, kindInteger);
  EXPECT_EQ(result.IntValue, 255);
  TransferByte(s.get(), nullptr, result);
  EXPECT_EQ(result.IntValue, 0);

  // No stream: nothing happens.
  TransferByte(nullptr, nullptr, result);
  EXPECT_EQ(result.IntValue, 0);
}

}  // namespace
