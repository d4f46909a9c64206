#include "name.h"

#include <cstring>

namespace mbx {

namespace {
bool printable(char c) {
  auto u = static_cast<unsigned char>(c);
  return u >= 0x20 && u <= 0x7E;
}
}  // namespace

std::optional<Name> Name::from_field(const char* field) {
  if (field == nullptr) return std::nullopt;
  Name n;
  std::memcpy(n.bytes_.data(), field, kNameSize);
  for (char c : n.bytes_)
    if (!printable(c)) return std::nullopt;
  if (n.blank()) return std::nullopt;
  return n;
}

std::optional<Name> Name::from_text(std::string_view text) {
  if (text.empty() || text.size() > kNameSize) return std::nullopt;
  Name n;
  std::memcpy(n.bytes_.data(), text.data(), text.size());
  for (char c : n.bytes_)
    if (!printable(c)) return std::nullopt;
  if (n.blank()) return std::nullopt;
  return n;
}

std::string Name::text() const {
  std::string s(bytes_.data(), kNameSize);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool Name::blank() const {
  for (char c : bytes_)
    if (c != ' ') return false;
  return true;
}

}  // namespace mbx
