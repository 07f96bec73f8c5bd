// One pass of simdjson's On-Demand parser: each key is dispatched to its field as it comes
// and the value read at once, instead of building the parser's whole tape first and then
// walking it. Every case the reading does not settle by itself (an unknown, escaped or
// repeated key, the array form, a value of the wrong type, a number beyond what both
// parsers surely read alike) returns false and goes to the strict reader.

#include "types/reply_one_pass.hpp"

#include <simdjson.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>

#include "types/fields.hpp"
#include "types/reply_keys.hpp"

namespace orvek::one_pass {
namespace {

namespace od = simdjson::ondemand;
using simdjson::SUCCESS;

// The parser of the calling thread; its buffers are made at the first reply and reused.
od::parser& thread_parser() {
  thread_local od::parser parser(1u << 20);
  return parser;
}

// Each value is read through the iterator under it (value::get_double and the like only
// forward to it), and the object and its arrays are walked with their own iterators one
// level down: the object and array iterators re-check the error state and skip each child
// at every step, which is not needed when a failure ends the reading at once. The member is
// protected; a pointer to it formed through a derived class reaches it without bending an
// access rule (a simdjson that renames it fails to compile here).
struct ObjectIterator : od::object {
  static od::value_iterator& of(od::object& object) { return object.*(&ObjectIterator::iter); }
};

// Integers: only plain digits in range. get_uint64 refuses a sign, a fraction, an exponent
// and anything past 2^64 - 1, each of which the strict reader judges itself.
[[gnu::always_inline]] inline bool get(od::value_iterator& value, std::uint8_t& out) {
  std::uint64_t number = 0;
  if (value.get_uint64().get(number) != SUCCESS || number > 0xff) return false;
  out = static_cast<std::uint8_t>(number);
  return true;
}
[[gnu::always_inline]] inline bool get(od::value_iterator& value, std::uint16_t& out) {
  std::uint64_t number = 0;
  if (value.get_uint64().get(number) != SUCCESS || number > 0xffff) return false;
  out = static_cast<std::uint16_t>(number);
  return true;
}
// Doubles: the parse of the text, which for an integer the tape would hold as int64 or
// uint64 is the same double as the conversion of that integer. Two readings differ and go to
// the strict reader: "-0" (the integer 0 there, -0.0 here) and integers of 20 digits or
// more (refused there). The second give a magnitude of 9.2e18 or more here (checked after
// the parse). A -0.0 is checked against its text: "-0." and "-0e" are -0.0 for both readers
// ("-0.0" is what a controller writes for a coordinate a hair below zero), any other text
// that reads as -0.0 is left to the strict reader.
[[gnu::always_inline]] inline bool same_in_both(double number) { return !(std::fabs(number) >= 9.2e18); }
[[gnu::always_inline]] inline bool zero_read_alike(double number, const char* text) {
  if (number != 0.0 || !std::signbit(number)) [[likely]] return true;
  return text[0] == '-' && text[1] == '0' && (text[2] == '.' || text[2] == 'e' || text[2] == 'E');
}
// The On-Demand parse of simdjson 3.0 misreads a number of more than 19 significant digits
// whose integer part is 0 (0.33333333333333333333333 reads as 6.7e-7): past the zeros after
// the point it counts the digits from the wrong end. Such a text, "0." or "-0." and 19
// digits or more, spans at least 21 characters up to the next token; a number that long
// and starting with a zero goes to the strict reader, whose parse counts right.
[[gnu::always_inline]] inline bool parsed_right(od::value_iterator& value) {
  const od::json_iterator& text = value.json_iter();
  if (text.peek_length() < 21) [[likely]] return true;
  const char* const start = reinterpret_cast<const char*>(text.peek());
  return start[start[0] == '-'] != '0';
}
[[gnu::always_inline]] inline bool get_unchecked(od::value_iterator& value, double& out) {
  const char* const text = reinterpret_cast<const char*>(value.json_iter().peek());
  return parsed_right(value) && value.get_double().get(out) == SUCCESS && zero_read_alike(out, text);
}
[[gnu::always_inline]] inline bool get(od::value_iterator& value, double& out) {
  return get_unchecked(value, out) && same_in_both(out);
}
// The same check over a whole array once all its numbers are read, two at a time: fewer
// instructions than one check per number, and no branch of its own between the parses.
template <std::size_t N>
bool same_in_both(const std::array<double, N>& numbers) {
  using Doubles = double __attribute__((vector_size(16)));
  using Bits = std::int64_t __attribute__((vector_size(16)));
  constexpr Doubles kLimit{9.2e18, 9.2e18};
  constexpr Bits kMagnitude{INT64_MAX, INT64_MAX};
  Bits differ{0, 0};  // the sign bit set in a lane that differs
  for (std::size_t i = 0; i + 2 <= N; i += 2) {
    Doubles pair;
    std::memcpy(&pair, &numbers[i], sizeof pair);
    const Bits bits = reinterpret_cast<Bits>(pair);
    differ |= reinterpret_cast<Doubles>(bits & kMagnitude) >= kLimit;
  }
  if constexpr (N % 2 != 0) {
    if (!same_in_both(numbers[N - 1])) return false;
  }
  return (differ[0] | differ[1]) >= 0;
}
[[gnu::always_inline]] inline bool get(od::value_iterator& value, bool& out) {
  return value.get_bool().get(out) == SUCCESS;
}
// Newer simdjson releases ask whether a lone surrogate escape may become U+FFFD; it may not,
// as the DOM parser refuses it too. Earlier releases have no such choice and refuse it.
template <class Iterator>
simdjson::simdjson_result<std::string_view> string_of(Iterator& value) {
  if constexpr (requires { value.get_string(false); }) {
    return value.get_string(false);
  } else {
    return value.get_string();
  }
}
inline bool get(od::value_iterator& value, std::string& out) {
  std::string_view text;
  if (string_of(value).get(text) != SUCCESS) return false;
  out.assign(text);
  return true;
}

// An array element: a double is checked with the rest of its array after the last one.
[[gnu::always_inline]] inline bool get_element(od::value_iterator& item, double& out) {
  return get_unchecked(item, out);
}
[[gnu::always_inline]] inline bool get_element(od::value_iterator& item, std::uint8_t& out) { return get(item, out); }

template <class T, std::size_t N>
bool get(od::value_iterator& array, std::array<T, N>& out) {
  static_assert(N > 0);
  bool more = false;
  if (array.start_array().get(more) != SUCCESS || !more) return false;
  // Bytes written through a uint8_t may alias anything; a local array that never escapes
  // lets the compiler keep the parser's state in registers.
  std::conditional_t<sizeof(T) == 1, std::array<T, N>, std::array<T, N>&> values = out;
  std::size_t index = 0;
  do {
    if (index == N) return false;
    od::value_iterator item = array.child();
    if (!get_element(item, values[index++])) return false;
    if (array.has_next_element().get(more) != SUCCESS) return false;
  } while (more);
  if (index != N) return false;
  if constexpr (sizeof(T) == 1) out = values;
  if constexpr (std::is_same_v<T, double>) return same_in_both(out);
  return true;
}

template <class Record>
using Getter = bool (*)(od::value_iterator&, Record&);

template <auto Member, class Record>
bool get_member(od::value_iterator& value, Record& record) {
  return get(value, record.*Member);
}

// One getter per field, in declaration order.
template <class Record>
inline constexpr auto kGetters =
    fields::per_field<Record>([]<auto Member>() -> Getter<Record> { return &get_member<Member, Record>; });

// The key as written between its quotes, when it holds no escape; false for a key that does.
// A key is its unescaped text: "errorMsg\\"a" is not "errorMsg", and "\\u006cen" is "len". Only
// the strict reader unescapes, so an escaped key is left to it.
[[gnu::always_inline]] inline bool unescaped_key(const od::raw_json_string& key, std::string_view& text) {
  const char* const start = key.raw();
  const char* end = start;
  while (*end != '"' && *end != '\\') ++end;
  text = {start, static_cast<std::size_t>(end - start)};
  return *end == '"';
}

// A key of no field is passed over, as the strict reader passes it over, when its value is a
// string ("cmdName" where a controller names the command it answers), which is read to check
// it. Any other value could hide a fault that only a full parse reports: it is left to the
// strict reader.
inline bool passed_over(od::value_iterator& value) {
  std::string_view text;
  return string_of(value).get(text) == SUCCESS;
}

// Replies are written with their keys in byte order, so the key after a field is most
// likely the next one in that order: its bytes and closing quote, compared a word at a
// time, settle the key without hashing it. No field's key holds a quote or a backslash, so
// a match is the whole key, unescaped. Any other key goes through the hash table.
struct KeyWords {
  static constexpr std::size_t kWords = 3;
  std::uint64_t word[kWords]{};  // the key and its closing quote, as loaded from the text
  std::uint64_t mask[kWords]{};  // the bytes those cover
  std::size_t index = 0;
};

template <class Record>
constexpr auto make_guesses() {
  constexpr auto& keys = fields::Table<Record>::keys;
  constexpr auto& order = fields::Table<Record>::order;
  // guesses[0]: the first key; guesses[i + 1]: the key after field i.
  std::array<KeyWords, keys.size() + 1> guesses{};
  const auto words_of = [&](std::size_t index) {
    KeyWords key;
    key.index = index;
    const std::string_view text = keys[index];
    if (text.size() >= 8 * KeyWords::kWords) throw "a key longer than its words";  // ends the constant evaluation
    for (std::size_t i = 0; i <= text.size(); ++i) {
      const std::uint64_t byte = i < text.size() ? static_cast<unsigned char>(text[i]) : std::uint64_t{'"'};
      const unsigned shift = std::endian::native == std::endian::little ? 8 * (i % 8) : 56 - 8 * (i % 8);
      key.word[i / 8] |= byte << shift;
      key.mask[i / 8] |= std::uint64_t{0xff} << shift;
    }
    return key;
  };
  guesses[0] = words_of(order[0]);
  for (std::size_t i = 0; i < order.size(); ++i) {
    guesses[order[i] + 1] = words_of(order[(i + 1) % order.size()]);
  }
  return guesses;
}

template <class Record>
inline constexpr auto kGuesses = make_guesses<Record>();

// Reads kWords words from `start`: a key starts inside the text, and the padding after the
// text is longer than any key.
static_assert(8 * KeyWords::kWords <= simdjson::SIMDJSON_PADDING);
[[gnu::always_inline]] inline bool is_key(const char* start, const KeyWords& key) {
  std::uint64_t differ = 0;
  for (std::size_t i = 0; i < KeyWords::kWords; ++i) {
    std::uint64_t word = 0;
    std::memcpy(&word, start + 8 * i, sizeof word);
    differ |= (word ^ key.word[i]) & key.mask[i];
  }
  return differ == 0;
}

template <class Record>
bool read_record(std::string_view padded_text, Record& record) {
  constexpr std::size_t kCount = fields::kCount<Record>;
  static_assert(kCount < 64, "the seen-mask holds one bit per field");
  constexpr std::uint64_t kAll = (std::uint64_t{1} << kCount) - 1;
  constexpr auto& getters = kGetters<Record>;

  od::document document;
  const simdjson::padded_string_view text(padded_text.data(), padded_text.size(),
                                          padded_text.size() + simdjson::SIMDJSON_PADDING);
  if (thread_parser().iterate(text).get(document) != SUCCESS) return false;
  od::object object;
  if (document.get_object().get(object) != SUCCESS) return false;
  // An empty object is already closed; every other starts at its first key.
  od::value_iterator& fields = ObjectIterator::of(object);
  if (!fields.is_open()) return false;
  std::uint64_t seen = 0;
  const KeyWords* guess = &kGuesses<Record>[0];
  bool more = false;
  do {
    od::raw_json_string key;
    if (fields.field_key().get(key) != SUCCESS || fields.field_value() != SUCCESS) return false;
    std::size_t index = guess->index;
    if (!is_key(key.raw(), *guess)) {
      std::string_view written;
      if (!unescaped_key(key, written)) return false;
      index = reply_keys::field_index<Record>(written);
    }
    od::value_iterator value = fields.child();
    if (index == reply_keys::kUnknownKey<Record>) {
      if (!passed_over(value)) return false;
    } else {
      guess = &kGuesses<Record>[index + 1];
      const std::uint64_t bit = std::uint64_t{1} << index;
      if ((seen & bit) != 0 || !getters[index](value, record)) return false;
      seen |= bit;
    }
    if (fields.has_next_field().get(more) != SUCCESS) return false;
  } while (more);
  // Nothing but whitespace may follow the object: the iteration is then past the last token.
  const char* rest = nullptr;
  return seen == kAll && document.current_location().get(rest) == simdjson::OUT_OF_BOUNDS;
}

}  // namespace

void prepare(std::size_t size) {
  od::parser& parser = thread_parser();
  if (parser.capacity() < size && parser.allocate(size) != SUCCESS) throw std::bad_alloc();
}

bool read(std::string_view padded_text, DefaultState& out) {
  // The reply to nearly every command, every servo cycle's among them, in the controller's
  // own key order: known to the byte, it needs no parser.
  static constexpr std::string_view kSuccess = R"({"errorCode":"0","errorMsg":""})";
  if (padded_text == kSuccess) {
    out.error_code.assign(1, '0');
    out.error_msg.clear();
    return true;
  }
  return read_record(padded_text, out);
}
bool read(std::string_view padded_text, GetDataState& out) { return read_record(padded_text, out); }

}  // namespace orvek::one_pass
