#pragma once
// Splits the byte stream of one connection into requests. Requests carry no terminator,
// so a request ends where its outermost JSON object closes (the JSON scanner, skimming:
// a request that is not JSON is still cut out whole, so that it can be logged before the
// connection is dropped).

#include <cstddef>
#include <string_view>

#include "robot_behavior/json_scanner.hpp"

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
  robot_behavior::JsonScanner scanner_{kMaxDepth, /*skim=*/true};
};

}  // namespace orvek::sim
