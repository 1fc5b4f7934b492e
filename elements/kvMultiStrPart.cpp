#include "elements/kvMultiStrPart.h"

#include <algorithm>

#include "elements/kvStr_Enum.h"

namespace {
// Point indexes are 16-bit: no reader can ask for a part beyond this.
constexpr std::int32_t kMaxParts = 65536;
}  // namespace

void TKvMultiStrPart::SetPartCount(std::int32_t n) {
  PartCount = n;
  Parts.assign(static_cast<std::size_t>(std::clamp(n, 0, kMaxParts)), std::string());
}

void TKvMultiStrPart::doSplit(TData& d, std::uint16_t) {
  for (std::string& part : Parts) part.clear();
  std::string text = ReadString(d, Text, std::string());
  // An empty delimiter occurs nowhere.
  if (Delimiter.empty() || text.find(Delimiter) == std::string::npos) {
    PassOnString(d, onNoDelimiter, std::move(text));
    return;
  }
  // Once the text is used up every further cut is empty: the loops stop there.
  for (std::int32_t k = 0; k < Skip && !text.empty(); ++k) CutPart(text, Delimiter);
  for (std::int32_t k = 0; k < PartCount && !text.empty(); ++k) {
    std::string part = CutPart(text, Delimiter);
    if (static_cast<std::size_t>(k) < Parts.size()) Parts[k] = std::move(part);
  }
  PassOnString(d, onSplit, std::move(text));
}

void TKvMultiStrPart::Part(TData& d, std::uint16_t index) {
  // A reader wired beyond PartCount gets an empty part.
  SetString(d, index < Parts.size() ? Parts[index] : std::string());
}
