#pragma once
// The one walker over JSON text. Fed bytes as they come, in any pieces, it tells whether
// what it has seen is one complete JSON value, the beginning of one, or something that can
// never become one, and where. It checks the whole grammar (UTF-8 inside strings included)
// but builds nothing: a parser reads the value once it is complete.
//
// Its users: the transport (how long to wait for a reply split across reads), the path-file
// and pose-text messages (what is wrong, and at which byte), and the simulator's framing
// (where one request ends in a byte stream without terminators).

#include <array>
#include <cstddef>
#include <cstdint>

namespace robot_behavior {

class JsonScanner {
 public:
  enum class Status : std::uint8_t {
    NeedMore,  // a proper prefix of a JSON value (or only whitespace so far)
    Complete,  // a whole value has been seen; end() is just past it, later bytes are not read
    Invalid,   // a byte that cannot begin or continue a JSON value
  };

  // Why a text was found Invalid, in a parser's categories.
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
    Depth,      // nested deeper than the scanner's bound
  };

  // The first thing wrong with the text, as a person is told it, with its place.
  enum class Problem : std::uint8_t {
    None,
    ExpectedValue,      // a value must begin here
    ExpectedName,       // a member name in double quotes must come here
    ExpectedColon,      // ':' must follow a member name
    ExpectedItemEnd,    // ',' or ']' must follow an array item
    ExpectedMemberEnd,  // ',' or '}' must follow an object member
    Number,             // at the number's first byte (a word character glued to it included)
    Literal,            // at the first letter of a misspelt true, false or null
    Escape,             // at the backslash
    UnicodeEscape,      // \u without four hex digits, at the backslash
    LoneSurrogate,      // a \u escape of half a surrogate pair, at its backslash
    Control,            // a control character inside a string
    Utf8,               // at the first byte of the character that is not UTF-8
    Unterminated,       // a string the text ends in, at its opening quote
    Depth,              // at the bracket one level too deep
  };
  struct Place {
    Problem problem;
    std::size_t at;  // byte offset from the first byte fed (the text's size: its end)
  };

  static constexpr std::size_t kMaxDepth = 1024;

  // Arrays and objects may nest `max_depth` deep (at most kMaxDepth). With `skim`, a fault
  // inside the outermost container does not end the scan: the scanner notes the first one
  // and follows strings and brackets on, to find where the faulty value ends, refusing only
  // a byte that can stand nowhere in JSON there (outside a string: anything but whitespace,
  // brackets, quotes and the bytes of numbers and literals; inside one: a control character)
  // or a closing bracket of the wrong kind. A framer uses it to cut out a faulty request.
  explicit JsonScanner(std::size_t max_depth = kMaxDepth, bool skim = false) noexcept;

  // Forgets the text, keeps the settings.
  void reset() noexcept;

  // Scans the next bytes of the text. Once Complete or Invalid, the status stays and no
  // further byte is read.
  Status feed(const char* data, std::size_t size) noexcept;

  // The end of a read ends a top-level number ("12" is complete when nothing follows it).
  Status end_of_read() noexcept;

  // The text has ended: a value not yet complete is Invalid, with the place of its fault.
  Status finish() noexcept;

  Status status() const noexcept { return status_; }
  Fault fault() const noexcept { return fault_; }
  // Complete: the offset just past the value (a top-level number ends before the byte that
  // ended it).
  std::size_t end() const noexcept { return end_; }
  // The first problem found, None while there is none. A lone surrogate in a \u escape is
  // noted here and nowhere else: JSON's grammar allows it, so the status stays as it was;
  // a parser refuses it.
  Place place() const noexcept { return {problem_, problem_at_}; }

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
    Skim,           // after a fault, with `skim`: following brackets outside strings
    SkimString,
    SkimEscape,
  };

  Status to(State next) noexcept {
    state_ = next;
    return Status::NeedMore;
  }
  Status step(unsigned char byte) noexcept;
  Status skim(unsigned char byte) noexcept;
  Status begin_value(unsigned char byte) noexcept;
  Status begin_literal(const char* rest, Fault fault) noexcept;
  Status end_value() noexcept;
  Status open(bool object) noexcept;
  Status close(bool object) noexcept;
  bool in_object() const noexcept;
  void push(bool object) noexcept;
  Status fail(Fault fault, unsigned char byte) noexcept;
  Problem problem_of(Fault fault, unsigned char byte, std::size_t& at) const noexcept;
  void note(Problem problem, std::size_t at) noexcept;

  // Settings.
  std::uint16_t max_depth_;
  bool skim_;
  // The scan.
  Status status_ = Status::NeedMore;
  Fault fault_ = Fault::None;
  State state_ = State::Value;
  bool key_ = false;                  // the string being scanned is an object key
  bool need_low_ = false;             // a high surrogate's escape was the last thing in the string
  bool low_half_ = false;             // the \u escape being read must be a low surrogate
  std::uint8_t pending_ = 0;          // hex digits or continuation bytes still expected
  unsigned char utf8_low_ = 0x80;     // range of the next continuation byte
  unsigned char utf8_high_ = 0xbf;
  Fault literal_fault_ = Fault::None;
  Fault word_fault_ = Fault::None;    // Number or the literal's fault: what the last word was
  Problem problem_ = Problem::None;
  std::uint16_t code_ = 0;            // the \u escape's value so far
  std::uint16_t depth_ = 0;
  const char* literal_ = nullptr;     // the rest of true/false/null still expected
  std::size_t offset_ = 0;            // of the byte being scanned
  std::size_t end_ = 0;
  std::size_t token_ = 0;             // first byte of the number, literal, escape or character
  std::size_t string_at_ = 0;         // opening quote of the string being scanned
  std::size_t high_at_ = 0;           // backslash of the high surrogate awaiting its pair
  std::size_t word_end_ = SIZE_MAX;   // just past the last number or literal
  std::size_t problem_at_ = 0;
  std::array<std::uint64_t, kMaxDepth / 64> objects_{};  // bit per level: object or array
};

}  // namespace robot_behavior
