#include "app/zorvflash/Image.h"

#include "platform/files.h"
#include "platform/system.h"
#include "tools/common/sha256.h"
#include "winlib/StrStreams.h"

std::string GroupedNumber(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
}

std::string TFirmwareImage::PaddingNote() const {
  if (embedded || fileSize >= kImageSize) return std::string();
  return source + ": " + GroupedNumber(fileSize) + " bytes, padded with 0xFF to " + GroupedNumber(kImageSize);
}

TStream* TFirmwareImage::NewStream() const {
  TStream* s = NewMemoryStream();
  s->Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
  s->SetPosition(0);
  return s;
}

TFirmwareImage EmbeddedImage() {
  TObjPtr<TStream> stream(LoadResourceStream("STREAM0"));
  TFirmwareImage image;
  if (stream->Size > 0) image.bytes.assign(reinterpret_cast<const char*>(stream->Memory), static_cast<std::size_t>(stream->Size));
  image.source = "embedded";
  image.fileSize = image.bytes.size();
  image.sha256 = zorv::Sha256Hex(image.bytes);
  return image;
}

TFirmwareImage ImageFromBytes(std::string bytes, const std::string& source) {
  TFirmwareImage image;
  image.fileSize = bytes.size();
  image.bytes = std::move(bytes);
  if (image.bytes.size() < kImageSize) image.bytes.append(kImageSize - image.bytes.size(), '\xFF');
  image.source = source;
  image.embedded = false;
  image.sha256 = zorv::Sha256Hex(image.bytes);
  return image;
}

bool LoadImageFile(const std::string& path, TFirmwareImage& image, std::string& error) {
  std::string bytes;
  std::uint64_t size = 0;
  zorv::platform::TFileError e;
  if (!zorv::platform::ReadFileAtMost(path, kImageSize, bytes, size, e)) {
    using Kind = zorv::platform::TFileError::Kind;
    if (e.kind == Kind::NotFound) {
      error = path + ": no such file";
    } else if (e.kind == Kind::Directory) {
      error = path + ": a directory, not an image file";
    } else {
      std::string text = zorv::platform::SystemErrorText(e.code);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
      error = path + ": cannot read it: " + (text.empty() ? "system error" : text) + " (error " + std::to_string(e.code) + ")";
    }
    return false;
  }
  if (bytes.empty()) {
    error = path + ": an empty file";
    return false;
  }
  if (bytes.size() > kImageSize) {
    error = path + ": " + GroupedNumber(size) + " bytes; the image holds at most " + GroupedNumber(kImageSize);
    return false;
  }
  image = ImageFromBytes(std::move(bytes), path);
  return true;
}
