#include "text.h"

namespace mbx {

namespace {
int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::string escape(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    auto u = static_cast<unsigned char>(ch);
    if (ch == '\\') {
      out += "\\\\";
    } else if (u >= 0x20 && u <= 0x7E) {
      out += ch;
    } else {
      out += "\\x";
      out += digits[u >> 4];
      out += digits[u & 15];
    }
  }
  return out;
}

std::optional<std::string> from_hex(std::string_view hex) {
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = hex_value(hex[i]), lo = hex_value(hex[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

}  // namespace mbx
