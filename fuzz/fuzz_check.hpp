#pragma once
// A property every fuzz input must keep. A broken one prints what broke and aborts, which
// libFuzzer reports as a crash and saves the input for replay.

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <simdjson.h>

namespace orvek::fuzz {

[[noreturn]] inline void property_failed(const char* what, std::string_view detail) {
  std::fprintf(stderr, "property failed: %s\n  %.*s\n", what, static_cast<int>(detail.size()), detail.data());
  std::abort();
}

#define ORVEK_FUZZ_CHECK(condition, detail) \
  do {                                      \
    if (!(condition)) ::orvek::fuzz::property_failed(#condition, (detail)); \
  } while (false)

// simdjson's verdict on a whole text: SUCCESS or the error it reports.
inline simdjson::error_code parse_verdict(simdjson::dom::parser& parser, std::string_view text) {
  const simdjson::padded_string padded(text);
  simdjson::dom::element root;
  return parser.parse(padded).get(root);
}

}  // namespace orvek::fuzz
