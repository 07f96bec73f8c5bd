#include "robot_behavior/number_format.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace robot_behavior {
namespace {

// The shortest round-trip digits of a finite, non-zero magnitude and the decimal
// exponent of its first digit: 1234.5 gives "12345" and 3.
struct Digits {
  char digits[24];
  int count;
  int exponent;
};

Digits shortest_digits(double magnitude) {
  char text[40];
  auto [end, ec] = std::to_chars(text, text + sizeof text, magnitude, std::chars_format::scientific);
  (void)ec;  // 40 bytes always hold the shortest scientific form of a double
  Digits result{};
  const char* p = text;
  for (; p != end && *p != 'e'; ++p) {
    if (*p != '.') result.digits[result.count++] = *p;
  }
  // p points at 'e'; from_chars does not accept a leading '+'.
  ++p;
  if (*p == '+') ++p;
  std::from_chars(p, end, result.exponent);
  return result;
}

enum class Style { Json, Display, Debug };

// Positional notation: digits with the decimal point after `exponent + 1` digits.
void append_positional(std::string& out, const Digits& d, bool keep_point_zero) {
  const int point = d.exponent + 1;  // digits before the decimal point
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out.append(d.digits, static_cast<std::size_t>(d.count));
    return;
  }
  if (point >= d.count) {
    out.append(d.digits, static_cast<std::size_t>(d.count));
    out.append(static_cast<std::size_t>(point - d.count), '0');
    if (keep_point_zero) out += ".0";
    return;
  }
  out.append(d.digits, static_cast<std::size_t>(point));
  out += '.';
  out.append(d.digits + point, static_cast<std::size_t>(d.count - point));
}

// Exponent notation without a plus sign or padding: "1e16", "1.5e-7".
void append_exponent(std::string& out, const Digits& d) {
  out += d.digits[0];
  if (d.count > 1) {
    out += '.';
    out.append(d.digits + 1, static_cast<std::size_t>(d.count - 1));
  }
  out += 'e';
  char text[8];
  auto [end, ec] = std::to_chars(text, text + sizeof text, d.exponent);
  (void)ec;
  out.append(text, end);
}

void append_number(std::string& out, double value, Style style) {
  if (std::isnan(value)) {
    out += style == Style::Json ? "null" : "NaN";
    return;
  }
  if (std::isinf(value)) {
    if (style == Style::Json) {
      out += "null";
    } else {
      out += value < 0 ? "-inf" : "inf";
    }
    return;
  }
  if (std::signbit(value)) out += '-';
  const double magnitude = std::fabs(value);
  if (magnitude == 0.0) {
    out += style == Style::Display ? "0" : "0.0";
    return;
  }
  const Digits d = shortest_digits(magnitude);
  switch (style) {
    case Style::Json:  // positional for 1e-5 <= |x| < 1e16
      if (d.exponent >= -5 && d.exponent < 16) {
        append_positional(out, d, true);
      } else {
        append_exponent(out, d);
      }
      break;
    case Style::Debug:  // positional for 1e-4 <= |x| < 1e16
      if (d.exponent >= -4 && d.exponent < 16) {
        append_positional(out, d, true);
      } else {
        append_exponent(out, d);
      }
      break;
    case Style::Display:
      append_positional(out, d, false);
      break;
  }
}

}  // namespace

void append_json_number(std::string& out, double value) { append_number(out, value, Style::Json); }
void append_display(std::string& out, double value) { append_number(out, value, Style::Display); }
void append_debug(std::string& out, double value) { append_number(out, value, Style::Debug); }

std::string display(double value) {
  std::string out;
  append_display(out, value);
  return out;
}

std::string debug(double value) {
  std::string out;
  append_debug(out, value);
  return out;
}

void append_debug_list(std::string& out, const double* values, std::size_t count) {
  out += '[';
  for (std::size_t index = 0; index < count; ++index) {
    if (index != 0) out += ", ";
    append_debug(out, values[index]);
  }
  out += ']';
}

}  // namespace robot_behavior
