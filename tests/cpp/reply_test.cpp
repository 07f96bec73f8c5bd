// Reply records: strict reading, the controller-error check, and the writers.

#include <gtest/gtest.h>
#include <simdjson.h>

#include <cmath>
#include <string>
#include <string_view>

#include "robot_behavior/exception.hpp"
#include "types/fields.hpp"
#include "types/reply.hpp"
#include "types/reply_one_pass.hpp"

namespace orvek {
namespace {

using robot_behavior::Panic;
using robot_behavior::RobotException;

class ReplyText : public ::testing::Test {
 protected:
  Result<DefaultState> read_default(std::string_view text) {
    const simdjson::padded_string padded(text);
    return deserialize_default(parser_, std::string_view(padded.data(), padded.size()));
  }
  Result<GetDataState> read_get_data(std::string_view text) {
    const simdjson::padded_string padded(text);
    return deserialize_get_data(parser_, std::string_view(padded.data(), padded.size()));
  }
  // The DeserializeError text of a get_data reply, or "read" when it was read.
  std::string get_data_error(std::string_view text) {
    auto reply = read_get_data(text);
    if (reply) return "read";
    EXPECT_EQ(reply.error().kind(), RobotException::Kind::DeserializeError);
    return reply.error().text();
  }
  // The idle reply with `from` (which must occur exactly once) replaced by `to`.
  static std::string idle_with(std::string_view from, std::string_view to) {
    std::string text;
    serialize_into(text, default_get_data_state());
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    EXPECT_EQ(text.find(from, at + 1), std::string::npos) << from;
    return text.replace(at, from.size(), to);
  }

  simdjson::dom::parser parser_;
};

// A state with a different value in every field, so that a field read into the wrong slot
// or written under the wrong key shows.
GetDataState distinct_state() {
  GetDataState state = default_get_data_state();
  int n = 1;
  auto fill = [&n](auto& values) {
    for (auto& v : values) v = static_cast<std::remove_reference_t<decltype(v)>>(n++ % 251);
  };
  state.len = 6400;
  fill(state.joint_actual_position), fill(state.actual_position), fill(state.din), fill(state.dout);
  fill(state.ain), fill(state.aout), fill(state.tio_din), fill(state.tio_dout), fill(state.tio_ain);
  fill(state.relay_io), fill(state.mb_slave_din), fill(state.mb_slave_dout), fill(state.mb_slave_ain);
  fill(state.mb_slave_aout), fill(state.pn_dev_din), fill(state.pn_dev_dout), fill(state.pn_dev_ain);
  fill(state.pn_dev_aout), fill(state.eip_adpt_din), fill(state.eip_adpt_dout), fill(state.eip_adpt_ain);
  fill(state.eip_adpt_aout), fill(state.homed), fill(state.drag_near_limit);
  state.joint_actual_position[0] = -0.1;
  state.drag_status = true;
  state.task_state = 4, state.task_mode = 2, state.interp_state = 3, state.enabled = true;
  state.rapidrate = 0.75, state.current_tool_id = 5, state.current_user_id = 6, state.protective_stop = 7;
  state.on_soft_limit = 8, state.emergency_stop = 9, state.powered_on = 1, state.inpos = true;
  state.executing_line = 255, state.curr_tcp_trans_vel = 0.125;
  state.error_code = "0", state.error_msg = "motion \"done\"\n";
  return state;
}

TEST_F(ReplyText, DefaultStateFromObjectOrArray) {
  EXPECT_EQ(*read_default(R"({"errorCode":"4","errorMsg":"abc"})"), (DefaultState{"4", "abc"}));
  // Unknown keys, whatever their values, are passed over; "cmdName" is often echoed.
  EXPECT_EQ(*read_default(R"( {"cmdName":"power_on","x":{"y":[1,{}]},"errorMsg":"","errorCode":"0"} )"),
            (DefaultState{"0", ""}));
  // The last of duplicate keys counts, even when an earlier one would not fit.
  EXPECT_EQ(*read_default(R"({"errorCode":5,"errorMsg":"a","errorCode":"0","errorMsg":"b"})"), (DefaultState{"0", "b"}));
  EXPECT_EQ(*read_default(R"(["7","\u00e9\n"])"), (DefaultState{"7", "\xc3\xa9\n"}));
}

TEST_F(ReplyText, DefaultStateMismatches) {
  auto error = [this](std::string_view text) {
    auto reply = read_default(text);
    EXPECT_FALSE(reply);
    return reply ? std::string("read") : reply.error().display();
  };
  EXPECT_EQ(error(R"({"errorCode":0,"errorMsg":"x"})"),
            R"(Deserialize error: invalid type number 0 at key "errorCode": expected a string)");
  EXPECT_EQ(error(R"({"errorCode":"0"})"), R"(Deserialize error: missing key "errorMsg")");
  EXPECT_EQ(error(R"({"ErrorCode":"0","errorMsg":""})"), R"(Deserialize error: missing key "errorCode")");
  EXPECT_EQ(error(R"(["0"])"), "Deserialize error: invalid length 1: expected an object or an array of 2 values");
  EXPECT_EQ(error(R"("0")"), R"(Deserialize error: invalid type string "0": expected an object or an array of 2 values)");
  EXPECT_EQ(error("null"), "Deserialize error: invalid type null: expected an object or an array of 2 values");
}

TEST_F(ReplyText, MalformedTextPanicsWithTheParsersMessage) {
  auto message = [this](std::string_view text) {
    try {
      (void)read_default(text);
    } catch (const Panic& panic) {
      return std::string(panic.what());
    }
    return std::string("no panic");
  };
  EXPECT_EQ(message(""), "Empty: no JSON found");
  EXPECT_EQ(message(" \n"), "Empty: no JSON found");
  EXPECT_EQ(message("{\"errorCode\":\"\xff\",\"errorMsg\":\"\"}"), "The input is not valid UTF-8");
  const std::string structure =
      "The JSON document has an improper structure: missing or superfluous commas, braces, missing keys, etc.";
  EXPECT_EQ(message(R"({"errorCode":"0","errorMsg":""} x)"), structure);
  EXPECT_EQ(message(R"({"errorCode":"0","errorMsg":""}{"errorCode":"0","errorMsg":""})"), structure);
  EXPECT_EQ(message(R"({"errorCode":"0","errorMsg":"")"), structure);
  // Later simdjson releases give integers beyond 64 bits a code of their own; the text stays.
  EXPECT_EQ(message(R"({"errorCode":"0","errorMsg":"","x":123456789012345678901234567890})"),
            "Problem while parsing a number");
}

TEST_F(ReplyText, GetDataNumbersAreStrict) {
  EXPECT_EQ(get_data_error(idle_with(R"("rapidrate":0.0)", R"("rapidrate":100)")), "read");
  EXPECT_EQ(read_get_data(idle_with(R"("rapidrate":0.0)", R"("rapidrate":100)"))->rapidrate, 100.0);
  EXPECT_EQ(read_get_data(idle_with(R"("len":0)", R"("len":65535)"))->len, 65535);
  struct Refused {
    const char* field;  // as the idle reply has it
    const char* value;  // what replaces it
    const char* error;
  };
  const Refused refused[] = {
      {R"("len":0)", R"("len":70000)", R"(invalid value 70000 at key "len": expected an integer 0 to 65535)"},
      {R"("task_state":0)", R"("task_state":1.5)",
       R"(invalid value 1.5 at key "task_state": expected an integer 0 to 255)"},
      {R"("task_state":0)", R"("task_state":-1)", R"(invalid value -1 at key "task_state": expected an integer 0 to 255)"},
      {R"("task_state":0)", R"("task_state":1.0)",
       R"(invalid value 1.0 at key "task_state": expected an integer 0 to 255)"},
      {R"("task_state":0)", R"("task_state":true)",
       R"(invalid type boolean true at key "task_state": expected an integer 0 to 255)"},
      {R"("task_state":0)", R"("task_state":18446744073709551615)",
       R"(invalid value 18446744073709551615 at key "task_state": expected an integer 0 to 255)"},
      {R"("enabled":false)", R"("enabled":1)", R"(invalid type number 1 at key "enabled": expected a boolean)"},
      {R"("errorMsg":"")", R"("errorMsg":null)", R"(invalid type null at key "errorMsg": expected a string)"},
  };
  for (const Refused& c : refused) EXPECT_EQ(get_data_error(idle_with(c.field, c.value)), c.error) << c.value;
}

TEST_F(ReplyText, GetDataArraysHaveExactLengths) {
  EXPECT_EQ(get_data_error(idle_with(R"("din":[0,)", R"("din":[)")),
            R"(invalid length 198 at key "din": expected an array of 199 integers 0 to 255)");
  EXPECT_EQ(get_data_error(idle_with(R"("din":[0,)", R"("din":[0,0,)")),
            R"(invalid length 200 at key "din": expected an array of 199 integers 0 to 255)");
  EXPECT_EQ(get_data_error(idle_with(R"("relay_io":[0,0])", R"("relay_io":[0,256])")),
            R"(invalid value 256 at key "relay_io" index 1: expected an integer 0 to 255)");
  EXPECT_EQ(get_data_error(idle_with(R"("tio_ain":[0.0,0.0])", R"("tio_ain":[0.0,"1"])")),
            R"(invalid type string "1" at key "tio_ain" index 1: expected a number)");
  EXPECT_EQ(get_data_error(idle_with(R"("tio_ain":[0.0,0.0])", R"("tio_ain":{})")),
            R"(invalid type object at key "tio_ain": expected an array of 2 numbers)");
  EXPECT_EQ(get_data_error(idle_with(R"("executing_line":0,)", "")), R"(missing key "executing_line")");
}

TEST_F(ReplyText, GetDataWrittenAndReadBack) {
  const GetDataState state = distinct_state();
  std::string text;
  serialize_into(text, state);
  EXPECT_EQ(*read_get_data(text), state);

  // All 43 keys, in byte order.
  simdjson::dom::parser parser;
  std::string previous;
  int keys = 0;
  const simdjson::dom::object object = parser.parse(text).get_object().value();
  for (const auto field : object) {
    EXPECT_LT(previous, std::string(field.key));
    previous = field.key;
    ++keys;
  }
  EXPECT_EQ(keys, 43);
}

TEST_F(ReplyText, GetDataArrayFormTakesTheFieldsInDeclarationOrder) {
  static constexpr std::string_view kDeclared[] = {
      "len", "joint_actual_position", "drag_status", "actual_position", "din", "dout", "ain", "aout",
      "tio_din", "tio_dout", "tio_ain", "relay_io", "mb_slave_din", "mb_slave_dout", "mb_slave_ain",
      "mb_slave_aout", "pn_dev_din", "pn_dev_dout", "pn_dev_ain", "pn_dev_aout", "eip_adpt_din",
      "eip_adpt_dout", "eip_adpt_ain", "eip_adpt_aout", "task_state", "homed", "task_mode", "interp_state",
      "enabled", "paused", "rapidrate", "current_tool_id", "current_user_id", "protective_stop",
      "on_soft_limit", "emergency_stop", "drag_near_limit", "powered_on", "inpos", "executing_line",
      "curr_tcp_trans_vel", "errorCode", "errorMsg"};
  const GetDataState state = distinct_state();
  std::string object_text;
  serialize_into(object_text, state);
  simdjson::dom::parser parser;
  const simdjson::dom::object object = parser.parse(object_text).get_object().value();
  std::string array_text = "[";
  for (const std::string_view key : kDeclared) {
    if (array_text.size() > 1) array_text += ',';
    array_text += simdjson::to_string(object[key].value());
  }
  EXPECT_EQ(*read_get_data(array_text + "]"), state);
  EXPECT_EQ(get_data_error(array_text + ",0]"), "invalid length 44: expected an object or an array of 43 values");
}

// The usual reply is read in one pass; every text that pass leaves to the strict reader
// reads exactly as that reader reads it.
TEST_F(ReplyText, OnePassTakesTheUsualReplyAndHandsOverTheRest) {
  std::string usual;
  serialize_into(usual, distinct_state());
  const simdjson::padded_string padded(usual);
  GetDataState fast{};
  ASSERT_TRUE(one_pass::read(std::string_view(padded.data(), padded.size()), fast));
  EXPECT_EQ(fast, distinct_state());
  // Keys in another order than the writer's are found all the same.
  simdjson::dom::parser parser;
  const simdjson::dom::object object = parser.parse(usual).get_object().value();
  std::string reversed = "}";
  for (const auto field : object) {
    reversed.insert(0, "\"" + std::string(field.key) + "\":" + simdjson::to_string(field.value) +
                           (reversed.size() > 1 ? "," : ""));
  }
  const simdjson::padded_string padded_reversed("{" + reversed);
  GetDataState from_reversed{};
  ASSERT_TRUE(one_pass::read(std::string_view(padded_reversed.data(), padded_reversed.size()), from_reversed));
  EXPECT_EQ(from_reversed, distinct_state());

  // A key of no field with a string value, as a controller naming its command sends, is
  // passed over; with another value the strict reader decides.
  const simdjson::padded_string named("{\"cmdName\":\"get_data\"," + usual.substr(1));
  GetDataState from_named{};
  ASSERT_TRUE(one_pass::read(std::string_view(named.data(), named.size()), from_named));
  EXPECT_EQ(from_named, distinct_state());
  const simdjson::padded_string numbered("{\"cmdName\":5," + usual.substr(1));
  EXPECT_FALSE(one_pass::read(std::string_view(numbered.data(), numbered.size()), from_named));

  // "-0" is the integer 0 for the strict reader: +0.0, where a parse of the text gives -0.0.
  EXPECT_FALSE(std::signbit(read_get_data(idle_with(R"("rapidrate":0.0)", R"("rapidrate":-0)"))->rapidrate));
  EXPECT_TRUE(std::signbit(read_get_data(idle_with(R"("rapidrate":0.0)", R"("rapidrate":-0.0)"))->rapidrate));
  EXPECT_EQ(read_get_data(idle_with(R"("rapidrate":0.0)", R"("rapidrate":18446744073709551615)"))->rapidrate,
            18446744073709551615.0);
  EXPECT_THROW((void)read_get_data(idle_with(R"("rapidrate":0.0)", R"("rapidrate":18446744073709551616)")), Panic);
  // "-0.0" is -0.0 for both, and read in one pass, alone or in an array.
  const simdjson::padded_string negative_zeros(idle_with(R"("tio_ain":[0.0,0.0])", R"("tio_ain":[0.0,-0.0])"));
  GetDataState with_zeros{};
  ASSERT_TRUE(one_pass::read(std::string_view(negative_zeros.data(), negative_zeros.size()), with_zeros));
  EXPECT_TRUE(std::signbit(with_zeros.tio_ain[1]));
  // The same inside an array, in either of a pair's places.
  const auto tio_ain = [&](std::string_view pair) { return idle_with(R"("tio_ain":[0.0,0.0])", pair); };
  EXPECT_FALSE(std::signbit(read_get_data(tio_ain(R"("tio_ain":[-0,0.0])"))->tio_ain[0]));
  EXPECT_FALSE(std::signbit(read_get_data(tio_ain(R"("tio_ain":[0.0,-0])"))->tio_ain[1]));
  EXPECT_THROW((void)read_get_data(tio_ain(R"("tio_ain":[18446744073709551616,0.0])")), Panic);
  EXPECT_THROW((void)read_get_data(tio_ain(R"("tio_ain":[0.0,18446744073709551616])")), Panic);
  // More than 19 digits after "0.": a parse that loses count of them reads 1/3 as 6.7e-7.
  EXPECT_EQ(read_get_data(idle_with(R"("rapidrate":0.0)", R"("rapidrate":0.33333333333333333333333)"))->rapidrate,
            1.0 / 3.0);
  EXPECT_EQ(read_get_data(tio_ain(R"("tio_ain":[0.0,-0.33333333333333333333333])"))->tio_ain[1], -1.0 / 3.0);
  // An escaped key names its field; with duplicates the last counts, a bad first one too.
  EXPECT_EQ(read_get_data(idle_with(R"("len":0)", R"("\u006cen":7)"))->len, 7);
  EXPECT_EQ(read_get_data(idle_with(R"("len":0)", R"("len":true,"len":9)"))->len, 9);
  EXPECT_EQ(get_data_error(idle_with(R"("len":0)", R"("len":9,"len":true)")),
            R"(invalid type boolean true at key "len": expected an integer 0 to 65535)");
  EXPECT_EQ(read_get_data(idle_with(R"("len":0)", R"("len":0,"extra":[1,{"a":null}])"))->len, 0);
  EXPECT_THROW((void)read_get_data(usual + " 1"), Panic);
  EXPECT_THROW((void)read_get_data(idle_with(R"("len":0)", R"("len":0,"extra":tru)")), Panic);
}

// What a reply text is read as: the record written again, or the error's text.
template <class Record>
std::string outcome(const Result<Record>& reply) {
  if (!reply) return "error: " + reply.error().text();
  std::string text;
  serialize_into(text, *reply);
  return text;
}

// A key is its unescaped text. fuzz_reply found the one-pass reading taking "errorMsg\"a" for
// "errorMsg" (it cut keys at their first backslash), and so accepting a reply that has no
// "errorMsg". For every key of both records, a key that holds an escape, or that only begins
// like the field's, is read as the strict reader alone reads it.
template <class Record>
void expect_keys_read_as_the_strict_reader_reads_them(std::string_view usual) {
  simdjson::dom::parser parser;
  const auto read = [&](const std::string& text) {
    const simdjson::padded_string padded(text);
    const std::string_view view(padded.data(), padded.size());
    simdjson::dom::parser strict_parser;
    const simdjson::dom::element element = strict_parser.parse(padded).value();
    if constexpr (std::is_same_v<Record, DefaultState>) {
      return std::pair(outcome(deserialize_default(parser, view)), outcome(read_default(element)));
    } else {
      return std::pair(outcome(deserialize_get_data(parser, view)), outcome(read_get_data(element)));
    }
  };
  for (const std::string_view key : fields::Table<Record>::keys) {
    const std::string quoted = "\"" + std::string(key) + "\":";
    const auto at = usual.find(quoted);
    ASSERT_NE(at, std::string_view::npos) << key;
    const std::string last_escaped = std::string(key.substr(0, key.size() - 1)) + "\\u00" +
                                     "0123456789abcdef"[key.back() >> 4] + "0123456789abcdef"[key.back() & 15];
    for (const std::string& other : {std::string(key) + "\\\"a", std::string(key) + "\\\\",
                                     std::string(key) + "\\u0041", last_escaped,
                                     std::string(key.substr(0, key.size() - 1)), std::string(key) + "_"}) {
      std::string text(usual);
      text.replace(at, quoted.size(), "\"" + other + "\":");
      const auto [both, strict] = read(text);
      EXPECT_EQ(both, strict) << text;
    }
  }
}

TEST_F(ReplyText, OnePassReadsEveryKeyAsItsUnescapedText) {
  const simdjson::padded_string found(std::string_view(R"({"errorCode":"0","errorMsg\"a":"x"})"));
  DefaultState reply;
  EXPECT_FALSE(one_pass::read(std::string_view(found.data(), found.size()), reply));
  EXPECT_EQ(outcome(read_default(R"({"errorCode":"0","errorMsg\"a":"x"})")), R"(error: missing key "errorMsg")");

  expect_keys_read_as_the_strict_reader_reads_them<DefaultState>(R"({"errorCode":"4","errorMsg":"abc"})");
  std::string usual;
  serialize_into(usual, distinct_state());
  expect_keys_read_as_the_strict_reader_reads_them<GetDataState>(usual);
}

TEST(ReplyWriter, DefaultStateEscapesItsTexts) {
  std::string text = "reused";
  serialize_into(text, DefaultState{"4", "a\"b\\c\n\t\x01\xc3\xa9"});
  EXPECT_EQ(text, "{\"errorCode\":\"4\",\"errorMsg\":\"a\\\"b\\\\c\\n\\t\\u0001\xc3\xa9\"}");
}

TEST(ReplyCheck, OnlyTheTextZeroIsSuccess) {
  EXPECT_TRUE(check(DefaultState{"0", "anything"}));
  for (const char* code : {"00", "0.0", " 0", ""}) {
    auto result = check(DefaultState{code, "ok"});
    ASSERT_FALSE(result) << code;
    EXPECT_EQ(result.error().display(), std::string("Command exception: [") + code + ": ok]");
  }
  EXPECT_EQ(check(DefaultState{"4", "abc"}).error().display(), "Command exception: [4: abc]");
}

}  // namespace
}  // namespace orvek
