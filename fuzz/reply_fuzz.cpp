// Replies from the controller read into DefaultState and GetDataState.
//
// Every input either reads (and then the record survives a write and a second read
// unchanged), fails to fit the record (DeserializeError with a message), or is not JSON
// (a Panic) — exactly when simdjson refuses it. Nothing else may happen.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <simdjson.h>

#include "fuzz_check.hpp"
#include "robot_behavior/exception.hpp"
#include "types/reply.hpp"
#include "types/reply_one_pass.hpp"

namespace {

using orvek::fuzz::parse_verdict;
using robot_behavior::Panic;
using robot_behavior::RobotException;

simdjson::dom::parser& reused_parser() {
  static simdjson::dom::parser parser;  // reused across inputs, as the transport reuses its own
  return parser;
}

template <class Record, class Read>
void check_record(std::string_view text, bool is_json, Read read) {
  const simdjson::padded_string padded(text);
  const std::string_view padded_text(padded.data(), padded.size());
  orvek::Result<Record> reply;
  try {
    reply = read(reused_parser(), padded_text);
  } catch (const Panic& panic) {
    ORVEK_FUZZ_CHECK(!is_json, std::string("a JSON text was refused: ") + panic.what());
    ORVEK_FUZZ_CHECK(std::string_view(panic.what()).size() != 0, "a parse failure without a message");
    return;
  }
  ORVEK_FUZZ_CHECK(is_json, "a text simdjson refuses was read without a panic");
  if (!reply) {
    ORVEK_FUZZ_CHECK(reply.error().kind() == RobotException::Kind::DeserializeError, reply.error().debug());
    ORVEK_FUZZ_CHECK(reply.error().text().size() != 0, "a mismatch without a message");
    return;
  }
  // Written back and read again, the record is unchanged, and writing is deterministic.
  std::string written;
  orvek::serialize_into(written, *reply);
  const simdjson::padded_string again(written);
  const orvek::Result<Record> reread = read(reused_parser(), std::string_view(again.data(), again.size()));
  ORVEK_FUZZ_CHECK(reread.has_value(), written);
  ORVEK_FUZZ_CHECK(*reread == *reply, written);
  std::string rewritten;
  orvek::serialize_into(rewritten, *reread);
  ORVEK_FUZZ_CHECK(rewritten == written, rewritten);
}

// A text the one-pass reading settles is JSON and reads the same in the strict reader, to
// the bit: the written forms are compared, which tell -0.0 from 0.0.
template <class Record, class Strict>
void check_one_pass(std::string_view text, bool is_json, Strict strict) {
  const simdjson::padded_string padded(text);
  Record fast{};
  if (!orvek::one_pass::read(std::string_view(padded.data(), padded.size()), fast)) return;
  ORVEK_FUZZ_CHECK(is_json, "the one-pass reading settled a text simdjson refuses");
  simdjson::dom::element root;
  ORVEK_FUZZ_CHECK(reused_parser().parse(padded).get(root) == simdjson::SUCCESS, text);
  const orvek::Result<Record> reference = strict(root);
  ORVEK_FUZZ_CHECK(reference.has_value(), reference.error().debug());
  std::string fast_text, reference_text;
  orvek::serialize_into(fast_text, fast);
  orvek::serialize_into(reference_text, *reference);
  ORVEK_FUZZ_CHECK(fast_text == reference_text, fast_text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  static simdjson::dom::parser reference;
  const bool is_json = parse_verdict(reference, text) == simdjson::SUCCESS;
  check_record<orvek::DefaultState>(text, is_json, [](simdjson::dom::parser& parser, std::string_view t) {
    return orvek::deserialize_default(parser, t);
  });
  check_record<orvek::GetDataState>(text, is_json, [](simdjson::dom::parser& parser, std::string_view t) {
    return orvek::deserialize_get_data(parser, t);
  });
  check_one_pass<orvek::DefaultState>(text, is_json, [](const simdjson::dom::element& e) { return orvek::read_default(e); });
  check_one_pass<orvek::GetDataState>(text, is_json, [](const simdjson::dom::element& e) { return orvek::read_get_data(e); });
  return 0;
}
