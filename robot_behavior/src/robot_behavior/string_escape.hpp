#pragma once
// The one string escaper: a text written inside double quotes, in one of the forms the
// library and the simulator write.

#include <cstdint>
#include <string>
#include <string_view>

namespace robot_behavior {

enum class Escapes : std::uint8_t {
  // JSON: " \ and \b \f \n \r \t by their short escapes, other control bytes as \u00XX;
  // bytes from 0x80 up copied as they are.
  Json,
  // JSON for bytes that may not be UTF-8: also every byte from 0x80 up as \u00XX.
  JsonBytes,
  // The debug form of a text in diagnostic messages: " \ \n \r \t and \0 by short escapes,
  // other control bytes and DEL as \u{1f}.
  Debug,
  // A name quoted in a message about a text: " and \ escaped, control bytes and DEL as
  // \u00XX.
  Name,
};

// Appends `text` escaped, without the quotes.
void append_escaped(std::string& out, std::string_view text, Escapes escapes);

// Appends `text` escaped, inside double quotes.
inline void append_quoted(std::string& out, std::string_view text, Escapes escapes) {
  out += '"';
  append_escaped(out, text, escapes);
  out += '"';
}

// `say "hi"` + newline gives "say \"hi\"\n"; other control bytes as \u{1f}.
inline void append_debug_string(std::string& out, std::string_view text) { append_quoted(out, text, Escapes::Debug); }

}  // namespace robot_behavior
