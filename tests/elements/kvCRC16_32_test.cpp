// Checksum element: every type and input mode, the check values, chaining, shared tables.
#include "elements/kvCRC16_32.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/probes.h"
#include "winlib/Convert.h"

namespace {

using namespace zorv::test;

// Bit-by-bit references, independent of the element's tables.
std::uint16_t RefReflected16(const std::string& bytes, std::uint16_t poly, std::uint16_t init) {
  std::uint32_t crc = init;
  for (unsigned char c : bytes) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc & 1u) ? (crc >> 1) ^ poly : crc >> 1;
  }
  return static_cast<std::uint16_t>(crc);
}

std::uint16_t RefNormal16(const std::string& bytes, std::uint16_t poly, std::uint16_t init) {
  std::uint32_t crc = init;
  for (unsigned char c : bytes) {
    crc ^= static_cast<std::uint32_t>(c) << 8;
    for (int k = 0; k < 8; ++k) crc = ((crc & 0x8000u) ? (crc << 1) ^ poly : crc << 1) & 0xFFFFu;
  }
  return static_cast<std::uint16_t>(crc);
}

std::string Hex4(std::uint32_t v) { return Int2Hex(v & 0xFFFFu, 4); }

class Crc : public ::testing::Test {
 protected:
  EventsOnScope events;
  TObjPtr<TKvCRC16_32> crc{New<TKvCRC16_32>()};
  Sink out;

  void SetUp() override { crc->onCRC = out.Point(); }

  void Set(std::uint8_t type, const std::string& poly, const std::string& init, std::uint8_t mode = 0) {
    crc->CRCType = type;
    crc->Polynomial = poly;
    crc->InitValue = init;
    crc->InputMode = mode;
  }
  std::string Run(const std::string& text) {
    TData d = StrData(text);
    FireEvent(MakePoint<&TKvCRC16_32::doCRC>(0, crc.get()), d);
    return out.count() ? AsString(out.last()) : std::string("<nothing>");
  }
};

struct CheckValue {
  std::uint8_t type;
  const char* poly;
  const char* init;
  const char* result;
};

class CrcCheckValues : public Crc, public ::testing::WithParamInterface<CheckValue> {};

TEST_P(CrcCheckValues, NineDigitsAsCharactersAndAsHexText) {
  const CheckValue& c = GetParam();
  Set(c.type, c.poly, c.init, 0);
  EXPECT_EQ(Run("123456789"), c.result);
  crc->InputMode = 1;
  EXPECT_EQ(Run("31 32 33 34 35 36 37 38 39"), c.result);
  EXPECT_EQ(Run("313233343536373839"), c.result);
  EXPECT_EQ(out.last().DataKind, kindString);
}

INSTANTIATE_TEST_SUITE_P(Table, CrcCheckValues,
                         ::testing::Values(CheckValue{0, "$A001", "$FFFF", "4B37"}, CheckValue{0, "$A001", "0", "BB3D"},
                                           CheckValue{1, "$A001", "$FFFF", "374B"},
                                           CheckValue{2, "$A001", "$FFFF", "C8B4"},
                                           CheckValue{3, "$1021", "$FFFF", "29B1"}, CheckValue{3, "$1021", "0", "31C3"},
                                           CheckValue{4, "$EDB88320", "$FFFFFFFF", "CBF43926"},
                                           // Upper and lower case digits, no "$": the same.
                                           CheckValue{0, "a001", "ffff", "4B37"}),
                         [](const ::testing::TestParamInfo<CheckValue>& info) {
                           return "Type" + std::to_string(info.param.type) + "_" + std::to_string(info.index);
                         });

TEST_F(Crc, ChainingThroughInitValueEqualsOneComputation) {
  for (std::uint8_t type : {0, 3}) {
    const std::string poly = type == 0 ? "$A001" : "$1021";
    Set(type, poly, "$FFFF");
    const std::string whole = Run("123456789");
    for (const char* prefix : {"", "$"}) {
      std::string running = "FFFF";
      for (char c : std::string("123456789")) {
        crc->InitValue = prefix + running;
        running = Run(std::string(1, c));
      }
      EXPECT_EQ(running, whole) << "type " << int(type) << " prefix '" << prefix << "'";
    }
    // Uneven pieces too.
    crc->InitValue = "$FFFF";
    const std::string first = Run("1234");
    crc->InitValue = first;
    EXPECT_EQ(Run("56789"), whole);
  }
}

TEST_F(Crc, InitValuePointFeedsTheRunningChecksumByteAfterByte) {
  // As in the upload: hexadecimal text of one byte in, the previous result read back
  // through InitValuePoint, the property "$FFFF" only a default.
  Set(0, "$A001", "$FFFF", 1);
  Source stored = Source::String("FFFF");
  crc->InitValuePoint = stored.Point();
  out.react = [&](TData& d, std::uint16_t) { SetString(stored.value, AsString(d)); };
  const std::string bytes = "\x01\x02\xA5\xFF\x00\x10" + std::string("xyz");
  for (unsigned char c : bytes) Run(Int2Hex(c, 1));
  EXPECT_EQ(AsString(stored.value), Hex4(RefReflected16(bytes, 0xA001, 0xFFFF)));
  EXPECT_EQ(stored.reads, static_cast<int>(bytes.size()));
}

TEST_F(Crc, EmptyTextGivesTheInitialValueWithoutFinalStep) {
  Set(0, "$A001", "$FFFF");
  EXPECT_EQ(Run(""), "FFFF");
  Set(4, "$EDB88320", "$FFFF");
  EXPECT_EQ(Run(""), "0000FFFF");
  Set(2, "$A001", "$FFFF");
  EXPECT_EQ(Run(""), "FFFF");
  Set(1, "$A001", "$12AB");
  EXPECT_EQ(Run(""), "12AB");
  // Empty once blanks and "$" are gone.
  Set(2, "$A001", "$1234", 1);
  EXPECT_EQ(Run(" $ $  "), "1234");
}

TEST_F(Crc, HexModeIgnoresBlanksAndDollarSigns) {
  Set(0, "$A001", "$FFFF", 1);
  const std::string expected = Run("3132");
  EXPECT_EQ(Run("31 32"), expected);
  EXPECT_EQ(Run("$31$32"), expected);
  EXPECT_EQ(Run(" 3 1 3 2 "), expected);
  EXPECT_EQ(expected, Hex4(RefReflected16("12", 0xA001, 0xFFFF)));
}

TEST_F(Crc, HexPairsOddEndsAndUnparsablePairs) {
  const auto ref = [](const char* bytes, std::size_t n) { return Hex4(RefReflected16(std::string(bytes, n), 0xA001, 0xFFFF)); };
  Set(0, "$A001", "$FFFF", 1);
  EXPECT_EQ(Run("313"), ref("\x31\x03", 2));  // the last digit alone is a byte
  // "G1" is not hexadecimal: byte 0; "3G": byte 3.
  EXPECT_EQ(Run("G13Gzz"), ref("\x00\x03\x00", 3));
  // Other modes keep blanks and "$": pairs "31", " 3", "2"; then "$3", "1".
  crc->InputMode = 2;
  EXPECT_EQ(Run("31 32"), ref("\x31\x00\x02", 3));
  EXPECT_EQ(Run("$31"), ref("\x03\x01", 2));
}

TEST_F(Crc, InitialValueIsCutTo16BitsExceptForType4) {
  for (std::uint8_t type : {0, 1, 2, 3}) {
    const std::string poly = type == 3 ? "$1021" : "$A001";
    Set(type, poly, "$FFFF");
    const std::string narrow = Run("123456789");
    crc->InitValue = "$ABCFFFF";
    EXPECT_EQ(Run("123456789"), narrow) << int(type);
    EXPECT_EQ(Run(""), "FFFF") << int(type);
  }
  Set(4, "$EDB88320", "$00FFFFFF");
  EXPECT_NE(Run("123456789"), "CBF43926");
  EXPECT_EQ(Run(""), "00FFFFFF");
}

TEST_F(Crc, SwapResultSwapsSixteenBitResultsOnly) {
  Set(0, "$A001", "$FFFF");
  crc->SwapResult = 1;
  EXPECT_EQ(Run("123456789"), "374B");
  EXPECT_EQ(Run(""), "FFFF");
  crc->InitValue = "$1234";
  EXPECT_EQ(Run(""), "3412");
  Set(4, "$EDB88320", "$FFFFFFFF");
  EXPECT_EQ(Run("123456789"), "CBF43926");
  EXPECT_EQ(Run(""), "FFFFFFFF");
}

TEST_F(Crc, UnknownTypeLeavesTheRegisterAtItsInitialValue) {
  Set(7, "$A001", "$1ABCD");
  EXPECT_EQ(Run("123456789"), "ABCD");
  crc->SwapResult = 1;
  EXPECT_EQ(Run("123456789"), "CDAB");
}

TEST_F(Crc, GarbagePolynomialAndInitialValueReadAsZero) {
  Set(0, "xyz", "not hex");
  // Polynomial 0: every table entry is 0, so each byte only shifts the register out.
  EXPECT_EQ(Run("12"), "0000");
  EXPECT_EQ(Run(""), "0000");
}

TEST_F(Crc, PointsWinOverPropertiesAndEmptyOnesTakeTheIncomingChain) {
  Set(0, "$1021", "$0000");
  Source poly = Source::String("$A001");
  Source init = Source::String("FFFF");
  Source data = Source::String("123456789");
  crc->PolynomialPoint = poly.Point();
  crc->InitValuePoint = init.Point();
  crc->Data = data.Point();
  EXPECT_EQ(Run("ignored"), "4B37");

  // Nothing connected, empty properties: text, polynomial and initial value in turn.
  crc->PolynomialPoint = TEventPoint{};
  crc->InitValuePoint = TEventPoint{};
  crc->Data = TEventPoint{};
  Set(0, "", "");
  TData third = StrData("FFFF");
  TData second = StrData("A001");
  second.Next = &third;
  TData d = StrData("123456789");
  d.Next = &second;
  FireEvent(MakePoint<&TKvCRC16_32::doCRC>(0, crc.get()), d);
  EXPECT_EQ(AsString(out.last()), "4B37");
}

TEST_F(Crc, MatchesBitwiseReferenceForManyPolynomials) {
  // Far more polynomials than the shared set of tables holds, switching order and width
  // on the same element: every result must still be right.
  std::uint32_t x = 0x12345678u;
  for (int k = 0; k < 150; ++k) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    const auto poly = static_cast<std::uint16_t>(x | 1u);
    const auto init = static_cast<std::uint16_t>(x >> 16);
    const std::string text = "poly " + std::to_string(k);
    Set(0, "$" + Int2Hex(poly, 4), Int2Hex(init, 4));
    EXPECT_EQ(Run(text), Hex4(RefReflected16(text, poly, init))) << k;
    Set(3, Int2Hex(poly, 4), Int2Hex(init, 4));
    EXPECT_EQ(Run(text), Hex4(RefNormal16(text, poly, init))) << k;
  }
}

TEST_F(Crc, Type3IgnoresPolynomialBitsAboveSixteen) {
  Set(3, "$1021", "$FFFF");
  const std::string narrow = Run("123456789");
  crc->Polynomial = "$ABC1021";
  EXPECT_EQ(Run("123456789"), narrow);
}

// Two threads computing at the same moment, each on an element of its own with a table of
// its own, and both on one shared element whose polynomial and initial value arrive with
// the incoming value (so its cached table flips between the two): no result may be
// disturbed by the other thread.
TEST(CRC16_32Threads, ConcurrentComputationsDoNotDisturbEachOther) {
  EventsOnScope events;
  TObjPtr<TKvCRC16_32> shared{New<TKvCRC16_32>()};

  struct Job {
    std::uint8_t type;
    std::string poly;
    std::string init;
    std::string expected;        // own element
    std::string sharedPoly;      // shared element (type 0)
    std::string sharedExpected;
  };
  const std::string text = "123456789";
  const Job jobs[2] = {
      {0, "$A001", "$FFFF", "4B37", "$A001", Hex4(RefReflected16(text, 0xA001, 0xFFFF))},
      {3, "$1021", "$FFFF", "29B1", "$8408", Hex4(RefReflected16(text, 0x8408, 0xFFFF))}};
  std::atomic<int> failures{0};
  std::atomic<int> ready{0};

  auto work = [&](const Job& job) {
    TObjPtr<TKvCRC16_32> own{New<TKvCRC16_32>()};
    own->CRCType = job.type;
    own->Polynomial = job.poly;
    own->InitValue = job.init;
    Sink mine;
    own->onCRC = mine.Point();
    ready.fetch_add(1);
    while (ready.load() < 2) std::this_thread::yield();
    for (int i = 0; i < 2000; ++i) {
      TData d = StrData(text);
      FireEvent(MakePoint<&TKvCRC16_32::doCRC>(0, own.get()), d);
      if (mine.count() != 1 || AsString(mine.last()) != job.expected) failures.fetch_add(1);
      mine.hits.clear();

      // Text, polynomial and initial value as one incoming chain; the shared element's
      // output is unconnected, so its result stays in the record.
      TData init = StrData(job.init);
      TData poly = StrData(job.sharedPoly);
      poly.Next = &init;
      TData s = StrData(text);
      s.Next = &poly;
      shared->doCRC(s, 0);
      if (s.StrValue != job.sharedExpected) failures.fetch_add(1);
    }
  };
  std::thread a(work, std::cref(jobs[0]));
  std::thread b(work, std::cref(jobs[1]));
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
