#pragma once
// Splits the byte stream of one connection into requests. Requests carry no terminator,
// so a request ends where its outermost JSON object closes; strings and escapes are
// tracked so that braces inside them do not count.

#include <array>
#include <cstddef>
#include <string_view>

namespace orvek::sim {

enum class FrameStatus {
  NeedMore,  // no complete request yet
  Complete,  // [begin, end) holds one request
  Garbage,   // the bytes cannot be (the start of) one JSON object
  TooLarge,  // the request would exceed the size bound
};

struct FrameResult {
  FrameStatus status;
  std::size_t begin = 0;
  std::size_t end = 0;
};

class Framer {
 public:
  static constexpr std::size_t kMaxDepth = 64;

  explicit Framer(std::size_t max_request) : max_request_(max_request) {}

  // Scans `buffer` (all unconsumed bytes, growing between calls) from where the last
  // call stopped. After Complete, the caller drops bytes [0, end) and calls reset().
  FrameResult scan(std::string_view buffer);
  void reset();

 private:
  std::size_t max_request_;
  std::size_t pos_ = 0;
  std::size_t begin_ = 0;
  bool started_ = false;
  bool in_string_ = false;
  bool escape_ = false;
  std::size_t depth_ = 0;
  std::array<char, kMaxDepth> closers_{};
};

}  // namespace orvek::sim
