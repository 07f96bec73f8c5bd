// Strict reading of the reply records from a parsed JSON value.
//
// One walk over the object's fields drops each known key's value into its slot (a later
// duplicate overwrites an earlier one, unknown keys are passed over); then every slot must
// be filled, and each is converted once into its field.

#include <simdjson.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

#include "robot_behavior/number_format.hpp"
#include "robot_behavior/parser_error_text.hpp"
#include "types/fields.hpp"
#include "types/json_write.hpp"
#include "types/reply.hpp"
#include "types/reply_keys.hpp"
#include "types/reply_one_pass.hpp"

namespace orvek {
namespace {

using reply_keys::field_index;
using reply_keys::kUnknownKey;
using simdjson::dom::element;
using simdjson::dom::element_type;

// Where a mismatch was found: the record key and, inside an array, the element index.
struct Where {
  std::string_view key;
  std::size_t index = kNoIndex;
  static constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);
};

// --- messages (built only when reading fails) ------------------------------------------

// What a field of type T must be, for one value and for the elements of an array.
struct Expectation {
  std::string_view one;
  std::string_view many;
  bool numeric;
};
template <class T>
constexpr Expectation kExpected = {};
template <>
constexpr Expectation kExpected<std::uint8_t> = {"an integer 0 to 255", "integers 0 to 255", true};
template <>
constexpr Expectation kExpected<std::uint16_t> = {"an integer 0 to 65535", "integers 0 to 65535", true};
template <>
constexpr Expectation kExpected<double> = {"a number", "numbers", true};
template <>
constexpr Expectation kExpected<bool> = {"a boolean", "booleans", false};
template <>
constexpr Expectation kExpected<std::string> = {"a string", "strings", false};

// "invalid value 1.5", "invalid type boolean true", "invalid type string \"5\"", ...
// A number where a number was expected is a wrong value; anything else a wrong type.
void append_found(std::string& out, const element& value, bool numeric_expected) {
  const element_type type = value.type();
  const bool is_number =
      type == element_type::INT64 || type == element_type::UINT64 || type == element_type::DOUBLE;
  out += is_number && numeric_expected ? "invalid value " : "invalid type ";
  switch (type) {
    case element_type::ARRAY: out += "array"; break;
    case element_type::OBJECT: out += "object"; break;
    case element_type::NULL_VALUE: out += "null"; break;
    case element_type::BOOL: out += value.get_bool().value_unsafe() ? "boolean true" : "boolean false"; break;
    case element_type::STRING: {
      constexpr std::size_t kShown = 40;  // enough to recognise the text, not a whole document
      const std::string_view text = value.get_string().value_unsafe();
      out += "string ";
      json::append_value(out, text.substr(0, kShown));
      if (text.size() > kShown) out += "...";
      break;
    }
    case element_type::INT64:
    case element_type::UINT64:
    case element_type::DOUBLE:
      if (!numeric_expected) out += "number ";
      if (type == element_type::INT64) {
        out += std::to_string(value.get_int64().value_unsafe());
      } else if (type == element_type::UINT64) {
        out += std::to_string(value.get_uint64().value_unsafe());
      } else {
        robot_behavior::append_debug(out, value.get_double().value_unsafe());
      }
      break;
  }
}

void append_where(std::string& out, const Where& where) {
  out += " at key \"";
  out += where.key;
  out += '"';
  if (where.index != Where::kNoIndex) {
    out += " index ";
    out += std::to_string(where.index);
  }
  out += ": expected ";
}

// Kept out of line so that the reading loops stay small.
template <class T>
[[gnu::noinline, gnu::cold]] bool mismatch(const element& value, const Where& where, std::string& error) {
  append_found(error, value, kExpected<T>.numeric);
  append_where(error, where);
  error += kExpected<T>.one;
  return false;
}

// --- values ------------------------------------------------------------------------------

// The conversions proper: true when the value has the field's type.
[[gnu::always_inline]] inline bool try_read(const element& value, std::uint8_t& out) {
  std::int64_t number = 0;
  // get_int64 refuses doubles (1.5, 1.0, 1e2), booleans and integers beyond int64.
  if (value.get_int64().get(number) != simdjson::SUCCESS || number < 0 || number > 0xff) return false;
  out = static_cast<std::uint8_t>(number);
  return true;
}
[[gnu::always_inline]] inline bool try_read(const element& value, std::uint16_t& out) {
  std::int64_t number = 0;
  if (value.get_int64().get(number) != simdjson::SUCCESS || number < 0 || number > 0xffff) return false;
  out = static_cast<std::uint16_t>(number);
  return true;
}
[[gnu::always_inline]] inline bool try_read(const element& value, double& out) {
  // Integers are numbers too: "rapidrate": 100 is 100.0.
  return value.get_double().get(out) == simdjson::SUCCESS;
}
[[gnu::always_inline]] inline bool try_read(const element& value, bool& out) {
  return value.get_bool().get(out) == simdjson::SUCCESS;
}
inline bool try_read(const element& value, std::string& out) {
  std::string_view text;
  if (value.get_string().get(text) != simdjson::SUCCESS) return false;
  out.assign(text);
  return true;
}

template <class T>
bool read_value(const element& value, T& out, const Where& where, std::string& error) {
  return try_read(value, out) || mismatch<T>(value, where, error);
}

template <class T, std::size_t N>
bool read_value(const element& value, std::array<T, N>& out, const Where& where, std::string& error) {
  simdjson::dom::array items;
  if (value.get_array().get(items) != simdjson::SUCCESS) {
    append_found(error, value, false);
  } else if (const std::size_t count = items.size(); count != N) {
    error += "invalid length ";
    error += std::to_string(count);
  } else {
    // Bytes written through a uint8_t may alias anything, which would make the compiler
    // reload the parser's tape after every store; a local array that never escapes does not.
    std::conditional_t<sizeof(T) == 1, std::array<T, N>, std::array<T, N>&> values = out;
    std::size_t index = 0;
    for (const element item : items) {
      if (!try_read(item, values[index])) return mismatch<T>(item, Where{where.key, index}, error);
      ++index;
    }
    if constexpr (sizeof(T) == 1) out = values;
    return true;
  }
  append_where(error, where);
  error += "an array of ";
  error += std::to_string(N);
  error += ' ';
  error += kExpected<T>.many;
  return false;
}

// --- records -----------------------------------------------------------------------------

template <class Record>
using MemberReader = bool (*)(const element&, Record&, const Where&, std::string&);

template <auto Member, class Record>
bool read_member(const element& value, Record& record, const Where& where, std::string& error) {
  return read_value(value, record.*Member, where, error);
}

// One reader per field, in declaration order.
template <class Record>
inline constexpr auto kReaders =
    fields::per_field<Record>([]<auto Member>() -> MemberReader<Record> { return &read_member<Member, Record>; });

template <class Record>
void append_record_expected(std::string& error) {
  error += ": expected an object or an array of ";
  error += std::to_string(fields::kCount<Record>);
  error += " values";
}

template <class Record>
bool read_fields(const element& value, Record& record, std::string& error) {
  constexpr auto& keys = fields::Table<Record>::keys;
  constexpr std::size_t kCount = keys.size();
  static_assert(kCount < 64, "the seen-mask holds one bit per field");
  constexpr std::uint64_t kAll = (std::uint64_t{1} << kCount) - 1;
  constexpr auto& readers = kReaders<Record>;

  simdjson::dom::object object;
  if (value.get_object().get(object) == simdjson::SUCCESS) {
    std::array<element, kCount> slots;
    std::uint64_t seen = 0;
    for (const auto field : object) {
      const std::size_t index = field_index<Record>(field.key);
      if (index == kUnknownKey<Record>) continue;
      slots[index] = field.value;
      seen |= std::uint64_t{1} << index;
    }
    if (seen != kAll) {
      std::size_t missing = 0;
      while (seen & (std::uint64_t{1} << missing)) ++missing;
      error += "missing key \"";
      error += keys[missing];
      error += '"';
      return false;
    }
    for (std::size_t i = 0; i < kCount; ++i) {
      if (!readers[i](slots[i], record, Where{keys[i]}, error)) return false;
    }
    return true;
  }

  simdjson::dom::array items;
  if (value.get_array().get(items) == simdjson::SUCCESS) {
    if (const std::size_t count = items.size(); count != kCount) {
      error += "invalid length ";
      error += std::to_string(count);
      append_record_expected<Record>(error);
      return false;
    }
    std::size_t i = 0;
    for (const element item : items) {
      if (!readers[i](item, record, Where{keys[i]}, error)) return false;
      ++i;
    }
    return true;
  }

  append_found(error, value, false);
  append_record_expected<Record>(error);
  return false;
}

template <class Record>
Result<Record> read_record(const element& value) {
  // One named result and one return, so the record is built in the caller's storage.
  Result<Record> result(std::in_place);
  if (std::string error; !read_fields(value, *result, error)) {
    result = robot_behavior::fail(robot_behavior::RobotException::deserialize(std::move(error)));
  }
  return result;
}

element parse_or_panic(simdjson::dom::parser& parser, std::string_view padded_text) {
  element root;
  const auto code = parser.parse(padded_text.data(), padded_text.size(), false).get(root);
  if (code != simdjson::SUCCESS) robot_behavior::panic(std::string(robot_behavior::parser_error_text(code)));
  return root;
}

}  // namespace

Result<DefaultState> read_default(const element& value) { return read_record<DefaultState>(value); }
Result<GetDataState> read_get_data(const element& value) { return read_record<GetDataState>(value); }

namespace {

// The usual reply is read in one pass; whatever that pass does not settle is read again
// from the start by the strict reader, which has the last word on every text.
template <class Record>
Result<Record> deserialize(simdjson::dom::parser& parser, std::string_view padded_text) {
  Result<Record> result(std::in_place);
  if (!one_pass::read(padded_text, *result)) result = read_record<Record>(parse_or_panic(parser, padded_text));
  return result;
}

}  // namespace

Result<DefaultState> deserialize_default(simdjson::dom::parser& parser, std::string_view padded_text) {
  return deserialize<DefaultState>(parser, padded_text);
}

Result<GetDataState> deserialize_get_data(simdjson::dom::parser& parser, std::string_view padded_text) {
  return deserialize<GetDataState>(parser, padded_text);
}

}  // namespace orvek
