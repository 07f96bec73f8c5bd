#include "framing.hpp"

#include <algorithm>

namespace orvek::sim {

using Status = robot_behavior::JsonScanner::Status;

void Framer::reset() {
  pos_ = 0;
  begin_ = 0;
  started_ = false;
  scanner_.reset();
}

FrameResult Framer::scan(std::string_view buffer) {
  // Leading whitespace is skipped (and counts towards the bound); a request is an object.
  for (; !started_ && pos_ < buffer.size(); ++pos_) {
    const char c = buffer[pos_];
    if (c == '{') {
      started_ = true;
      begin_ = pos_;
      break;
    }
    if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return {FrameStatus::Garbage};
    if (pos_ + 1 > max_request_) return {FrameStatus::TooLarge};
  }
  if (!started_) return {FrameStatus::NeedMore};
  // Bytes beyond the bound are never scanned.
  const std::size_t stop = std::min(buffer.size(), begin_ + max_request_);
  if (pos_ < stop) {
    scanner_.feed(buffer.data() + pos_, stop - pos_);
    pos_ = stop;
  }
  switch (scanner_.status()) {
    case Status::Complete: return {FrameStatus::Complete, begin_, begin_ + scanner_.end()};
    case Status::Invalid: return {FrameStatus::Garbage};
    case Status::NeedMore: break;
  }
  return {buffer.size() > stop ? FrameStatus::TooLarge : FrameStatus::NeedMore};
}

}  // namespace orvek::sim
