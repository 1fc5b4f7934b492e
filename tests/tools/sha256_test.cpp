// SHA-256 against published digests, across the padding boundaries, and fed in pieces.
#include "tools/common/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Sha256, PublishedDigests) {
  EXPECT_EQ(zorv::Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(zorv::Sha256Hex("abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(zorv::Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

TEST(Sha256, LengthsAroundTheBlockAndPaddingBoundaries) {
  const std::pair<int, const char*> cases[] = {
      {55, "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {56, "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {63, "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
      {64, "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {65, "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
      {119, "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
      {120, "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
  };
  for (const auto& [n, digest] : cases) {
    EXPECT_EQ(zorv::Sha256Hex(std::string(static_cast<std::size_t>(n), 'a')), digest) << n;
  }
}

TEST(Sha256, PiecesOfAnySizeGiveTheSameDigestAndFinalStartsOver) {
  zorv::Sha256 h;
  const std::string piece(1000, 'a');
  // A million 'a' in uneven pieces (1, 2, 3 ... bytes at the start, then 1000 at a time).
  std::size_t total = 0;
  for (std::size_t k = 1; total + k <= 4950; ++k) {
    h.Update(piece.data(), k);
    total += k;
  }
  while (total < 1000000) {
    const std::size_t k = std::min<std::size_t>(1000, 1000000 - total);
    h.Update(piece.data(), k);
    total += k;
  }
  EXPECT_EQ(h.FinalHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
  h.Update("abc");
  EXPECT_EQ(h.FinalHex(), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256, EveryByteValueNulIncluded) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  EXPECT_EQ(zorv::Sha256Hex(bytes), "40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880");
}

}  // namespace
