#include "types/request.hpp"

#include "types/json_object.hpp"
#include "types/json_write.hpp"

namespace orvek {
namespace {

// A request's keys: the body's, then "cmdName", whose value is the bare command name.
template <class Body>
struct RequestKeys {
  static constexpr std::size_t kName = fields::kCount<Body>;
  static constexpr auto value = [] {
    std::array<std::string_view, kName + 1> keys{};
    std::copy(fields::Table<Body>::keys.begin(), fields::Table<Body>::keys.end(), keys.begin());
    keys[kName] = kCommandKey;
    return keys;
  }();
  static constexpr auto quoted = [] {
    std::array<bool, kName + 1> marks{};
    marks[kName] = true;
    return marks;
  }();
};

template <class Body>
void write_request(std::string& out, Command command, const Body& body) {
  using Keys = RequestKeys<Body>;
  json::write_object<json::ObjectText<Keys>>(out, [&]<std::size_t I>(std::integral_constant<std::size_t, I>) {
    if constexpr (I == Keys::kName) {
      out += wire_name(command);  // a plain identifier: no escapes
    } else {
      json::append_value(out, body.*fields::kMember<Body, I>);
    }
  });
}

}  // namespace

void serialize_into(std::string& out, Command command, const EmptyBody& body) { write_request(out, command, body); }
void serialize_into(std::string& out, Command command, const JointMoveData& body) { write_request(out, command, body); }
void serialize_into(std::string& out, Command command, const MoveLData& body) { write_request(out, command, body); }
void serialize_into(std::string& out, Command command, const ServoJData& body) { write_request(out, command, body); }
void serialize_into(std::string& out, Command command, const ServoPData& body) { write_request(out, command, body); }
void serialize_into(std::string& out, Command command, const ServoMoveData& body) { write_request(out, command, body); }
void serialize_into(std::string& out, Command command, const SetPayloadData& d) { write_request(out, command, d); }

}  // namespace orvek
