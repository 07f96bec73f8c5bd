#pragma once
// Request records and their compact JSON text, written into a reusable buffer.
//
// Each body lists its fields once, X(member, "key", type), in the order the simulator reads
// (and reports) them; the text has its keys in byte order whatever that order is.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "types/command.hpp"
#include "types/fields.hpp"

namespace orvek {

// The key of the command name, written among a body's keys in byte order.
inline constexpr std::string_view kCommandKey = "cmdName";

// The body of every command that sends nothing but its name.
struct EmptyBody {
#define ORVEK_FIELDS(X)
  ORVEK_WIRE_FIELDS(EmptyBody, ORVEK_FIELDS)
#undef ORVEK_FIELDS
};

struct JointMoveData {
  static constexpr Command kCommand = Command::joint_move;
#define ORVEK_FIELDS(X)                                     \
  X(joint_position, "jointPosition", std::array<double, 6>) \
  X(speed, "speed", double)                                 \
  X(accel, "accel", double)                                 \
  X(rel_flag, "relFlag", std::uint8_t)
  ORVEK_WIRE_FIELDS(JointMoveData, ORVEK_FIELDS)
#undef ORVEK_FIELDS
};

struct MoveLData {
  static constexpr Command kCommand = Command::moveL;
#define ORVEK_FIELDS(X)                                   \
  X(cart_position, "cartPosition", std::array<double, 6>) \
  X(speed, "speed", double)                               \
  X(accel, "accel", double)                               \
  X(rel_flag, "relFlag", std::uint8_t)
  ORVEK_WIRE_FIELDS(MoveLData, ORVEK_FIELDS)
#undef ORVEK_FIELDS
};

struct ServoJData {
  static constexpr Command kCommand = Command::servo_j;
#define ORVEK_FIELDS(X)                                     \
  X(joint_position, "jointPosition", std::array<double, 6>) \
  X(rel_flag, "relFlag", std::uint8_t)
  ORVEK_WIRE_FIELDS(ServoJData, ORVEK_FIELDS)
#undef ORVEK_FIELDS
};

struct ServoPData {
  static constexpr Command kCommand = Command::servo_p;
#define ORVEK_FIELDS(X)                                 \
  X(cat_position, "catPosition", std::array<double, 6>) \
  X(rel_flag, "relFlag", std::uint8_t)
  ORVEK_WIRE_FIELDS(ServoPData, ORVEK_FIELDS)
#undef ORVEK_FIELDS
};

struct ServoMoveData {
  static constexpr Command kCommand = Command::servo_move;
#define ORVEK_FIELDS(X) X(rel_flag, "relFlag", std::uint8_t) /* 1 enters servo mode, 0 leaves it */
  ORVEK_WIRE_FIELDS(ServoMoveData, ORVEK_FIELDS)
#undef ORVEK_FIELDS
};

struct SetPayloadData {
  static constexpr Command kCommand = Command::set_payload;
#define ORVEK_FIELDS(X)   \
  X(mass, "mass", double) \
  X(centroid, "centroid", std::array<double, 3>)
  ORVEK_WIRE_FIELDS(SetPayloadData, ORVEK_FIELDS)
#undef ORVEK_FIELDS
};

template <class Body>
struct Request {
  Command command;
  Body body;
};

// Each writes one compact JSON object, keys in byte order, replacing the content of `out`.
void serialize_into(std::string& out, Command command, const EmptyBody& body);
void serialize_into(std::string& out, Command command, const JointMoveData& body);
void serialize_into(std::string& out, Command command, const MoveLData& body);
void serialize_into(std::string& out, Command command, const ServoJData& body);
void serialize_into(std::string& out, Command command, const ServoPData& body);
void serialize_into(std::string& out, Command command, const ServoMoveData& body);
void serialize_into(std::string& out, Command command, const SetPayloadData& body);

template <class Body>
void serialize_into(std::string& out, const Request<Body>& request) {
  serialize_into(out, request.command, request.body);
}

template <class Body>
std::string serialize(const Request<Body>& request) {
  std::string out;
  serialize_into(out, request);
  return out;
}

}  // namespace orvek
