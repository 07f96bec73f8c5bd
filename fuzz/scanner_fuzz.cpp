// The transport's reassembly: the JSON scanner, fed a text in arbitrary reads,
// against simdjson on the whole text.
//
// The first input byte chooses how the rest is cut into reads; the rest is the text.
// The transport stops reading when the scanner says Complete or Invalid and keeps
// reading while it says NeedMore, so the scanner must agree with the parser:
//  - Invalid only when no continuation can be JSON: simdjson refuses the whole text;
//  - Complete exactly where a value ends: simdjson accepts the text up to there, unless it
//    refuses a number or string the grammar allows (too large, a lone surrogate, which the
//    scanner notes), which is the parser's to report;
//  - NeedMore at the end only when the text is not yet one value: simdjson refuses it
//    (otherwise a complete reply would wait for the time-out);
//  - and the same verdict whether the text comes in one read or byte by byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <simdjson.h>

#include "fuzz_check.hpp"
#include "robot_behavior/json_scanner.hpp"

namespace {

using robot_behavior::JsonScanner;
using orvek::fuzz::parse_verdict;
using Status = JsonScanner::Status;

// Read sizes from the chooser byte: its low three bits bound the size (1 to 128 bytes,
// 0 meaning byte by byte), the rest seed a small generator.
std::vector<std::size_t> cut_points(std::uint8_t chooser, std::size_t size) {
  std::vector<std::size_t> ends;
  const std::size_t bound = std::size_t{1} << (chooser & 7u);
  std::uint32_t state = 0x9e3779b9u ^ chooser;
  std::size_t at = 0;
  while (at < size) {
    state = state * 1664525u + 1013904223u;
    at += 1 + (state >> 8) % bound;
    ends.push_back(at < size ? at : size);
  }
  return ends;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Faults of a complete text that the scanner leaves to the parser by design: numbers out
// of range, and \u escapes that name no character (lone surrogates), which it notes.
bool parser_only_fault(simdjson::error_code error, const JsonScanner& scanner) {
  if (error == simdjson::NUMBER_ERROR) return true;
  return error == simdjson::STRING_ERROR && scanner.place().problem == JsonScanner::Problem::LoneSurrogate;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::vector<std::size_t> ends = cut_points(data[0], text.size());

  // As the transport reads: whole reads, the end of each read noted while more is needed.
  JsonScanner whole;
  std::size_t begin = 0;
  for (std::size_t end : ends) {
    if (whole.feed(text.data() + begin, end - begin) == Status::NeedMore) whole.end_of_read();
    if (whole.status() != Status::NeedMore) break;
    begin = end;
  }

  // The same reads byte by byte, to learn where the verdict fell.
  JsonScanner bytes;
  std::size_t decided_at = text.size();  // index of the byte that decided, or the size
  bool by_end_of_read = false;
  begin = 0;
  for (std::size_t end : ends) {
    for (std::size_t i = begin; i < end && bytes.status() == Status::NeedMore; ++i) {
      if (bytes.feed(text.data() + i, 1) != Status::NeedMore) decided_at = i;
    }
    if (bytes.status() == Status::NeedMore && bytes.end_of_read() != Status::NeedMore) {
      decided_at = end - 1;
      by_end_of_read = true;
    }
    if (bytes.status() != Status::NeedMore) break;
    begin = end;
  }
  ORVEK_FUZZ_CHECK(whole.status() == bytes.status(), "the verdict depends on how the reads feed the scanner");
  ORVEK_FUZZ_CHECK(whole.fault() == bytes.fault(), "the fault depends on how the reads feed the scanner");

  static simdjson::dom::parser parser;
  const simdjson::error_code verdict = parse_verdict(parser, text);

  switch (bytes.status()) {
    case Status::Invalid:
      ORVEK_FUZZ_CHECK(verdict != simdjson::SUCCESS, "the scanner refused a JSON text");
      break;
    case Status::NeedMore:
      ORVEK_FUZZ_CHECK(verdict != simdjson::SUCCESS, "a complete JSON text left the scanner waiting for more");
      break;
    case Status::Complete: {
      // A top-level number ends at the byte after it (or at the end of a read); every
      // other value ends with the byte that completed it.
      std::size_t first = 0;
      while (first < text.size() && is_space(text[first])) ++first;
      const bool number = first < text.size() && (text[first] == '-' || (text[first] >= '0' && text[first] <= '9'));
      const std::size_t value_end = number && !by_end_of_read ? decided_at : decided_at + 1;
      const simdjson::error_code prefix = parse_verdict(parser, text.substr(0, value_end));
      ORVEK_FUZZ_CHECK(prefix == simdjson::SUCCESS || parser_only_fault(prefix, bytes),
                       std::string("the scanner found a value simdjson refuses: ") + simdjson::error_message(prefix));
      // (The end of a read ends a top-level number even if digits follow in the next read;
      // a reply is never a bare number.)
      if (verdict == simdjson::SUCCESS && !(number && by_end_of_read)) {
        for (std::size_t i = value_end; i < text.size(); ++i) {
          ORVEK_FUZZ_CHECK(is_space(text[i]), "the scanner ended the value early");
        }
      }
      break;
    }
  }
  return 0;
}
