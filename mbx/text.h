// text.h - item bytes as one line of text, and back, for cadsim and tests.
#ifndef MBX_TEXT_H
#define MBX_TEXT_H

#include <optional>
#include <string>
#include <string_view>

namespace mbx {

// Printable ASCII stays as it is; a backslash becomes "\\" and every other
// byte "\xHH" (lower-case hex), so the result is one line.
std::string escape(std::string_view bytes);
// Pairs of hex digits ("4f4b00") to bytes; nullopt when malformed.
std::optional<std::string> from_hex(std::string_view hex);

}  // namespace mbx

#endif
