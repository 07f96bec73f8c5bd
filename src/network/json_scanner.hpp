#pragma once
// Tells, byte by byte and across reads, whether what has arrived so far is one complete
// JSON value, the beginning of one, or something that can never become one. It checks the
// grammar (including UTF-8 inside strings) but builds nothing; the parser reads the value
// once it is complete.

#include <array>
#include <cstddef>
#include <cstdint>

namespace orvek {

class JsonScanner {
 public:
  enum class Status : std::uint8_t {
    NeedMore,  // a proper prefix of a JSON value (or only whitespace so far)
    Complete,  // a whole value has been seen; bytes after it are the parser's business
    Invalid,   // a byte that cannot begin or continue a JSON value
  };

  // Why a text was found Invalid, in the parser's categories.
  enum class Fault : std::uint8_t {
    None,
    Structure,  // a byte out of place: no value may begin or continue with it
    Number,     // a malformed number
    Escape,     // a malformed escape in a string
    Control,    // a control character inside a string
    Utf8,       // bytes that are not UTF-8 inside a string
    True,       // a misspelt true, false or null
    False,
    Null,
    Depth,      // nested deeper than kMaxDepth
  };

  // Containers nested deeper than this are refused as the parser would refuse them.
  static constexpr std::size_t kMaxDepth = 1024;

  void reset() noexcept;

  // Scans the next bytes of the text. Once Complete or Invalid, the status stays.
  Status feed(const char* data, std::size_t size) noexcept;

  // The end of a read ends a top-level number ("12" is complete when nothing follows it).
  Status end_of_read() noexcept;

  Status status() const noexcept { return status_; }
  Fault fault() const noexcept { return fault_; }

 private:
  enum class State : std::uint8_t {
    Value,        // a value must follow (top level, after ':' or ',' in an array)
    ArrayFirst,   // after '[': a value or ']'
    ObjectFirst,  // after '{': a key or '}'
    Key,          // after ',' in an object: a key
    Colon,        // after a key
    AfterValue,   // inside a container after a value: ',' or the closing bracket
    String,
    Escape,
    Unicode,      // inside \uXXXX, `pending_` hex digits to go
    Utf8,         // inside a multi-byte character, `pending_` continuation bytes to go
    Minus,        // '-' seen, a digit must follow
    Zero,         // a leading 0: '.', 'e' or the end may follow
    Integer,
    FractionFirst,
    Fraction,
    ExponentFirst,  // after 'e': a sign or a digit
    ExponentSign,   // after the sign: a digit
    Exponent,
    Literal,        // inside true, false or null
  };

  Status step(unsigned char byte) noexcept;
  Status begin_value(unsigned char byte) noexcept;
  Status begin_literal(const char* rest, Fault fault) noexcept;
  Status end_value() noexcept;
  Status open(bool object) noexcept;
  Status close(bool object) noexcept;
  bool in_object() const noexcept;
  Status fail(Fault fault) noexcept {
    fault_ = fault;
    return Status::Invalid;
  }

  Status status_ = Status::NeedMore;
  Fault fault_ = Fault::None;
  State state_ = State::Value;
  bool key_ = false;                  // the string being scanned is an object key
  std::uint8_t pending_ = 0;          // hex digits or continuation bytes still expected
  unsigned char utf8_low_ = 0x80;     // range of the next continuation byte
  unsigned char utf8_high_ = 0xbf;
  const char* literal_ = nullptr;     // the rest of true/false/null still expected
  Fault literal_fault_ = Fault::None;
  std::size_t depth_ = 0;
  std::array<std::uint64_t, kMaxDepth / 64> objects_{};  // bit per level: object or array
};

}  // namespace orvek
