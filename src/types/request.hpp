#pragma once
// Request records and their compact JSON text, written into a reusable buffer.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "types/command.hpp"

namespace orvek {

struct EmptyBody {};

struct JointMoveData {
  std::array<double, 6> joint_position;  // "jointPosition"
  double speed;                          // "speed"
  double accel;                          // "accel"
  std::uint8_t rel_flag;                 // "relFlag"
};

struct MoveLData {
  std::array<double, 6> cart_position;  // "cartPosition"
  double speed;
  double accel;
  std::uint8_t rel_flag;
};

struct ServoJData {
  std::array<double, 6> joint_position;  // "jointPosition"
  std::uint8_t rel_flag;
};

struct ServoPData {
  std::array<double, 6> cat_position;  // "catPosition"
  std::uint8_t rel_flag;
};

struct ServoMoveData {
  std::uint8_t rel_flag;  // 1 enters servo mode, 0 leaves it
};

struct SetPayloadData {
  double mass;
  std::array<double, 3> centroid;
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
