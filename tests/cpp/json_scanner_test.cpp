// The JSON scanner as the transport uses it: how long to wait for a reply.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "robot_behavior/json_scanner.hpp"

namespace robot_behavior {
namespace {

using Status = JsonScanner::Status;

// Feeds `text` in two reads split at `split`; the status after the second read.
Status scan(std::string_view text, std::size_t split) {
  JsonScanner scanner;
  if (scanner.feed(text.data(), split) == Status::NeedMore) scanner.end_of_read();
  if (scanner.status() != Status::NeedMore) return scanner.status();
  scanner.feed(text.data() + split, text.size() - split);
  return scanner.end_of_read();
}

Status scan(std::string_view text) { return scan(text, text.size()); }

TEST(JsonScanner, CompleteOnlyWhenTheWholeValueHasArrived) {
  const std::string texts[] = {
      R"({"errorCode":"0","errorMsg":"a \"q\" \\ \u00e9 é 𝄞"})",
      R"( [ -0.5e+3 , 10E-2, 0, true, false, null, [], {}, [[{"a":{"b":[]}}]] ] )",
      R"({"a":-12,"b":1.25e7,"c":"}]"})",
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(scan(text), Status::Complete) << text;
    // Whichever byte the first read ends on, the value is not complete before the last
    // closing bracket has arrived.
    const std::size_t last = text.find_last_of("}]");
    for (std::size_t split = 0; split < text.size(); ++split) {
      JsonScanner first;
      first.feed(text.data(), split);
      EXPECT_EQ(first.end_of_read(), split > last ? Status::Complete : Status::NeedMore) << text << " @" << split;
      EXPECT_EQ(scan(text, split), Status::Complete) << text << " @" << split;
    }
  }
}

TEST(JsonScanner, TopLevelScalars) {
  EXPECT_EQ(scan("\"text\""), Status::Complete);
  EXPECT_EQ(scan("nul"), Status::NeedMore);
  EXPECT_EQ(scan("null"), Status::Complete);
  EXPECT_EQ(scan("12"), Status::Complete);  // the end of the read ends a number
  EXPECT_EQ(scan("12."), Status::NeedMore);
  EXPECT_EQ(scan("-"), Status::NeedMore);
  EXPECT_EQ(scan("  \r\n\t"), Status::NeedMore);
  EXPECT_EQ(scan("{} trailing"), Status::Complete);  // what follows is the parser's to judge
}

TEST(JsonScanner, BytesThatCanNeverBecomeJsonFailAtOnce) {
  using Fault = JsonScanner::Fault;
  const std::pair<std::string_view, Fault> texts[] = {
      {"HTTP/1.1 400 Bad Request", Fault::Structure}, {"}", Fault::Structure}, {",", Fault::Structure},
      {"\xef\xbb\xbf{}", Fault::Structure}, {"{\"a\" 1", Fault::Structure}, {"{\"a\":1,}", Fault::Structure},
      {"[1,]", Fault::Structure}, {"[1 2", Fault::Structure}, {"{\"a\":01}", Fault::Structure},
      {"{1:2}", Fault::Structure}, {"[}", Fault::Structure}, {"{\"a\":1]", Fault::Structure},
      {"[tru]", Fault::True}, {"[nulL", Fault::Null}, {"fals ", Fault::False},
      {"[-]", Fault::Number}, {"[1.]", Fault::Number}, {"[1e]", Fault::Number}, {"[1e+]", Fault::Number},
      {"\"\\x\"", Fault::Escape}, {"\"\\u12G4\"", Fault::Escape}, {"\"tab\there\"", Fault::Control},
      {"\"\xc0\x80\"", Fault::Utf8}, {"\"\xed\xa0\x80\"", Fault::Utf8}, {"\"\xf4\x90\x80\x80\"", Fault::Utf8},
      {"\"\xe2\x82\"", Fault::Utf8}, {"{\"\xff", Fault::Utf8},
  };
  for (const auto& [text, fault] : texts) {
    JsonScanner scanner;
    scanner.feed(text.data(), text.size());
    EXPECT_EQ(scanner.status(), Status::Invalid) << text;
    EXPECT_EQ(scanner.fault(), fault) << text;
  }
}

TEST(JsonScanner, NestingIsBounded) {
  EXPECT_EQ(scan(std::string(JsonScanner::kMaxDepth, '[')), Status::NeedMore);
  EXPECT_EQ(scan(std::string(JsonScanner::kMaxDepth + 1, '[')), Status::Invalid);
  const std::string deep = std::string(JsonScanner::kMaxDepth, '[') + std::string(JsonScanner::kMaxDepth, ']');
  EXPECT_EQ(scan(deep), Status::Complete);
}

}  // namespace
}  // namespace robot_behavior
