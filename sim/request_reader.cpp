#include "request_reader.hpp"

#include <array>
#include <cmath>
#include <cstdint>

#include "robot_behavior/parser_error_text.hpp"

namespace orvek::sim {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// The body keys of the thirteen requests; the last occurrence of a key counts.
struct Fields {
  std::optional<element> joint_position, cart_position, cat_position, speed, accel, rel_flag, mass, centroid;
};

struct Error {
  std::string message;
};

std::optional<Error> need(const std::optional<element>& e, std::string_view key) {
  if (e) return std::nullopt;
  return Error{"missing \"" + std::string(key) + "\""};
}

std::optional<Error> read_double(const std::optional<element>& e, std::string_view key, double& out) {
  if (auto err = need(e, key)) return err;
  double v;
  if (!e->is_number() || e->get_double().get(v) != simdjson::SUCCESS || !std::isfinite(v)) {
    return Error{"\"" + std::string(key) + "\" must be a number"};
  }
  out = v;
  return std::nullopt;
}

std::optional<Error> read_u8(const std::optional<element>& e, std::string_view key, std::uint8_t& out) {
  if (auto err = need(e, key)) return err;
  const element_type type = e->type();
  std::uint64_t v = 0;
  bool ok = false;
  if (type == element_type::UINT64) {
    ok = e->get_uint64().get(v) == simdjson::SUCCESS;
  } else if (type == element_type::INT64) {
    std::int64_t s;
    ok = e->get_int64().get(s) == simdjson::SUCCESS && s >= 0;
    v = static_cast<std::uint64_t>(s);
  }
  if (!ok || v > 255) return Error{"\"" + std::string(key) + "\" must be an integer from 0 to 255"};
  out = static_cast<std::uint8_t>(v);
  return std::nullopt;
}

template <std::size_t N>
std::optional<Error> read_array(const std::optional<element>& e, std::string_view key, std::array<double, N>& out) {
  if (auto err = need(e, key)) return err;
  const auto fail = [&] { return Error{"\"" + std::string(key) + "\" must be an array of " + std::to_string(N) + " numbers"}; };
  simdjson::dom::array array;
  if (e->get_array().get(array) != simdjson::SUCCESS) return fail();
  std::size_t count = 0;
  for (element item : array) {
    double v;
    if (count == N || !item.is_number() || item.get_double().get(v) != simdjson::SUCCESS || !std::isfinite(v)) {
      return fail();
    }
    out[count++] = v;
  }
  if (count != N) return fail();
  return std::nullopt;
}

// A motion's body: its six-number target under `key`, the speed and acceleration of a
// planned motion, and "relFlag".
template <class Data, auto Target>
std::optional<Error> read_motion(const std::optional<element>& target, const char* key, const Fields& f, Body& body) {
  Data d{};
  if (auto e = read_array(target, key, d.*Target)) return e;
  if constexpr (requires { d.speed; d.accel; }) {
    if (auto e = read_double(f.speed, "speed", d.speed)) return e;
    if (auto e = read_double(f.accel, "accel", d.accel)) return e;
  }
  if (auto e = read_u8(f.rel_flag, "relFlag", d.rel_flag)) return e;
  body = d;
  return std::nullopt;
}

std::optional<Error> read_body(Command command, const Fields& f, Body& body) {
  switch (command) {
    case Command::joint_move:
      return read_motion<JointMoveData, &JointMoveData::joint_position>(f.joint_position, "jointPosition", f, body);
    case Command::moveL:
      return read_motion<MoveLData, &MoveLData::cart_position>(f.cart_position, "cartPosition", f, body);
    case Command::servo_j:
      return read_motion<ServoJData, &ServoJData::joint_position>(f.joint_position, "jointPosition", f, body);
    case Command::servo_p:
      return read_motion<ServoPData, &ServoPData::cat_position>(f.cat_position, "catPosition", f, body);
    case Command::servo_move: {
      ServoMoveData d{};
      if (auto e = read_u8(f.rel_flag, "relFlag", d.rel_flag)) return e;
      body = d;
      return std::nullopt;
    }
    case Command::set_payload: {
      SetPayloadData d{};
      if (auto e = read_double(f.mass, "mass", d.mass)) return e;
      if (auto e = read_array(f.centroid, "centroid", d.centroid)) return e;
      body = d;
      return std::nullopt;
    }
    default:
      body = EmptyBody{};
      return std::nullopt;
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

  Fields fields;
  std::optional<element> name;
  for (auto [key, value] : object) {
    if (key == "cmdName") name = value;
    else if (key == "jointPosition") fields.joint_position = value;
    else if (key == "cartPosition") fields.cart_position = value;
    else if (key == "catPosition") fields.cat_position = value;
    else if (key == "speed") fields.speed = value;
    else if (key == "accel") fields.accel = value;
    else if (key == "relFlag") fields.rel_flag = value;
    else if (key == "mass") fields.mass = value;
    else if (key == "centroid") fields.centroid = value;
  }
  if (!name) return {ReadStatus::Invalid, "missing \"cmdName\""};
  std::string_view name_text;
  if (name->get_string().get(name_text) != simdjson::SUCCESS) {
    return {ReadStatus::Invalid, "\"cmdName\" must be a string"};
  }
  out.name.assign(name_text);
  out.command = command_from_wire_name(name_text);
  if (!out.command) return {ReadStatus::Ok, {}};
  if (auto e = read_body(*out.command, fields, out.body)) return {ReadStatus::Invalid, std::move(e->message)};
  return {ReadStatus::Ok, {}};
}

}  // namespace orvek::sim
