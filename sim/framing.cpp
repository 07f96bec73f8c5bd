#include "framing.hpp"

namespace orvek::sim {

namespace {
bool is_space(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Bytes that may stand outside strings inside a JSON object: punctuation, numbers and
// the letters of true, false and null. Anything else cannot be JSON.
bool is_bare(unsigned char c) {
  if (is_space(c)) return true;
  if (c >= '0' && c <= '9') return true;
  switch (c) {
    case ':': case ',': case '-': case '+': case '.':
    case 'e': case 'E': case 't': case 'r': case 'u': case 'f':
    case 'a': case 'l': case 's': case 'n':
      return true;
    default:
      return false;
  }
}
}  // namespace

void Framer::reset() {
  pos_ = 0;
  begin_ = 0;
  started_ = false;
  in_string_ = false;
  escape_ = false;
  depth_ = 0;
}

FrameResult Framer::scan(std::string_view buffer) {
  for (; pos_ < buffer.size(); ++pos_) {
    const auto c = static_cast<unsigned char>(buffer[pos_]);
    if (!started_) {
      if (is_space(c)) {
        if (pos_ + 1 > max_request_) return {FrameStatus::TooLarge};
        continue;
      }
      if (c != '{') return {FrameStatus::Garbage};
      started_ = true;
      begin_ = pos_;
      depth_ = 1;
      closers_[0] = '}';
      continue;
    }
    if (pos_ - begin_ + 1 > max_request_) return {FrameStatus::TooLarge};
    if (in_string_) {
      if (escape_) {
        escape_ = false;
      } else if (c == '\\') {
        escape_ = true;
      } else if (c == '"') {
        in_string_ = false;
      } else if (c < 0x20) {
        return {FrameStatus::Garbage};  // control characters must be escaped
      }
      continue;
    }
    switch (c) {
      case '"':
        in_string_ = true;
        break;
      case '{':
      case '[':
        if (depth_ == kMaxDepth) return {FrameStatus::Garbage};
        closers_[depth_++] = c == '{' ? '}' : ']';
        break;
      case '}':
      case ']':
        if (closers_[depth_ - 1] != static_cast<char>(c)) return {FrameStatus::Garbage};
        if (--depth_ == 0) {
          const std::size_t end = ++pos_;
          return {FrameStatus::Complete, begin_, end};
        }
        break;
      default:
        if (!is_bare(c)) return {FrameStatus::Garbage};
    }
  }
  return {FrameStatus::NeedMore};
}

}  // namespace orvek::sim
