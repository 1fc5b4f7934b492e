// Measures the cost per image byte of the chain the upload runs for every byte, wired with
// the real elements as the upload scheme wires them: the byte read from the image stream,
// turned into a one-character string that passes the gate of the upload's phase on its
// way to the port and into hexadecimal text for the checksum, the checksum continued from
// the stored previous text, the new text stored, and both acknowledgement masks set.
//
//   bench_byte_chain [--passes N] [--bytes N]
//
// --passes: times over the image (default 5); --bytes: bytes per pass (default the whole
// image; 0 runs only the setup). Instructions per byte: run it under
// valgrind --tool=callgrind with --passes 1 and two byte counts and divide the difference
// of the totals by the difference of the byte counts.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "elements/kvCRC16_32.h"
#include "elements/kvConvertor.h"
#include "elements/kvDataToFile.h"
#include "elements/kvEventFromData.h"
#include "elements/kvHub.h"
#include "elements/kvIf_else.h"
#include "elements/kvMemoryStream.h"
#include "elements/kvStrCat.h"
#include "elements/kvStrMask.h"
#include "runtime/Share.h"

namespace {

// Stands for the main window's hidden checksum field: stores each new checksum text and
// answers it to readers.
struct TextStore {
  std::string text = "FFFF";
  void doStore(TData& d, std::uint16_t) { text = AsString(d); }
  void Text(TData& d, std::uint16_t) { SetString(d, text); }
};

// Stands for the port write: keeps a running sum so the characters are really used.
struct Port {
  std::uint64_t bytes = 0;
  std::uint32_t sum = 0;
  void doWrite(TData& d, std::uint16_t) {
    ++bytes;
    for (unsigned char c : d.StrValue) sum = sum * 31u + c;
  }
};

std::uint16_t ModbusCrc(const unsigned char* p, std::size_t n) {
  std::uint32_t crc = 0xFFFF;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1u) ? (crc >> 1) ^ 0xA001u : crc >> 1;
  }
  return static_cast<std::uint16_t>(crc);
}

long ArgValue(int argc, char** argv, const char* name, long def) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return std::strtol(argv[i + 1], nullptr, 10);
  }
  return def;
}

}  // namespace

int main(int argc, char** argv) {
  const long passes = ArgValue(argc, argv, "--passes", 5);

  TObjPtr<TKvMemoryStream> imageStream{New<TKvMemoryStream>()};
  imageStream->ReplaceStream(LoadResourceStream("STREAM0"));
  TStream* image = imageStream->CurrentStream();
  const std::int32_t imageSize = image->GetSize();
  if (imageSize <= 0) {
    std::fprintf(stderr, "no firmware image\n");
    return 1;
  }
  long bytes = ArgValue(argc, argv, "--bytes", imageSize);
  if (bytes < 0 || bytes > imageSize) bytes = imageSize;

  TObjPtr<TKvDataToFile> byteReader{New<TKvDataToFile>()};
  TObjPtr<TKvHub> byteHub{New<TKvHub>()};
  TObjPtr<TKvConvertor> byteToChar{New<TKvConvertor>()};
  TObjPtr<TKvConvertor> byteToHex{New<TKvConvertor>()};
  TObjPtr<TKvIf_else> byteGate{New<TKvIf_else>()};
  TObjPtr<TKvEventFromData> phase{New<TKvEventFromData>()};
  TObjPtr<TKvHub> sendHub{New<TKvHub>()};
  TObjPtr<TKvCRC16_32> checksum{New<TKvCRC16_32>()};
  TObjPtr<TKvHub> crcHub{New<TKvHub>()};
  TObjPtr<TKvStrCat> finalText{New<TKvStrCat>()};
  TObjPtr<TKvStrMask> ackMask{New<TKvStrMask>()};
  TObjPtr<TKvStrMask> finalMask{New<TKvStrMask>()};
  TextStore store;
  Port port;

  byteToChar->Mode = 4;
  byteToChar->Digits = 1;
  byteToHex->Mode = 6;
  byteToHex->Digits = 1;
  byteHub->InCount = 1;
  byteHub->SetOutCount(2);
  byteGate->Compare = 0;
  SetInteger(byteGate->Op2, 1);
  sendHub->InCount = 2;
  sendHub->SetOutCount(1);
  crcHub->InCount = 1;
  crcHub->SetOutCount(3);
  checksum->InputMode = 1;
  checksum->CRCType = 0;
  checksum->Polynomial = "$A001";
  checksum->InitValue = "$FFFF";
  checksum->SwapResult = 0;
  finalText->Str2 = "465A";
  ackMask->Mask = "SZ";
  ackMask->IgnoreCase = 1;
  finalMask->Mask = "FZ";
  finalMask->IgnoreCase = 1;

  byteReader->onGet = MakePoint<&TKvHub::doEvent>(0, byteHub.get());
  byteReader->Stream = MakePoint<&TKvMemoryStream::Stream>(0, imageStream.get());
  byteHub->onEvent[0] = MakePoint<&TKvConvertor::doConvert>(0, byteToChar.get());
  byteHub->onEvent[1] = MakePoint<&TKvConvertor::doConvert>(0, byteToHex.get());
  byteToChar->onResult = MakePoint<&TKvIf_else::doCompare>(0, byteGate.get());
  byteGate->onFalse = MakePoint<&TKvHub::doEvent>(1, sendHub.get());
  byteGate->Op1Point = MakePoint<&TKvEventFromData::Stored>(0, phase.get());
  sendHub->onEvent[0] = MakePoint<&Port::doWrite>(1, &port);
  byteToHex->onResult = MakePoint<&TKvCRC16_32::doCRC>(0, checksum.get());
  checksum->InitValuePoint = MakePoint<&TextStore::Text>(0, &store);
  checksum->onCRC = MakePoint<&TKvHub::doEvent>(0, crcHub.get());
  crcHub->onEvent[0] = MakePoint<&TextStore::doStore>(4, &store);
  crcHub->onEvent[1] = MakePoint<&TKvStrCat::doStrCat>(0, finalText.get());
  crcHub->onEvent[2] = MakePoint<&TKvStrMask::doSetMask>(0, ackMask.get());
  finalText->Str1Point = MakePoint<&TextStore::Text>(0, &store);
  finalText->onStrCat = MakePoint<&TKvStrMask::doSetMask>(0, finalMask.get());

  EventsOn();
  const TEventPoint get = MakePoint<&TKvDataToFile::doGet>(0, byteReader.get());

  double best = 0.0;
  double total = 0.0;
  for (long pass = 0; pass < passes; ++pass) {
    image->SetPosition(0);
    store.text = "FFFF";
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < bytes; ++i) FireInteger(get, static_cast<std::int32_t>(i & 255));
    const auto stop = std::chrono::steady_clock::now();
    const double ns = std::chrono::duration<double, std::nano>(stop - start).count();
    const double perByte = bytes > 0 ? ns / static_cast<double>(bytes) : 0.0;
    total += ns;
    if (pass == 0 || perByte < best) best = perByte;
    std::printf("pass %ld: %ld bytes, %.1f ms, %.1f ns/byte\n", pass + 1, bytes, ns / 1e6, perByte);
  }
  EventsOff();

  // The chain must have computed the real checksum of the bytes it read.
  const std::uint16_t expected = ModbusCrc(image->Memory, static_cast<std::size_t>(bytes));
  char expectedText[8];
  std::snprintf(expectedText, sizeof expectedText, "%04X", expected);
  const bool right = bytes == 0 || passes <= 0 ||
                     (store.text == expectedText && ackMask->Mask == store.text &&
                      finalMask->Mask == store.text + "465A");
  const long done = passes * bytes;
  std::printf("bytes: %ld in %ld passes; port writes %llu; checksum %s (%s)\n", done, passes,
              static_cast<unsigned long long>(port.bytes), store.text.c_str(), right ? "right" : "WRONG");
  if (done > 0) {
    std::printf("mean %.1f ns/byte, best pass %.1f ns/byte\n", total / static_cast<double>(done), best);
  }
  return right ? 0 : 1;
}
