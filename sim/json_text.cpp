#include "json_text.hpp"

#include <simdjson.h>

namespace orvek::sim {

void append_json_string(std::string& out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  const bool utf8 = simdjson::validate_utf8(bytes.data(), bytes.size());
  out += '"';
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      case '\b': out += "\\b"; continue;
      case '\f': out += "\\f"; continue;
      default: break;
    }
    if (c < 0x20 || (c >= 0x80 && !utf8)) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  out += '"';
}

}  // namespace orvek::sim
