#include "robot_behavior/string_escape.hpp"

#include <array>
#include <cstddef>

namespace robot_behavior {
namespace {

constexpr char kNumeric = 1;  // written as a \u escape of its code

// How each byte is written: 0 as it is, kNumeric as a \u escape, any other character c as
// a backslash and c.
struct Style {
  std::array<char, 256> form{};
  bool braces = false;  // \u{1f} rather than \u001f
};

constexpr Style make_style(Escapes escapes) {
  Style style;
  for (int byte = 0; byte < 0x20; ++byte) style.form[byte] = kNumeric;
  style.form['"'] = '"';
  style.form['\\'] = '\\';
  switch (escapes) {
    case Escapes::JsonBytes:
      for (int byte = 0x80; byte < 0x100; ++byte) style.form[byte] = kNumeric;
      [[fallthrough]];
    case Escapes::Json:
      style.form['\b'] = 'b';
      style.form['\f'] = 'f';
      style.form['\n'] = 'n';
      style.form['\r'] = 'r';
      style.form['\t'] = 't';
      break;
    case Escapes::Debug:
      style.braces = true;
      style.form['\0'] = '0';
      style.form['\n'] = 'n';
      style.form['\r'] = 'r';
      style.form['\t'] = 't';
      style.form[0x7f] = kNumeric;
      break;
    case Escapes::Name:
      style.form[0x7f] = kNumeric;
      break;
  }
  return style;
}

constexpr std::array<Style, 4> kStyles = {make_style(Escapes::Json), make_style(Escapes::JsonBytes),
                                          make_style(Escapes::Debug), make_style(Escapes::Name)};

}  // namespace

void append_escaped(std::string& out, std::string_view text, Escapes escapes) {
  static constexpr char kHex[] = "0123456789abcdef";
  const Style& style = kStyles[static_cast<std::size_t>(escapes)];
  std::size_t plain = 0;  // start of the run of bytes written as they are
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const char form = style.form[byte];
    if (form == 0) continue;
    out.append(text.data() + plain, i - plain);
    plain = i + 1;
    out += '\\';
    if (form != kNumeric) {
      out += form;
    } else if (style.braces) {
      out += "u{";
      if (byte >= 0x10) out += kHex[byte >> 4];
      out += kHex[byte & 0xf];
      out += '}';
    } else {
      out += "u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xf];
    }
  }
  out.append(text.data() + plain, text.size() - plain);
}

}  // namespace robot_behavior
