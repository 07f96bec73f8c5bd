#include "network/json_scanner.hpp"

namespace orvek {
namespace {

bool is_space(unsigned char byte) { return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r'; }
bool is_digit(unsigned char byte) { return byte >= '0' && byte <= '9'; }
bool is_hex(unsigned char byte) {
  return is_digit(byte) || (byte >= 'a' && byte <= 'f') || (byte >= 'A' && byte <= 'F');
}

}  // namespace

void JsonScanner::reset() noexcept { *this = JsonScanner{}; }

JsonScanner::Status JsonScanner::feed(const char* data, std::size_t size) noexcept {
  for (std::size_t i = 0; i < size && status_ == Status::NeedMore; ++i) {
    status_ = step(static_cast<unsigned char>(data[i]));
  }
  return status_;
}

JsonScanner::Status JsonScanner::end_of_read() noexcept {
  if (status_ != Status::NeedMore || depth_ != 0) return status_;
  switch (state_) {
    case State::Zero:
    case State::Integer:
    case State::Fraction:
    case State::Exponent:
      status_ = Status::Complete;
      break;
    default:
      break;
  }
  return status_;
}

bool JsonScanner::in_object() const noexcept {
  const std::size_t level = depth_ - 1;
  return (objects_[level / 64] >> (level % 64)) & 1u;
}

JsonScanner::Status JsonScanner::open(bool object) noexcept {
  if (depth_ == kMaxDepth) return fail(Fault::Depth);
  const std::uint64_t bit = std::uint64_t{1} << (depth_ % 64);
  if (object) {
    objects_[depth_ / 64] |= bit;
  } else {
    objects_[depth_ / 64] &= ~bit;
  }
  ++depth_;
  state_ = object ? State::ObjectFirst : State::ArrayFirst;
  return Status::NeedMore;
}

JsonScanner::Status JsonScanner::close(bool object) noexcept {
  if (depth_ == 0 || in_object() != object) return fail(Fault::Structure);
  --depth_;
  return end_value();
}

// A value has ended: at the top level the text is complete, inside a container a comma or
// the closing bracket must follow.
JsonScanner::Status JsonScanner::end_value() noexcept {
  if (depth_ == 0) return Status::Complete;
  state_ = State::AfterValue;
  return Status::NeedMore;
}

JsonScanner::Status JsonScanner::begin_literal(const char* rest, Fault fault) noexcept {
  literal_ = rest;
  literal_fault_ = fault;
  state_ = State::Literal;
  return Status::NeedMore;
}

JsonScanner::Status JsonScanner::begin_value(unsigned char byte) noexcept {
  switch (byte) {
    case '{': return open(true);
    case '[': return open(false);
    case '"':
      key_ = false;
      state_ = State::String;
      return Status::NeedMore;
    case '-': state_ = State::Minus; return Status::NeedMore;
    case '0': state_ = State::Zero; return Status::NeedMore;
    case 't': return begin_literal("rue", Fault::True);
    case 'f': return begin_literal("alse", Fault::False);
    case 'n': return begin_literal("ull", Fault::Null);
    default:
      if (byte >= '1' && byte <= '9') {
        state_ = State::Integer;
        return Status::NeedMore;
      }
      return fail(Fault::Structure);
  }
}

JsonScanner::Status JsonScanner::step(unsigned char byte) noexcept {
  switch (state_) {
    case State::Value:
      if (is_space(byte)) return Status::NeedMore;
      return begin_value(byte);

    case State::ArrayFirst:
      if (is_space(byte)) return Status::NeedMore;
      if (byte == ']') return close(false);
      return begin_value(byte);

    case State::ObjectFirst:
    case State::Key:
      if (is_space(byte)) return Status::NeedMore;
      if (byte == '}' && state_ == State::ObjectFirst) return close(true);
      if (byte != '"') return fail(Fault::Structure);
      key_ = true;
      state_ = State::String;
      return Status::NeedMore;

    case State::Colon:
      if (is_space(byte)) return Status::NeedMore;
      if (byte != ':') return fail(Fault::Structure);
      state_ = State::Value;
      return Status::NeedMore;

    case State::AfterValue:
      if (is_space(byte)) return Status::NeedMore;
      if (byte == ',') {
        state_ = in_object() ? State::Key : State::Value;
        return Status::NeedMore;
      }
      if (byte == '}' || byte == ']') return close(byte == '}');
      return fail(Fault::Structure);

    case State::String:
      if (byte == '"') {
        if (key_) {
          state_ = State::Colon;
          return Status::NeedMore;
        }
        return end_value();
      }
      if (byte == '\\') {
        state_ = State::Escape;
        return Status::NeedMore;
      }
      if (byte < 0x20) return fail(Fault::Control);
      if (byte < 0x80) return Status::NeedMore;
      // The lead byte of a multi-byte character fixes how many continuation bytes follow
      // and the range of the first one (no overlong forms, no surrogates, nothing above
      // U+10FFFF).
      utf8_low_ = 0x80;
      utf8_high_ = 0xbf;
      if (byte >= 0xc2 && byte <= 0xdf) {
        pending_ = 1;
      } else if (byte >= 0xe0 && byte <= 0xef) {
        pending_ = 2;
        if (byte == 0xe0) utf8_low_ = 0xa0;
        if (byte == 0xed) utf8_high_ = 0x9f;
      } else if (byte >= 0xf0 && byte <= 0xf4) {
        pending_ = 3;
        if (byte == 0xf0) utf8_low_ = 0x90;
        if (byte == 0xf4) utf8_high_ = 0x8f;
      } else {
        return fail(Fault::Utf8);
      }
      state_ = State::Utf8;
      return Status::NeedMore;

    case State::Utf8:
      if (byte < utf8_low_ || byte > utf8_high_) return fail(Fault::Utf8);
      utf8_low_ = 0x80;
      utf8_high_ = 0xbf;
      if (--pending_ == 0) state_ = State::String;
      return Status::NeedMore;

    case State::Escape:
      switch (byte) {
        case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't':
          state_ = State::String;
          return Status::NeedMore;
        case 'u':
          pending_ = 4;
          state_ = State::Unicode;
          return Status::NeedMore;
        default:
          return fail(Fault::Escape);
      }

    case State::Unicode:
      if (!is_hex(byte)) return fail(Fault::Escape);
      if (--pending_ == 0) state_ = State::String;
      return Status::NeedMore;

    case State::Minus:
      if (byte == '0') {
        state_ = State::Zero;
        return Status::NeedMore;
      }
      if (!is_digit(byte)) return fail(Fault::Number);
      state_ = State::Integer;
      return Status::NeedMore;

    case State::Integer:
      if (is_digit(byte)) return Status::NeedMore;
      [[fallthrough]];
    case State::Zero:
      if (byte == '.') {
        state_ = State::FractionFirst;
        return Status::NeedMore;
      }
      if (byte == 'e' || byte == 'E') {
        state_ = State::ExponentFirst;
        return Status::NeedMore;
      }
      break;  // the number has ended; the byte belongs to what follows

    case State::FractionFirst:
      if (!is_digit(byte)) return fail(Fault::Number);
      state_ = State::Fraction;
      return Status::NeedMore;

    case State::Fraction:
      if (is_digit(byte)) return Status::NeedMore;
      if (byte == 'e' || byte == 'E') {
        state_ = State::ExponentFirst;
        return Status::NeedMore;
      }
      break;

    case State::ExponentFirst:
      if (byte == '+' || byte == '-') {
        state_ = State::ExponentSign;
        return Status::NeedMore;
      }
      [[fallthrough]];
    case State::ExponentSign:
      if (!is_digit(byte)) return fail(Fault::Number);
      state_ = State::Exponent;
      return Status::NeedMore;

    case State::Exponent:
      if (is_digit(byte)) return Status::NeedMore;
      break;

    case State::Literal:
      if (byte != static_cast<unsigned char>(*literal_)) return fail(literal_fault_);
      if (*++literal_ == '\0') return end_value();
      return Status::NeedMore;
  }

  // A number ended at `byte`. At the top level the value is complete; inside a container
  // the byte must continue it.
  if (end_value() == Status::Complete) return Status::Complete;
  return step(byte);
}

}  // namespace orvek
