#include "robot_behavior/json_scanner.hpp"

namespace robot_behavior {
namespace {

bool is_space(unsigned char byte) { return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\r'; }
bool is_digit(unsigned char byte) { return byte >= '0' && byte <= '9'; }
int hex_value(unsigned char byte) {
  if (is_digit(byte)) return byte - '0';
  if (byte >= 'a' && byte <= 'f') return byte - 'a' + 10;
  if (byte >= 'A' && byte <= 'F') return byte - 'A' + 10;
  return -1;
}

// A byte that, glued to a number or a literal, makes the whole word wrong rather than the
// byte out of place.
bool is_word(unsigned char byte) {
  return is_digit(byte) || (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte == '_' ||
         byte == '.' || byte == '+' || byte == '-';
}

// A byte that may stand outside strings somewhere in JSON: whitespace, punctuation, and the
// bytes of numbers and of true, false and null.
bool is_bare(unsigned char byte) {
  if (is_space(byte) || is_digit(byte)) return true;
  switch (byte) {
    case ':': case ',': case '-': case '+': case '.':
    case 'e': case 'E': case 't': case 'r': case 'u': case 'f':
    case 'a': case 'l': case 's': case 'n':
      return true;
    default:
      return false;
  }
}

}  // namespace

JsonScanner::JsonScanner(std::size_t max_depth, bool skim) noexcept
    : max_depth_(static_cast<std::uint16_t>(max_depth < kMaxDepth ? max_depth : kMaxDepth)), skim_(skim) {}

void JsonScanner::reset() noexcept { *this = JsonScanner(max_depth_, skim_); }

JsonScanner::Status JsonScanner::feed(const char* data, std::size_t size) noexcept {
  for (std::size_t i = 0; i < size && status_ == Status::NeedMore; ++i, ++offset_) {
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
      end_ = offset_;
      status_ = Status::Complete;
      break;
    default:
      break;
  }
  return status_;
}

JsonScanner::Status JsonScanner::finish() noexcept {
  if (end_of_read() != Status::NeedMore) return status_;
  if (need_low_ || low_half_) note(Problem::LoneSurrogate, high_at_);
  Fault fault = Fault::Structure;
  Problem problem = Problem::None;
  std::size_t at = token_;
  switch (state_) {
    case State::Value:
    case State::ArrayFirst: problem = Problem::ExpectedValue; at = offset_; break;
    case State::ObjectFirst:
    case State::Key: problem = Problem::ExpectedName; at = offset_; break;
    case State::Colon: problem = Problem::ExpectedColon; at = offset_; break;
    case State::Zero:
    case State::Integer:
    case State::Fraction:
    case State::Exponent:  // a number inside a container has ended: its container has not
    case State::AfterValue:
      problem = in_object() ? Problem::ExpectedMemberEnd : Problem::ExpectedItemEnd;
      at = offset_;
      break;
    case State::String: problem = Problem::Unterminated; at = string_at_; break;
    case State::Escape: fault = Fault::Escape; problem = Problem::Escape; break;
    case State::Unicode: fault = Fault::Escape; problem = Problem::UnicodeEscape; break;
    case State::Utf8: fault = Fault::Utf8; problem = Problem::Utf8; break;
    case State::Minus:
    case State::FractionFirst:
    case State::ExponentFirst:
    case State::ExponentSign: fault = Fault::Number; problem = Problem::Number; break;
    case State::Literal: fault = literal_fault_; problem = Problem::Literal; break;
    case State::Skim:
    case State::SkimString:
    case State::SkimEscape: break;  // the fault that started the skim is the one to report
  }
  if (fault_ == Fault::None) fault_ = fault;
  note(problem, at);
  status_ = Status::Invalid;
  return status_;
}

void JsonScanner::note(Problem problem, std::size_t at) noexcept {
  if (problem_ != Problem::None) return;
  problem_ = problem;
  problem_at_ = at;
}

bool JsonScanner::in_object() const noexcept {
  const std::size_t level = depth_ - 1u;
  return (objects_[level / 64] >> (level % 64)) & 1u;
}

void JsonScanner::push(bool object) noexcept {
  const std::uint64_t bit = std::uint64_t{1} << (depth_ % 64);
  if (object) {
    objects_[depth_ / 64] |= bit;
  } else {
    objects_[depth_ / 64] &= ~bit;
  }
  ++depth_;
}

JsonScanner::Status JsonScanner::open(bool object) noexcept {
  if (depth_ == max_depth_) return fail(Fault::Depth, object ? '{' : '[');
  push(object);
  return to(object ? State::ObjectFirst : State::ArrayFirst);
}

JsonScanner::Status JsonScanner::close(bool object) noexcept {
  if (depth_ == 0 || in_object() != object) return fail(Fault::Structure, object ? '}' : ']');
  --depth_;
  return end_value();
}

// A value has ended: at the top level the text is complete, inside a container a comma or
// the closing bracket must follow.
JsonScanner::Status JsonScanner::end_value() noexcept {
  if (depth_ == 0) {
    end_ = offset_ + 1;
    return Status::Complete;
  }
  return to(State::AfterValue);
}

JsonScanner::Status JsonScanner::begin_literal(const char* rest, Fault fault) noexcept {
  literal_ = rest;
  literal_fault_ = fault;
  return to(State::Literal);
}

JsonScanner::Status JsonScanner::begin_value(unsigned char byte) noexcept {
  token_ = offset_;
  switch (byte) {
    case '{': return open(true);
    case '[': return open(false);
    case '"':
      key_ = false;
      string_at_ = offset_;
      return to(State::String);
    case '-': return to(State::Minus);
    case '0': return to(State::Zero);
    case 't': return begin_literal("rue", Fault::True);
    case 'f': return begin_literal("alse", Fault::False);
    case 'n': return begin_literal("ull", Fault::Null);
    default:
      if (byte >= '1' && byte <= '9') return to(State::Integer);
      return fail(Fault::Structure, byte);
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
      if (byte != '"') return fail(Fault::Structure, byte);
      key_ = true;
      string_at_ = offset_;
      return to(State::String);

    case State::Colon:
      if (is_space(byte)) return Status::NeedMore;
      if (byte != ':') return fail(Fault::Structure, byte);
      return to(State::Value);

    case State::AfterValue:
      if (is_space(byte)) return Status::NeedMore;
      if (byte == ',') return to(in_object() ? State::Key : State::Value);
      if (byte == '}' || byte == ']') return close(byte == '}');
      return fail(Fault::Structure, byte);

    case State::String:
      if (need_low_ && byte != '\\') {
        need_low_ = false;
        note(Problem::LoneSurrogate, high_at_);
      }
      if (byte == '"') return key_ ? to(State::Colon) : end_value();
      if (byte == '\\') {
        token_ = offset_;
        return to(State::Escape);
      }
      if (byte < 0x20) return fail(Fault::Control, byte);
      if (byte < 0x80) return Status::NeedMore;
      // The lead byte of a multi-byte character fixes how many continuation bytes follow
      // and the range of the first one (no overlong forms, no surrogates, nothing above
      // U+10FFFF).
      token_ = offset_;
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
        return fail(Fault::Utf8, byte);
      }
      return to(State::Utf8);

    case State::Utf8:
      if (byte < utf8_low_ || byte > utf8_high_) return fail(Fault::Utf8, byte);
      utf8_low_ = 0x80;
      utf8_high_ = 0xbf;
      if (--pending_ == 0) state_ = State::String;
      return Status::NeedMore;

    case State::Escape:
      if (need_low_) {  // after a high surrogate, only the escape of a low one will do
        need_low_ = false;
        if (byte == 'u') {
          low_half_ = true;
        } else {
          note(Problem::LoneSurrogate, high_at_);
        }
      }
      switch (byte) {
        case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't':
          return to(State::String);
        case 'u':
          pending_ = 4;
          code_ = 0;
          return to(State::Unicode);
        default:
          return fail(Fault::Escape, byte);
      }

    case State::Unicode: {
      const int digit = hex_value(byte);
      if (digit < 0) {
        if (low_half_) {
          low_half_ = false;
          note(Problem::LoneSurrogate, high_at_);
        }
        return fail(Fault::Escape, byte);
      }
      code_ = static_cast<std::uint16_t>(code_ * 16 + digit);
      if (--pending_ != 0) return Status::NeedMore;
      state_ = State::String;
      const bool high = code_ >= 0xd800 && code_ <= 0xdbff;
      const bool low = code_ >= 0xdc00 && code_ <= 0xdfff;
      if (low_half_) {
        low_half_ = false;
        if (!low) note(Problem::LoneSurrogate, high_at_);
      } else if (high) {
        need_low_ = true;
        high_at_ = token_;
      } else if (low) {
        note(Problem::LoneSurrogate, token_);
      }
      return Status::NeedMore;
    }

    case State::Minus:
      if (byte == '0') return to(State::Zero);
      return is_digit(byte) ? to(State::Integer) : fail(Fault::Number, byte);

    case State::Integer:
      if (is_digit(byte)) return Status::NeedMore;
      [[fallthrough]];
    case State::Zero:
      if (byte == '.') return to(State::FractionFirst);
      if (byte == 'e' || byte == 'E') return to(State::ExponentFirst);
      break;  // the number has ended; the byte belongs to what follows

    case State::FractionFirst:
      return is_digit(byte) ? to(State::Fraction) : fail(Fault::Number, byte);

    case State::Fraction:
      if (is_digit(byte)) return Status::NeedMore;
      if (byte == 'e' || byte == 'E') return to(State::ExponentFirst);
      break;

    case State::ExponentFirst:
      if (byte == '+' || byte == '-') return to(State::ExponentSign);
      [[fallthrough]];
    case State::ExponentSign:
      return is_digit(byte) ? to(State::Exponent) : fail(Fault::Number, byte);

    case State::Exponent:
      if (is_digit(byte)) return Status::NeedMore;
      break;

    case State::Literal:
      if (byte != static_cast<unsigned char>(*literal_)) return fail(literal_fault_, byte);
      if (*++literal_ != '\0') return Status::NeedMore;
      word_end_ = offset_ + 1;
      word_fault_ = literal_fault_;
      return end_value();

    case State::Skim:
    case State::SkimString:
    case State::SkimEscape:
      return skim(byte);
  }

  // A number ended at `byte`. At the top level the value is complete; inside a container
  // the byte must continue it.
  word_end_ = offset_;
  word_fault_ = Fault::Number;
  if (end_value() == Status::Complete) {
    end_ = offset_;
    return Status::Complete;
  }
  return step(byte);
}

// A fault: noted, and the end of the scan, unless skimming inside a container, which goes
// on loosely from the state the byte found.
JsonScanner::Status JsonScanner::fail(Fault fault, unsigned char byte) noexcept {
  if (fault_ == Fault::None) fault_ = fault;
  std::size_t at = offset_;
  const Problem problem = problem_of(fault, byte, at);
  note(problem, at);
  if (!skim_ || depth_ == 0) return Status::Invalid;
  switch (state_) {
    case State::String:
    case State::Utf8:
    case State::Unicode: state_ = State::SkimString; break;
    case State::Escape: state_ = State::SkimEscape; break;
    default: state_ = State::Skim; break;
  }
  return skim(byte);
}

JsonScanner::Problem JsonScanner::problem_of(Fault fault, unsigned char byte, std::size_t& at) const noexcept {
  switch (fault) {
    case Fault::None:
    case Fault::Structure:
      switch (state_) {
        case State::Value:
        case State::ArrayFirst: return Problem::ExpectedValue;
        case State::ObjectFirst:
        case State::Key: return Problem::ExpectedName;
        case State::Colon: return Problem::ExpectedColon;
        default:
          if (offset_ == word_end_ && is_word(byte)) {
            at = token_;
            return word_fault_ == Fault::Number ? Problem::Number : Problem::Literal;
          }
          return in_object() ? Problem::ExpectedMemberEnd : Problem::ExpectedItemEnd;
      }
    case Fault::Number: at = token_; return Problem::Number;
    case Fault::True:
    case Fault::False:
    case Fault::Null: at = token_; return Problem::Literal;
    case Fault::Escape: at = token_; return state_ == State::Unicode ? Problem::UnicodeEscape : Problem::Escape;
    case Fault::Control: return Problem::Control;
    case Fault::Utf8: at = token_; return Problem::Utf8;
    case Fault::Depth: return Problem::Depth;
  }
  return Problem::None;
}

// Inside a faulty value: strings and brackets only.
JsonScanner::Status JsonScanner::skim(unsigned char byte) noexcept {
  switch (state_) {
    case State::SkimEscape:
      return to(State::SkimString);
    case State::SkimString:
      if (byte == '"') return to(State::Skim);
      if (byte == '\\') return to(State::SkimEscape);
      return byte < 0x20 ? Status::Invalid : Status::NeedMore;
    default:
      break;
  }
  switch (byte) {
    case '"': return to(State::SkimString);
    case '{':
    case '[':
      if (depth_ == max_depth_) return Status::Invalid;
      push(byte == '{');
      return Status::NeedMore;
    case '}':
    case ']':
      if (in_object() != (byte == '}')) return Status::Invalid;
      if (--depth_ != 0) return Status::NeedMore;
      end_ = offset_ + 1;
      return Status::Complete;
    default:
      return is_bare(byte) ? Status::NeedMore : Status::Invalid;
  }
}

}  // namespace robot_behavior
