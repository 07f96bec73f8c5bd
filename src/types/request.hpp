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

// A request body: its command and its fields.
#define ORVEK_WIRE_BODY(Body, command, LIST)              \
  struct Body {                                           \
    static constexpr Command kCommand = Command::command; \
    ORVEK_WIRE_FIELDS(Body, LIST)                         \
  };

// Every motion ends with "relFlag" (in "servo_move": 1 enters servo mode, 0 leaves it); a
// pre-planned one has its speed and acceleration before it.
#define ORVEK_REL_FLAG(X) X(rel_flag, "relFlag", std::uint8_t)
#define ORVEK_PLANNED(X) X(speed, "speed", double) X(accel, "accel", double) ORVEK_REL_FLAG(X)

#define ORVEK_JOINT_MOVE(X) X(joint_position, "jointPosition", std::array<double, 6>) ORVEK_PLANNED(X)
#define ORVEK_MOVE_L(X) X(cart_position, "cartPosition", std::array<double, 6>) ORVEK_PLANNED(X)
#define ORVEK_SERVO_J(X) X(joint_position, "jointPosition", std::array<double, 6>) ORVEK_REL_FLAG(X)
#define ORVEK_SERVO_P(X) X(cat_position, "catPosition", std::array<double, 6>) ORVEK_REL_FLAG(X)
#define ORVEK_SERVO_MOVE(X) ORVEK_REL_FLAG(X)
#define ORVEK_SET_PAYLOAD(X) X(mass, "mass", double) X(centroid, "centroid", std::array<double, 3>)

ORVEK_WIRE_BODY(JointMoveData, joint_move, ORVEK_JOINT_MOVE)
ORVEK_WIRE_BODY(MoveLData, moveL, ORVEK_MOVE_L)
ORVEK_WIRE_BODY(ServoJData, servo_j, ORVEK_SERVO_J)
ORVEK_WIRE_BODY(ServoPData, servo_p, ORVEK_SERVO_P)
ORVEK_WIRE_BODY(ServoMoveData, servo_move, ORVEK_SERVO_MOVE)
ORVEK_WIRE_BODY(SetPayloadData, set_payload, ORVEK_SET_PAYLOAD)

#undef ORVEK_WIRE_BODY
#undef ORVEK_REL_FLAG
#undef ORVEK_PLANNED
#undef ORVEK_JOINT_MOVE
#undef ORVEK_MOVE_L
#undef ORVEK_SERVO_J
#undef ORVEK_SERVO_P
#undef ORVEK_SERVO_MOVE
#undef ORVEK_SET_PAYLOAD

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
