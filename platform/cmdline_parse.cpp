// Tokenising of a Windows command line (shared by both builds so it can be tested natively).
#include "platform/system.h"

namespace zorv::platform {

std::string CommandLineToken(const std::string& commandLine, int n) {
  // The system hands the line over as a zero-terminated string: it ends at the first NUL.
  const std::string s = commandLine.substr(0, commandLine.find('\0'));
  const std::size_t len = s.size();
  std::size_t i = 0;
  for (int index = 0;; ++index) {
    while (i < len) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      if (c >= 1 && c <= 32) {
        ++i;
      } else if (c == '"' && i + 1 < len && s[i + 1] == '"') {
        i += 2;
      } else {
        break;
      }
    }
    if (i >= len) return std::string();
    const std::size_t start = i;
    bool quoted = false;
    while (i < len) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      if (c == '"') {
        quoted = !quoted;
      } else if (c < '!' && !quoted) {
        break;
      }
      ++i;
    }
    if (index == n) {
      std::string token = s.substr(start, i - start);
      if (token.size() > 1 && token.front() == '"' && token.back() == '"') {
        token = token.substr(1, token.size() - 2);
      }
      return token;
    }
  }
}

}  // namespace zorv::platform
