#pragma once
// The text forms of doubles: one module for the wire, display and debug forms.

#include <cstddef>
#include <string>

namespace robot_behavior {

// JSON wire form: shortest round-trip digits, ".0" on whole values, exponent form
// below 1e-5 and from 1e16 ("1e16", "1.5e-7"), null for NaN and infinities.
void append_json_number(std::string& out, double value);
// "[" + JSON forms joined by "," + "]", written at once.
void append_json_list(std::string& out, const double* values, std::size_t count);

// Display form: shortest round-trip digits, never an exponent, no ".0" on whole
// values ("1", "0.1", "1000000000000000000000", "-0"); "NaN", "inf", "-inf".
void append_display(std::string& out, double value);

// Debug form: like display but whole values keep ".0" and the exponent form is
// used below 1e-4 and from 1e16 ("1.0", "1e-5", "1.5e20"); "NaN", "inf", "-inf".
void append_debug(std::string& out, double value);

std::string display(double value);
std::string debug(double value);

// "[" + debug forms joined by ", " + "]"
void append_debug_list(std::string& out, const double* values, std::size_t count);

template <class Array>
std::string debug_list(const Array& values) {
  std::string out;
  append_debug_list(out, values.data(), values.size());
  return out;
}

}  // namespace robot_behavior
