#include "types/request.hpp"

#include "types/json_write.hpp"

namespace orvek {
namespace {

// Requests carry no text of the caller's: the only string is the command name, which is a
// plain identifier and needs no escapes.
void append_command(std::string& out, Command command) {
  out += "\"cmdName\":\"";
  out += wire_name(command);
  out += '"';
}

}  // namespace

void serialize_into(std::string& out, Command command, const EmptyBody&) {
  out.clear();
  out += '{';
  append_command(out, command);
  out += '}';
}

void serialize_into(std::string& out, Command command, const JointMoveData& body) {
  out.clear();
  out += "{\"accel\":";
  json::append_value(out, body.accel);
  out += ',';
  append_command(out, command);
  out += ",\"jointPosition\":";
  json::append_value(out, body.joint_position);
  out += ",\"relFlag\":";
  json::append_value(out, body.rel_flag);
  out += ",\"speed\":";
  json::append_value(out, body.speed);
  out += '}';
}

void serialize_into(std::string& out, Command command, const MoveLData& body) {
  out.clear();
  out += "{\"accel\":";
  json::append_value(out, body.accel);
  out += ",\"cartPosition\":";
  json::append_value(out, body.cart_position);
  out += ',';
  append_command(out, command);
  out += ",\"relFlag\":";
  json::append_value(out, body.rel_flag);
  out += ",\"speed\":";
  json::append_value(out, body.speed);
  out += '}';
}

void serialize_into(std::string& out, Command command, const ServoJData& body) {
  out.clear();
  out += '{';
  append_command(out, command);
  out += ",\"jointPosition\":";
  json::append_value(out, body.joint_position);
  out += ",\"relFlag\":";
  json::append_value(out, body.rel_flag);
  out += '}';
}

void serialize_into(std::string& out, Command command, const ServoPData& body) {
  out.clear();
  out += "{\"catPosition\":";
  json::append_value(out, body.cat_position);
  out += ',';
  append_command(out, command);
  out += ",\"relFlag\":";
  json::append_value(out, body.rel_flag);
  out += '}';
}

void serialize_into(std::string& out, Command command, const ServoMoveData& body) {
  out.clear();
  out += '{';
  append_command(out, command);
  out += ",\"relFlag\":";
  json::append_value(out, body.rel_flag);
  out += '}';
}

void serialize_into(std::string& out, Command command, const SetPayloadData& body) {
  out.clear();
  out += "{\"centroid\":";
  json::append_value(out, body.centroid);
  out += ',';
  append_command(out, command);
  out += ",\"mass\":";
  json::append_value(out, body.mass);
  out += '}';
}

}  // namespace orvek
