#include "robot_behavior/number_format.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <system_error>

#include <fmt/format.h>

namespace robot_behavior {
namespace {

// The shortest round-trip digits of a finite, non-zero magnitude and the decimal
// exponent of its first digit: 1234.5 gives "12345" and 3. The digits stay in the
// formatter they were written by, which is made in place: a copy would point into the
// original.
struct Digits {
  std::optional<fmt::format_int> text;
  const char* digits = nullptr;
  int count = 0;
  int exponent = 0;

  Digits() = default;
  Digits(const Digits&) = delete;
  Digits& operator=(const Digits&) = delete;
};

// fmt's Dragonbox gives the same shortest, nearest digits as std::to_chars (a significand
// without trailing zeros and its power of ten) in a third of the instructions, which counts
// where a servo target carries six numbers every cycle. It lives in fmt's detail namespace:
// a release that moves it fails to compile here, it cannot write other digits.
void shortest_digits(double magnitude, Digits& d) {
  const auto decimal = fmt::detail::dragonbox::to_decimal(magnitude);
  const fmt::format_int& text = d.text.emplace(decimal.significand);
  d.digits = text.data();
  d.count = static_cast<int>(text.size());
  d.exponent = decimal.exponent + d.count - 1;
}

enum class Style { Json, Display, Debug };

// The longest text written: a sign, "0.", four or five zeros and 17 digits; or 17 digits,
// up to 15 zeros and ".0"; or the exponent form. Each writer returns the end of its text.
constexpr std::size_t kMaxText = 48;

char* put(char* p, const char* from, int count) {
  std::memcpy(p, from, static_cast<std::size_t>(count));
  return p + count;
}

char* put_zeros(char* p, int count) {
  std::memset(p, '0', static_cast<std::size_t>(count));
  return p + count;
}

// Positional notation: digits with the decimal point after `exponent + 1` digits.
char* put_positional(char* p, const Digits& d, bool keep_point_zero) {
  const int point = d.exponent + 1;  // digits before the decimal point
  if (point <= 0) {
    *p++ = '0';
    *p++ = '.';
    p = put_zeros(p, -point);
    return put(p, d.digits, d.count);
  }
  if (point >= d.count) {
    p = put(p, d.digits, d.count);
    p = put_zeros(p, point - d.count);
    if (keep_point_zero) {
      *p++ = '.';
      *p++ = '0';
    }
    return p;
  }
  p = put(p, d.digits, point);
  *p++ = '.';
  return put(p, d.digits + point, d.count - point);
}

// Exponent notation without a plus sign or padding: "1e16", "1.5e-7".
char* put_exponent(char* p, const Digits& d) {
  *p++ = d.digits[0];
  if (d.count > 1) {
    *p++ = '.';
    p = put(p, d.digits + 1, d.count - 1);
  }
  *p++ = 'e';
  return std::to_chars(p, p + 8, d.exponent).ptr;
}

// Positional notation for any exponent, without ".0" (the display form of very large and
// very small magnitudes), appended piece by piece.
void append_positional_long(std::string& out, const Digits& d) {
  const int point = d.exponent + 1;
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-point), '0');
    out.append(d.digits, static_cast<std::size_t>(d.count));
  } else if (point >= d.count) {
    out.append(d.digits, static_cast<std::size_t>(d.count));
    out.append(static_cast<std::size_t>(point - d.count), '0');
  } else {
    out.append(d.digits, static_cast<std::size_t>(point));
    out += '.';
    out.append(d.digits + point, static_cast<std::size_t>(d.count - point));
  }
}

char* put_text(char* p, std::string_view text) { return put(p, text.data(), static_cast<int>(text.size())); }

// Writes the form of `value` at `p`, at most kMaxText bytes, and returns its end. A display
// form too long for that (below 1e-5 or from 1e16) is left after its sign: `long_form` is set
// and `d` holds the digits for append_positional_long.
char* put_number(char* p, double value, Style style, Digits& d, bool& long_form) {
  long_form = false;
  if (std::isnan(value)) return put_text(p, style == Style::Json ? "null" : "NaN");
  if (std::isinf(value)) return put_text(p, style == Style::Json ? "null" : value < 0 ? "-inf" : "inf");
  if (std::signbit(value)) *p++ = '-';
  const double magnitude = std::fabs(value);
  if (magnitude == 0.0) {
    *p++ = '0';
    if (style != Style::Display) {
      *p++ = '.';
      *p++ = '0';
    }
    return p;
  }
  shortest_digits(magnitude, d);
  switch (style) {
    case Style::Json:  // positional for 1e-5 <= |x| < 1e16
      return d.exponent >= -5 && d.exponent < 16 ? put_positional(p, d, true) : put_exponent(p, d);
    case Style::Debug:  // positional for 1e-4 <= |x| < 1e16
      return d.exponent >= -4 && d.exponent < 16 ? put_positional(p, d, true) : put_exponent(p, d);
    case Style::Display:
      // Positional whatever the exponent: 1e300 is 1 and 300 zeros.
      if (d.exponent >= -5 && d.exponent < 16) return put_positional(p, d, false);
      long_form = true;
      return p;
  }
  return p;
}

// Every form is composed in a local buffer and appended at once: one capacity check per
// number instead of one per piece.
void append_number(std::string& out, double value, Style style) {
  char text[kMaxText];
  Digits d;
  bool long_form = false;
  const char* const end = put_number(text, value, style, d, long_form);
  out.append(text, static_cast<std::size_t>(end - text));
  if (long_form) append_positional_long(out, d);
}

}  // namespace

void append_json_number(std::string& out, double value) { append_number(out, value, Style::Json); }

void append_json_list(std::string& out, const double* values, std::size_t count) {
  const std::size_t start = out.size();
  // Written in place: one capacity check for the whole list, none per number or comma.
  out.resize_and_overwrite(start + 2 + count * (kMaxText + 1), [&](char* text, std::size_t) {
    char* p = text + start;
    *p++ = '[';
    Digits d;
    bool long_form = false;  // never set by the JSON form
    for (std::size_t index = 0; index < count; ++index) {
      if (index != 0) *p++ = ',';
      p = put_number(p, values[index], Style::Json, d, long_form);
    }
    *p++ = ']';
    return static_cast<std::size_t>(p - text);
  });
}
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
