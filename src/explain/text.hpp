#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace tidewatch
{

inline constexpr std::size_t textLimit = 512;
inline constexpr std::string_view cutMark = "[…]";

// What is not well-formed UTF-8 becomes U+FFFD, one for each maximal ill-
// formed part (a stray byte, a truncated sequence); a text longer than
// textLimit bytes is cut on a character boundary and ends with cutMark.
std::string cleanText(std::string_view text);

// A console takes control characters as commands, and a carriage return at
// the end of a MessageId is just what a person must see: the text output
// shows each as its Control Pictures symbol (U+2400 + code, DEL U+2421).
std::string forConsole(std::string_view text);

// The registered message with %1..%n replaced by the entry's arguments; a
// placeholder without its argument stays as it is.
std::string fillMessage(std::string_view message,
                        std::span<const std::string_view> arguments);

} // namespace tidewatch
