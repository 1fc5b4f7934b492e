// The image the flasher sends: the one embedded in the program, or a file given at run
// time, read once at the start by the rule of the build's image option: a file shorter
// than the device's 1016 blocks of 256 bytes is padded with 0xFF; an empty file, a larger
// one, a missing or unreadable one or a directory is refused with the path and the reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TStream;

inline constexpr std::size_t kImageSize = 260096;

struct TFirmwareImage {
  std::string bytes;      // always kImageSize bytes
  std::string source;     // "embedded", or the path as given
  std::string sha256;     // of the bytes as sent
  std::size_t fileSize = 0;  // the file's own size (kImageSize for the embedded image)
  bool embedded = true;

  // "image.bin: 1,000 bytes, padded with 0xFF to 260,096"; empty when nothing was padded.
  std::string PaddingNote() const;
  // A memory stream holding the bytes, for the upload (the caller owns it).
  TStream* NewStream() const;
};

TFirmwareImage EmbeddedImage();
// Reads and pads the file; false with "<path>: <reason>" in error.
bool LoadImageFile(const std::string& path, TFirmwareImage& image, std::string& error);
// Takes bytes that come from elsewhere (the parent flasher): padded as a file would be.
TFirmwareImage ImageFromBytes(std::string bytes, const std::string& source);

// A count with thousands separated by commas ("260,096").
std::string GroupedNumber(std::uint64_t n);
