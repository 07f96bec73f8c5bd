#include "request_reader.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <utility>

#include "robot_behavior/parser_error_text.hpp"

namespace orvek::sim {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// The values of a request body, each true when the element has the field's type.
bool read_value(const element& e, double& out) {
  double v;
  if (!e.is_number() || e.get_double().get(v) != simdjson::SUCCESS || !std::isfinite(v)) return false;
  out = v;
  return true;
}

bool read_value(const element& e, std::uint8_t& out) {
  const element_type type = e.type();
  std::uint64_t v = 0;
  bool ok = false;
  if (type == element_type::UINT64) {
    ok = e.get_uint64().get(v) == simdjson::SUCCESS;
  } else if (type == element_type::INT64) {
    std::int64_t s;
    ok = e.get_int64().get(s) == simdjson::SUCCESS && s >= 0;
    v = static_cast<std::uint64_t>(s);
  }
  if (!ok || v > 255) return false;
  out = static_cast<std::uint8_t>(v);
  return true;
}

template <std::size_t N>
bool read_value(const element& e, std::array<double, N>& out) {
  simdjson::dom::array array;
  if (e.get_array().get(array) != simdjson::SUCCESS) return false;
  std::size_t count = 0;
  for (element item : array) {
    if (count == N || !read_value(item, out[count])) return false;
    ++count;
  }
  return count == N;
}

// What a value that does not fit was expected to be.
std::string expected(double) { return "a number"; }
std::string expected(std::uint8_t) { return "an integer from 0 to 255"; }
template <std::size_t N>
std::string expected(const std::array<double, N>&) {
  return "an array of " + std::to_string(N) + " numbers";
}

std::string quoted(std::string_view key) { return "\"" + std::string(key) + "\""; }

// A body's fields, taken from the request's object (the last occurrence of a key counts) and
// read in the body's declaration order: the first missing or unfit one is the message.
template <class Data>
std::optional<std::string> read_fields(const simdjson::dom::object& object, Body& body) {
  using Table = fields::Table<Data>;
  std::array<std::optional<element>, Table::kCount> slots;
  for (auto [key, value] : object) {
    for (std::size_t i = 0; i < Table::kCount; ++i) {
      if (key == Table::keys[i]) slots[i] = value;
    }
  }
  Data data{};
  std::optional<std::string> error;
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    const auto read = [&](std::size_t index, auto& member) {
      if (!slots[index]) {
        error = "missing " + quoted(Table::keys[index]);
      } else if (!read_value(*slots[index], member)) {
        error = quoted(Table::keys[index]) + " must be " + expected(member);
      }
      return !error;
    };
    (read(I, data.*fields::kMember<Data, I>) && ...);
  }(std::make_index_sequence<Table::kCount>{});
  if (!error) body = data;
  return error;
}

// The body of `command`: the alternative of Body made for it, or EmptyBody.
template <std::size_t Alternative = 1>
std::optional<std::string> read_body(Command command, const simdjson::dom::object& object, Body& body) {
  if constexpr (Alternative == std::variant_size_v<Body>) {
    body = EmptyBody{};
    return std::nullopt;
  } else {
    using Data = std::variant_alternative_t<Alternative, Body>;
    if (command == Data::kCommand) return read_fields<Data>(object, body);
    return read_body<Alternative + 1>(command, object, body);
  }
}

}  // namespace

ReadResult RequestReader::read(std::string_view text, SimRequest& out) {
  out.name.clear();
  out.command.reset();
  out.body = EmptyBody{};

  padded_.assign(text);
  padded_.append(simdjson::SIMDJSON_PADDING, '\0');
  element root;
  const auto error = parser_.parse(padded_.data(), text.size(), false).get(root);
  if (error != simdjson::SUCCESS) {
    // Numbers that are valid JSON but do not fit a double or an integer are the only
    // parse failures of well-formed text: answer those instead of hanging up.
    if (robot_behavior::is_number_error(error)) {
      return {ReadStatus::Invalid, "number out of range"};
    }
    return {ReadStatus::NotJson, std::string(robot_behavior::parser_error_text(error))};
  }
  simdjson::dom::object object;
  if (root.get_object().get(object) != simdjson::SUCCESS) return {ReadStatus::NotJson, "not a JSON object"};

  std::optional<element> name;
  for (auto [key, value] : object) {
    if (key == kCommandKey) name = value;
  }
  if (!name) return {ReadStatus::Invalid, "missing " + quoted(kCommandKey)};
  std::string_view name_text;
  if (name->get_string().get(name_text) != simdjson::SUCCESS) {
    return {ReadStatus::Invalid, quoted(kCommandKey) + " must be a string"};
  }
  out.name.assign(name_text);
  out.command = command_from_wire_name(name_text);
  if (!out.command) return {ReadStatus::Ok, {}};
  if (auto e = read_body(*out.command, object, out.body)) return {ReadStatus::Invalid, std::move(*e)};
  return {ReadStatus::Ok, {}};
}

}  // namespace orvek::sim
