#include "elements/kvFormatStr.h"

#include <algorithm>

#include "winlib/Convert.h"

namespace {
// Point indexes are 16-bit: no scheme can wire more placeholders than this.
constexpr std::int32_t kMaxPoints = 65536;
}  // namespace

void TKvFormatStr::SetDataCount(std::int32_t n) {
  DataCount = n;
  Str.resize(static_cast<std::size_t>(std::clamp(n, 0, kMaxPoints)));
}

void TKvFormatStr::doFormat(TData& d, std::uint16_t) {
  // Byte 0 holds the place of a doubled percent sign, byte 1 marks where a value starts
  // so that a value beginning with a digit cannot extend the tag in front of it.
  const std::string kPercent(1, '\0');
  const std::string kMark(1, '\1');

  std::string result = Mask;
  ReplaceAll(result, "%%", kPercent);
  const std::int32_t count = std::min(DataCount, kMaxPoints);
  for (std::int32_t k = 1; k <= count; ++k) {
    std::string tag(1, '%');
    tag += Int2Str(k);
    const TEventPoint point = static_cast<std::size_t>(k - 1) < Str.size() ? Str[k - 1] : TEventPoint{};
    std::string value = kMark;
    value += ReadString(d, point, std::string());
    ReplaceAll(result, tag, value, [&](std::size_t pos) {
      const std::size_t after = pos - 1 + tag.size();
      return after >= result.size() || result[after] < '0' || result[after] > '9';
    });
  }
  ReplaceAll(result, kMark, std::string());
  ReplaceAll(result, kPercent, "%");
  PassOnString(d, onFormat, std::move(result));
}
