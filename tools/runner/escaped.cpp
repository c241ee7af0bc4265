// Showing text from outside the runner escaped and cut short.
#include "tools/runner/escaped.h"

#include <cstdio>

namespace {

std::string escapedBytes(const std::string& text, size_t most) {
  std::string out;
  for (size_t i = 0; i < text.size() && i < most; ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string lengthIfCut(const std::string& text, size_t most) {
  return text.size() > most ? "... (" + std::to_string(text.size()) + " bytes)" : "";
}

}  // namespace

std::string escaped(const std::string& text, size_t most) {
  return escapedBytes(text, most) + lengthIfCut(text, most);
}

std::string quoted(const std::string& text, size_t most) {
  return "\"" + escapedBytes(text, most) + "\"" + lengthIfCut(text, most);
}
