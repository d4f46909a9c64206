// name.h - the bus's 8-byte, blank-padded names.
#ifndef MBX_NAME_H
#define MBX_NAME_H

#include <array>
#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace mbx {

inline constexpr size_t kNameSize = 8;

class Name {
 public:
  Name() { bytes_.fill(' '); }

  // Takes exactly 8 bytes from `field`.  Refused (nullopt) when `field` is
  // null, holds a byte outside 0x20..0x7E, or holds only blanks.
  static std::optional<Name> from_field(const char* field);
  // Pads `text` (1 to 8 printable characters) with blanks.
  static std::optional<Name> from_text(std::string_view text);

  const char* data() const { return bytes_.data(); }
  // The name without its trailing blanks, for messages.
  std::string text() const;
  bool blank() const;

  auto operator<=>(const Name&) const = default;

 private:
  std::array<char, kNameSize> bytes_;
};

}  // namespace mbx

#endif
