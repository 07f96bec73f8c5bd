#include "json_syntax.hpp"

namespace robot_behavior {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_word_char(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.' || c == '+' ||
         c == '-';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Length of the well-formed UTF-8 sequence at `pos` (no overlong forms, no surrogates,
// nothing above U+10FFFF), or 0.
std::size_t utf8_length(std::string_view s, std::size_t pos) {
  const auto byte = [&](std::size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
  const unsigned lead = byte(pos);
  const auto cont = [&](std::size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
    return byte(i) >= low && byte(i) <= high;
  };
  if (lead >= 0xC2 && lead <= 0xDF) return cont(pos + 1) ? 2 : 0;
  if (lead == 0xE0) return cont(pos + 1, 0xA0) && cont(pos + 2) ? 3 : 0;
  if ((lead >= 0xE1 && lead <= 0xEC) || lead == 0xEE || lead == 0xEF) return cont(pos + 1) && cont(pos + 2) ? 3 : 0;
  if (lead == 0xED) return cont(pos + 1, 0x80, 0x9F) && cont(pos + 2) ? 3 : 0;
  if (lead == 0xF0) return cont(pos + 1, 0x90) && cont(pos + 2) && cont(pos + 3) ? 4 : 0;
  if (lead >= 0xF1 && lead <= 0xF3) return cont(pos + 1) && cont(pos + 2) && cont(pos + 3) ? 4 : 0;
  if (lead == 0xF4) return cont(pos + 1, 0x80, 0x8F) && cont(pos + 2) && cont(pos + 3) ? 4 : 0;
  return 0;
}

class Checker {
 public:
  explicit Checker(std::string_view text) : s_(text) {}

  std::optional<JsonSyntaxFault> run() {
    skip_space();
    if (!value(0)) return std::move(fault_);
    skip_space();
    if (pos_ < s_.size()) {
      fail(pos_, "trailing characters after the JSON value");
      return std::move(fault_);
    }
    return std::nullopt;
  }

  // The end of the number at `pos_`, or false.
  bool number() {
    const std::size_t start = pos_;
    if (peek() == '-') ++pos_;
    if (peek() == '0') {
      ++pos_;
    } else if (is_digit(peek())) {
      while (is_digit(peek())) ++pos_;
    } else {
      return fail(start, "invalid number");
    }
    if (peek() == '.') {
      ++pos_;
      if (!is_digit(peek())) return fail(start, "invalid number");
      while (is_digit(peek())) ++pos_;
    }
    if (peek() == 'e' || peek() == 'E') {
      ++pos_;
      if (peek() == '+' || peek() == '-') ++pos_;
      if (!is_digit(peek())) return fail(start, "invalid number");
      while (is_digit(peek())) ++pos_;
    }
    if (pos_ < s_.size() && is_word_char(s_[pos_])) return fail(start, "invalid number");
    return true;
  }

  bool at_end() const { return pos_ == s_.size(); }

 private:
  char peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }

  void skip_space() {
    while (pos_ < s_.size() && is_json_space(s_[pos_])) ++pos_;
  }

  bool fail(std::size_t at, std::string message) {
    fault_ = JsonSyntaxFault{at, std::move(message)};
    return false;
  }

  std::string found() const {
    if (pos_ >= s_.size()) return "the end of the text";
    const auto c = static_cast<unsigned char>(s_[pos_]);
    if (c >= 0x80) return "a non-ASCII character";
    if (c < 0x20 || c == 0x7f) return "a control character";
    return std::string("'") + s_[pos_] + "'";
  }

  bool value(std::size_t depth) {
    if (pos_ >= s_.size()) return fail(pos_, "expected a JSON value, found the end of the text");
    switch (s_[pos_]) {
      case '{':
      case '[':
        if (depth + 1 > kMaxJsonDepth) {
          return fail(pos_, "arrays and objects nested deeper than " + std::to_string(kMaxJsonDepth));
        }
        return s_[pos_] == '{' ? object(depth + 1) : array(depth + 1);
      case '"': return string();
      case 't': return literal("true");
      case 'f': return literal("false");
      case 'n': return literal("null");
      default:
        if (s_[pos_] == '-' || is_digit(s_[pos_])) return number();
        return fail(pos_, "expected a JSON value, found " + found());
    }
  }

  bool literal(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word ||
        (pos_ + word.size() < s_.size() && is_word_char(s_[pos_ + word.size()]))) {
      return fail(pos_, "invalid literal: expected true, false or null");
    }
    pos_ += word.size();
    return true;
  }

  bool array(std::size_t depth) {
    ++pos_;
    skip_space();
    if (peek() == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      skip_space();
      if (!value(depth)) return false;
      skip_space();
      if (peek() == ',') {
        ++pos_;
      } else if (peek() == ']') {
        ++pos_;
        return true;
      } else {
        return fail(pos_, "expected ',' or ']' after an array item, found " + found());
      }
    }
  }

  bool object(std::size_t depth) {
    ++pos_;
    skip_space();
    if (peek() == '}') {
      ++pos_;
      return true;
    }
    for (;;) {
      skip_space();
      if (peek() != '"') return fail(pos_, "expected a member name in double quotes, found " + found());
      if (!string()) return false;
      skip_space();
      if (peek() != ':') return fail(pos_, "expected ':' after a member name, found " + found());
      ++pos_;
      skip_space();
      if (!value(depth)) return false;
      skip_space();
      if (peek() == ',') {
        ++pos_;
      } else if (peek() == '}') {
        ++pos_;
        return true;
      } else {
        return fail(pos_, "expected ',' or '}' after an object member, found " + found());
      }
    }
  }

  // Four hex digits at `at`, or -1.
  long hex4(std::size_t at) const {
    if (at + 4 > s_.size()) return -1;
    long code = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
      const int digit = hex_value(s_[i]);
      if (digit < 0) return -1;
      code = code * 16 + digit;
    }
    return code;
  }

  bool string() {
    const std::size_t start = pos_;
    ++pos_;
    for (;;) {
      if (pos_ >= s_.size()) return fail(start, "unterminated string");
      const auto c = static_cast<unsigned char>(s_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c == '\\') {
        const char e = pos_ + 1 < s_.size() ? s_[pos_ + 1] : '\0';
        if (e == '"' || e == '\\' || e == '/' || e == 'b' || e == 'f' || e == 'n' || e == 'r' || e == 't') {
          pos_ += 2;
          continue;
        }
        if (e != 'u') return fail(pos_, "invalid escape in a string");
        const long code = hex4(pos_ + 2);
        if (code < 0) return fail(pos_, "invalid \\u escape in a string: expected four hex digits");
        if (code >= 0xDC00 && code <= 0xDFFF) return fail(pos_, "unpaired surrogate in a \\u escape");
        if (code >= 0xD800 && code <= 0xDBFF) {
          const bool paired = pos_ + 7 < s_.size() && s_[pos_ + 6] == '\\' && s_[pos_ + 7] == 'u';
          const long low = paired ? hex4(pos_ + 8) : -1;
          if (low < 0xDC00 || low > 0xDFFF) return fail(pos_, "unpaired surrogate in a \\u escape");
          pos_ += 12;
          continue;
        }
        pos_ += 6;
        continue;
      }
      if (c < 0x20) return fail(pos_, "control character in a string: it must be escaped");
      if (c >= 0x80) {
        const std::size_t length = utf8_length(s_, pos_);
        if (length == 0) return fail(pos_, "invalid UTF-8 in a string");
        pos_ += length;
        continue;
      }
      ++pos_;
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  std::optional<JsonSyntaxFault> fault_;
};

}  // namespace

std::optional<JsonSyntaxFault> find_json_syntax_error(std::string_view text) { return Checker(text).run(); }

bool is_json_number(std::string_view token) {
  Checker checker(token);
  return checker.number() && checker.at_end();
}

TextPosition text_position(std::string_view text, std::size_t offset) {
  if (offset > text.size()) offset = text.size();
  TextPosition position{1, 1};
  for (std::size_t i = 0; i < offset; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\n') {
      ++position.line;
      position.column = 1;
    } else if ((byte & 0xC0) != 0x80) {
      ++position.column;
    }
  }
  return position;
}

}  // namespace robot_behavior
