#include "json_syntax.hpp"

#include <utility>

namespace robot_behavior {
namespace {

using Problem = JsonScanner::Problem;

bool is_word_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '.' ||
         c == '+' || c == '-';
}

// The character at `at`, for "found ..." in a message.
std::string found(std::string_view s, std::size_t at) {
  if (at >= s.size()) return "the end of the text";
  const auto c = static_cast<unsigned char>(s[at]);
  if (c >= 0x80) return "a non-ASCII character";
  if (c < 0x20 || c == 0x7f) return "a control character";
  return std::string("'") + s[at] + "'";
}

JsonSyntaxFault fail(std::size_t at, std::string message) { return JsonSyntaxFault{at, std::move(message)}; }

JsonSyntaxFault message(std::string_view s, JsonScanner::Place place) {
  const std::size_t at = place.at;
  switch (place.problem) {
    case Problem::None:
    case Problem::ExpectedValue: return fail(at, "expected a JSON value, found " + found(s, at));
    case Problem::ExpectedName: return fail(at, "expected a member name in double quotes, found " + found(s, at));
    case Problem::ExpectedColon: return fail(at, "expected ':' after a member name, found " + found(s, at));
    case Problem::ExpectedItemEnd: return fail(at, "expected ',' or ']' after an array item, found " + found(s, at));
    case Problem::ExpectedMemberEnd: return fail(at, "expected ',' or '}' after an object member, found " + found(s, at));
    case Problem::Number: return fail(at, "invalid number");
    case Problem::Literal: return fail(at, "invalid literal: expected true, false or null");
    case Problem::Escape: return fail(at, "invalid escape in a string");
    case Problem::UnicodeEscape: return fail(at, "invalid \\u escape in a string: expected four hex digits");
    case Problem::LoneSurrogate: return fail(at, "unpaired surrogate in a \\u escape");
    case Problem::Control: return fail(at, "control character in a string: it must be escaped");
    case Problem::Utf8: return fail(at, "invalid UTF-8 in a string");
    case Problem::Unterminated: return fail(at, "unterminated string");
    case Problem::Depth: return fail(at, "arrays and objects nested deeper than " + std::to_string(kMaxJsonDepth));
  }
  std::unreachable();
}

}  // namespace

std::optional<JsonSyntaxFault> find_json_syntax_error(std::string_view text) {
  JsonScanner scanner;
  scanner.feed(text.data(), text.size());
  scanner.finish();
  if (scanner.place().problem != Problem::None) return message(text, scanner.place());
  // One whole value: a number or literal must not run on into a word, and only whitespace
  // may follow.
  std::size_t start = 0;
  while (start < text.size() && is_json_space(text[start])) ++start;
  std::size_t at = scanner.end();
  if (at < text.size() && is_word_char(text[at])) {
    const char first = text[start];  // the value's first byte
    if (first == '-' || (first >= '0' && first <= '9')) return fail(start, "invalid number");
    if (first == 't' || first == 'f' || first == 'n') return fail(start, "invalid literal: expected true, false or null");
  }
  while (at < text.size() && is_json_space(text[at])) ++at;
  if (at < text.size()) return fail(at, "trailing characters after the JSON value");
  return std::nullopt;
}

bool is_json_number(std::string_view token) {
  if (token.empty() || !(token[0] == '-' || (token[0] >= '0' && token[0] <= '9'))) return false;
  JsonScanner scanner;
  scanner.feed(token.data(), token.size());
  return scanner.finish() == JsonScanner::Status::Complete && scanner.end() == token.size();
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
