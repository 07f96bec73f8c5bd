#include "robot_behavior/number_format.hpp"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

using namespace robot_behavior;

namespace {

std::string json(double value) {
  std::string out;
  append_json_number(out, value);
  return out;
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The digits and the power of ten of the first one, from any decimal text: "-0.0125" and
// "1.25e-2" both give "125" and -2.
std::pair<std::string, int> digits_of(std::string_view text) {
  std::string digits;
  int point = 0;  // digits before the decimal point, leading zeros left out
  bool before_point = true;
  std::size_t i = text[0] == '-' ? 1 : 0;
  for (; i < text.size() && text[i] != 'e'; ++i) {
    if (text[i] == '.') {
      before_point = false;
    } else if (digits.empty() && text[i] == '0') {
      if (!before_point) --point;
    } else {
      digits += text[i];
      if (before_point) ++point;
    }
  }
  const int exponent = i < text.size() ? std::stoi(std::string(text.substr(i + 1))) : 0;
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  return {digits, point - 1 + exponent};
}

}  // namespace

TEST(NumberFormat, DisplayIsShortestPositionalWithoutPointZero) {
  EXPECT_EQ(display(1.0), "1");
  EXPECT_EQ(display(2.0), "2");
  EXPECT_EQ(display(0.5), "0.5");
  EXPECT_EQ(display(0.1), "0.1");
  EXPECT_EQ(display(1.0 / 3.0), "0.3333333333333333");
  EXPECT_EQ(display(1e21), "1000000000000000000000");
  EXPECT_EQ(display(1e-7), "0.0000001");
  EXPECT_EQ(display(-0.0), "-0");
  EXPECT_EQ(display(0.0), "0");
  EXPECT_EQ(display(-12.25), "-12.25");
  EXPECT_EQ(display(kNaN), "NaN");
  EXPECT_EQ(display(kInf), "inf");
  EXPECT_EQ(display(-kInf), "-inf");
}

TEST(NumberFormat, DebugSwitchesToExponentBelow1em4AndFrom1e16) {
  EXPECT_EQ(debug(2.0), "2.0");
  EXPECT_EQ(debug(0.0), "0.0");
  EXPECT_EQ(debug(-0.0), "-0.0");
  EXPECT_EQ(debug(0.0001), "0.0001");
  EXPECT_EQ(debug(0.00001), "1e-5");
  EXPECT_EQ(debug(2.5e-7), "2.5e-7");
  EXPECT_EQ(debug(9999999999999998.0), "9999999999999998.0");
  EXPECT_EQ(debug(1e16), "1e16");
  EXPECT_EQ(debug(1.5e20), "1.5e20");
  EXPECT_EQ(debug(-1.5e20), "-1.5e20");
  EXPECT_EQ(debug(0.1), "0.1");
  EXPECT_EQ(debug(1.57), "1.57");
  EXPECT_EQ(debug(std::numeric_limits<double>::denorm_min()), "5e-324");
  EXPECT_EQ(debug(std::numeric_limits<double>::max()), "1.7976931348623157e308");
  EXPECT_EQ(debug(kNaN), "NaN");
  EXPECT_EQ(debug(-kInf), "-inf");
}

TEST(NumberFormat, JsonKeepsPointZeroAndWritesNonFiniteAsNull) {
  EXPECT_EQ(json(9.0), "9.0");
  EXPECT_EQ(json(20.0), "20.0");
  EXPECT_EQ(json(0.1), "0.1");
  EXPECT_EQ(json(-0.0), "-0.0");
  EXPECT_EQ(json(0.00001), "0.00001");
  EXPECT_EQ(json(0.000001), "1e-6");
  EXPECT_EQ(json(1e15), "1000000000000000.0");
  EXPECT_EQ(json(1e16), "1e16");
  EXPECT_EQ(json(1.5e-7), "1.5e-7");
  EXPECT_EQ(json(kNaN), "null");
  EXPECT_EQ(json(kInf), "null");
  EXPECT_EQ(json(-kInf), "null");
}

TEST(NumberFormat, EveryFormReadsBackToTheSameDouble) {
  const std::array<double, 8> values = {0.1, 1.0 / 3.0, 2.0 / 3.0, 123456.789, 1e-300, 6.02214076e23, M_PI, 5e-324};
  for (const double value : values) {
    EXPECT_EQ(std::strtod(json(value).c_str(), nullptr), value) << json(value);
    EXPECT_EQ(std::strtod(debug(value).c_str(), nullptr), value) << debug(value);
    EXPECT_EQ(std::strtod(display(value).c_str(), nullptr), value) << display(value);
  }
}

TEST(NumberFormat, DebugListJoinsWithCommaBlank) {
  const std::array<double, 6> zeros{};
  EXPECT_EQ(debug_list(zeros), "[0.0, 0.0, 0.0, 0.0, 0.0, 0.0]");
  const std::array<double, 2> two{0.0, 1.5};
  EXPECT_EQ(debug_list(two), "[0.0, 1.5]");
  EXPECT_EQ(debug_list(std::array<double, 0>{}), "[]");
}

// The longest texts of each form: a sign, leading zeros and seventeen digits; sixteen digits
// before the point; three-digit exponents; and the display form's hundreds of zeros.
TEST(NumberFormat, LongestFormsAreWritten) {
  EXPECT_EQ(json(-1.2345678901234567e-5), "-0.000012345678901234568");
  EXPECT_EQ(debug(-1.2345678901234567e-5), "-1.2345678901234568e-5");
  EXPECT_EQ(json(-1.2345678901234567e-4), "-0.00012345678901234567");
  EXPECT_EQ(json(-1234567890123456.8), "-1234567890123456.8");
  EXPECT_EQ(json(-9999999999999998.0), "-9999999999999998.0");
  EXPECT_EQ(json(1.2345678901234568e-300), "1.2345678901234568e-300");
  EXPECT_EQ(json(-std::numeric_limits<double>::max()), "-1.7976931348623157e308");
  EXPECT_EQ(json(-5e-324), "-5e-324");

  const std::string huge = display(-std::numeric_limits<double>::max());
  EXPECT_EQ(huge, "-17976931348623157" + std::string(292, '0'));
  const std::string tiny = display(-5e-324);
  EXPECT_EQ(tiny, "-0." + std::string(323, '0') + "5");
  EXPECT_EQ(display(1.2345678901234568e-300), "0." + std::string(299, '0') + "12345678901234568");
}

TEST(NumberFormat, AppendsAfterWhatIsAlreadyThere) {
  std::string out = "[1.0,";
  append_json_number(out, -2.5);
  out += ',';
  append_json_number(out, kNaN);
  out += ',';
  append_json_number(out, 0.0);
  out += ',';
  append_display(out, 3.0);
  out += ',';
  append_debug(out, 1e-7);
  EXPECT_EQ(out, "[1.0,-2.5,null,0.0,3,1e-7");
}

// The digits are the standard library's shortest round-trip digits, whatever the magnitude:
// random bit patterns over the whole range, integers, the boundaries of the binades.
TEST(NumberFormat, DigitsAreTheShortestRoundTripDigits) {
  std::vector<double> values;
  std::mt19937_64 bits(20261209);
  for (int i = 0; i < 20000; ++i) values.push_back(std::bit_cast<double>(bits()));
  for (int i = 1; i < 2000; ++i) values.insert(values.end(), {i * 1.0, i * 1e4, i / 1e4, i * 0.1});
  for (int e = 1; e < 2047; e += 5) values.push_back(std::bit_cast<double>(std::uint64_t(e) << 52));
  values.insert(values.end(), {5e-324, 2.2250738585072009e-308, 2.2250738585072014e-308, 9007199254740993.0});
  for (const double value : values) {
    if (!std::isfinite(value) || value == 0.0) continue;
    char text[40];
    const char* const end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific).ptr;
    const std::string written = json(value);
    ASSERT_EQ(digits_of(written), digits_of({text, static_cast<std::size_t>(end - text)})) << written;
  }
}
