#include "robot_behavior/path_file.hpp"

#include <optional>
#include <simdjson.h>

#include "json_syntax.hpp"
#include "robot_behavior/parser_error_text.hpp"
#include "robot_behavior/string_escape.hpp"

namespace robot_behavior {
namespace {

namespace od = simdjson::ondemand;

// A fault found while reading: where (byte offset) and what.
struct Fault {
  std::size_t offset = 0;
  std::string message;
};

std::string_view type_name(od::json_type type) {
  switch (type) {
    case od::json_type::array: return "an array";
    case od::json_type::object: return "an object";
    case od::json_type::number: return "a number";
    case od::json_type::string: return "a string";
    case od::json_type::boolean: return "a boolean";
    case od::json_type::null: return "null";
  }
  return "a value";
}

// A name from the text, quoted for a message: escapes control characters and cuts
// long names (on a character boundary).
std::string quoted(std::string_view name) {
  constexpr std::size_t kLongest = 48;
  std::size_t end = name.size();
  if (end > kLongest) {
    end = kLongest;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
  }
  std::string out = "\"";
  append_escaped(out, name.substr(0, end), Escapes::Name);
  if (end < name.size()) out += "...";
  out += '"';
  return out;
}

std::string count_text(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " item" : " items");
}

// "A", "B" or "C": the names a tagged object may carry, for messages.
template <class Kinds>
std::string names_text(const Kinds& kinds) {
  std::string out;
  for (std::size_t i = 0; i < std::size(kinds); ++i) {
    if (i > 0) out += i + 1 == std::size(kinds) ? " or " : ", ";
    out += '"';
    out += kinds[i].name;
    out += '"';
  }
  return out;
}

// The entry of `kinds` named `key`, or null.
template <class Kinds>
auto find_kind(const Kinds& kinds, std::string_view key) -> decltype(&kinds[0]) {
  for (const auto& kind : kinds) {
    if (kind.name == key) return &kind;
  }
  return nullptr;
}

// Walks a document with the on-demand parser, reading the targets and poses it holds
// and validating every value on the way, skipped ones included. Each read returns
// false after recording the first fault.
class Reader {
 public:
  Reader(const simdjson::padded_string& text, od::document& doc) : base_(text.data()), size_(text.size()), doc_(doc) {}

  const Fault& fault() const { return fault_; }

  bool fail_syntax(std::size_t at, simdjson::error_code error) {
    fault_ = Fault{at, std::string("invalid JSON: ") + std::string(parser_error_text(error))};
    return false;
  }

  bool path(std::vector<Motion6>& out) {
    od::value root;
    if (!root_value(od::json_type::array, "a path: an array of motion targets", root)) return false;
    od::array items;
    if (auto error = root.get_array().get(items)) return fail_syntax(0, error);
    const DepthGuard depth(*this);
    if (!depth.ok()) return false;
    std::size_t index = 0;
    for (auto item : items) {
      od::value value;
      if (auto error = item.get(value)) return syntax_here(error);
      const Context context(*this, "item " + std::to_string(index++));
      Motion6 motion;
      if (!this->motion(value, motion)) return false;
      out.push_back(std::move(motion));
    }
    return at_end();
  }

  bool pose_root(Pose& out) {
    od::value root;
    if (!root_value(od::json_type::object, "a pose (an object with one member named " + pose_names() + ")",
                    root)) {
      return false;
    }
    return pose(root, out) && at_end();
  }

 private:
  // Context of a shape error: "item 2", "\"Cartesian\"", "element 0", ...
  class Context {
   public:
    Context(Reader& reader, std::string part) : reader_(reader) { reader_.context_.push_back(std::move(part)); }
    ~Context() { reader_.context_.pop_back(); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

   private:
    Reader& reader_;
  };

  // Nesting of arrays and objects, bounded as the syntax check bounds it.
  class DepthGuard {
   public:
    explicit DepthGuard(Reader& reader) : reader_(reader) { ++reader_.depth_; }
    ~DepthGuard() { --reader_.depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
    bool ok() const {
      if (reader_.depth_ <= kMaxJsonDepth) return true;
      reader_.fault_ = Fault{reader_.last_at_, "arrays and objects nested deeper than " + std::to_string(kMaxJsonDepth)};
      return false;
    }

   private:
    Reader& reader_;
  };

  std::size_t offset_of(od::value& value) {
    last_at_ = static_cast<std::size_t>(value.raw_json_token().data() - base_);
    return last_at_;
  }

  bool syntax_here(simdjson::error_code error) {
    auto location = doc_.current_location();
    std::size_t at = size_;
    if (!location.error()) at = static_cast<std::size_t>(location.value_unsafe() - base_);
    return fail_syntax(at, error);
  }

  bool shape(std::size_t at, std::string message) {
    if (!context_.empty()) {
      message += " (";
      for (std::size_t i = 0; i < context_.size(); ++i) {
        if (i != 0) message += " > ";
        message += context_[i];
      }
      message += ')';
    }
    fault_ = Fault{at, std::move(message)};
    return false;
  }

  bool type_of(od::value& value, std::size_t at, od::json_type& type) {
    if (auto error = value.type().get(type)) return fail_syntax(at, error);
    return true;
  }

  bool root_value(od::json_type wanted, const std::string& what, od::value& out) {
    od::json_type type{};
    if (auto error = doc_.type().get(type)) return syntax_here(error);
    std::size_t at = 0;
    while (at < size_ && is_json_space(base_[at])) ++at;
    if (type != wanted) return shape(at, "expected " + what + ", found " + std::string(type_name(type)));
    if (auto error = doc_.get_value().get(out)) return fail_syntax(at, error);
    return true;
  }

  bool at_end() {
    auto location = doc_.current_location();
    if (location.error() == simdjson::OUT_OF_BOUNDS) return true;
    if (location.error()) return fail_syntax(size_, location.error());
    fault_ = Fault{static_cast<std::size_t>(location.value_unsafe() - base_), "trailing characters after the JSON value"};
    return false;
  }

  bool number(od::value value, double& out) {
    const std::size_t at = offset_of(value);
    od::json_type type{};
    if (!type_of(value, at, type)) return false;
    if (type != od::json_type::number) return shape(at, "expected a number, found " + std::string(type_name(type)));
    if (auto error = value.get_double().get(out)) {
      if (error == simdjson::NUMBER_ERROR) {
        fault_ = Fault{at, "number out of range of a double"};
        return false;
      }
      return fail_syntax(at, error);
    }
    return true;
  }

  template <std::size_t N>
  bool numbers(od::value value, std::array<double, N>& out) {
    const std::string what = "an array of " + std::to_string(N) + (N == 1 ? " number" : " numbers");
    return sequence(value, N, what, [&](std::size_t index, od::value item) { return number(item, out[index]); });
  }

  // An array of exactly `count` items, each read by `read(index, value)`.
  template <class Read>
  bool sequence(od::value value, std::size_t count, const std::string& what, Read&& read) {
    const std::size_t at = offset_of(value);
    od::json_type type{};
    if (!type_of(value, at, type)) return false;
    if (type != od::json_type::array) return shape(at, "expected " + what + ", found " + std::string(type_name(type)));
    od::array items;
    if (auto error = value.get_array().get(items)) return fail_syntax(at, error);
    const DepthGuard depth(*this);
    if (!depth.ok()) return false;
    std::size_t index = 0;
    for (auto item : items) {
      od::value element;
      if (auto error = item.get(element)) return syntax_here(error);
      if (index < count) {
        const Context context(*this, "element " + std::to_string(index));
        if (!read(index, element)) return false;
      } else if (!skip(element)) {
        return false;
      }
      ++index;
    }
    if (index != count) return shape(at, "expected " + what + ", found " + count_text(index));
    return true;
  }

  // Each member of an object in order: `read(key, key_at, value)`, false to stop.
  template <class Read>
  bool each_member(od::value value, std::size_t at, Read&& read) {
    od::object object;
    if (auto error = value.get_object().get(object)) return fail_syntax(at, error);
    const DepthGuard depth(*this);
    if (!depth.ok()) return false;
    for (auto member : object) {
      od::field field;
      if (auto error = std::move(member).get(field)) return syntax_here(error);
      const auto key_at = static_cast<std::size_t>(field.key().raw() - base_) - 1;
      std::string_view key;
      if (auto error = field.unescaped_key().get(key)) return fail_syntax(key_at, error);
      if (!read(key, key_at, field.value())) return false;
    }
    return true;
  }

  // An object with exactly one member; `read(key, key_at, value)` reads that member.
  template <class Read>
  bool tagged(od::value value, std::size_t at, std::string_view names, Read&& read) {
    std::size_t members = 0;
    const bool ok = each_member(value, at, [&](std::string_view key, std::size_t key_at, od::value member) {
      if (++members > 1) {
        return shape(key_at, "expected an object with exactly one member, found a second member " + quoted(key));
      }
      return read(key, key_at, member);
    });
    if (!ok) return false;
    if (members == 0) {
      return shape(at, "expected an object with one member named " + std::string(names) + ", found an empty object");
    }
    return true;
  }

  bool motion(od::value value, Motion6& out) {
    const std::size_t at = offset_of(value);
    od::json_type type{};
    if (!type_of(value, at, type)) return false;
    if (type == od::json_type::string) {
      std::string_view text;
      if (auto error = value.get_string().get(text)) return fail_syntax(at, error);
      if (text == "Stop") {
        out.value = Motion6::Stop{};
        return true;
      }
      return shape(at, "expected a motion target, found the string " + quoted(text) +
                           ": only \"Stop\" may be written as a bare string");
    }
    if (type != od::json_type::object) {
      return shape(at, "expected a motion target (an object with one member named " + motion_names() +
                           ", or the string \"Stop\"), found " + std::string(type_name(type)));
    }
    return read_tagged(value, at, kMotionKinds, motion_names(), "unknown motion target", out);
  }

  // A tag and the reader of what it holds.
  template <class Out>
  struct Kind {
    std::string_view name;
    bool (Reader::*read)(od::value, Out&);
  };

  // An object of one member named after one of `kinds`, read by that kind's reader.
  template <class Out, std::size_t N>
  bool read_tagged(od::value value, std::size_t at, const Kind<Out> (&kinds)[N], const std::string& names,
                   std::string_view unknown, Out& out) {
    return tagged(value, at, names, [&](std::string_view key, std::size_t key_at, od::value payload) {
      const Kind<Out>* kind = find_kind(kinds, key);
      if (kind == nullptr) return shape(key_at, std::string(unknown) + " " + quoted(key) + ", expected " + names);
      const Context context(*this, quoted(key));
      return (this->*kind->read)(payload, out);
    });
  }

  // The motion targets a path may hold and the forms a pose may be written in.
  static const Kind<Motion6> kMotionKinds[7];
  static const Kind<Pose> kPoseKinds[5];

  static const std::string& motion_names() {
    static const std::string text = names_text(kMotionKinds);
    return text;
  }
  static const std::string& pose_names() {
    static const std::string text = names_text(kPoseKinds);
    return text;
  }

  // A form that is one array of numbers, read into its field `Numbers`.
  template <class Form, auto Numbers, class Out>
  bool numbers_form(od::value payload, Out& out) {
    Form form{};
    if (!numbers(payload, form.*Numbers)) return false;
    assign(out, form);
    return true;
  }
  static void assign(Motion6& out, const auto& target) { out.value = target; }
  static void assign(Pose& out, const auto& form) { out = form; }

  bool cartesian_target(od::value payload, Motion6& out) {
    Motion6::Cartesian target;
    if (!pose(payload, target.pose)) return false;
    out.value = target;
    return true;
  }

  bool stop_target(od::value payload, Motion6& out) {
    if (!null(payload)) return false;
    out.value = Motion6::Stop{};
    return true;
  }

  bool null(od::value value) {
    const std::size_t at = offset_of(value);
    od::json_type type{};
    if (!type_of(value, at, type)) return false;
    if (type != od::json_type::null) return shape(at, "expected null, found " + std::string(type_name(type)));
    bool is_null = false;
    if (auto error = value.is_null().get(is_null)) return fail_syntax(at, error);
    if (!is_null) return fail_syntax(at, simdjson::INCORRECT_TYPE);
    return true;
  }

  bool pose(od::value value, Pose& out) {
    const std::size_t at = offset_of(value);
    od::json_type type{};
    if (!type_of(value, at, type)) return false;
    if (type != od::json_type::object) {
      return shape(at, "expected a pose (an object with one member named " + pose_names() + "), found " +
                           std::string(type_name(type)));
    }
    return read_tagged(value, at, kPoseKinds, pose_names(), "unknown pose", out);
  }

  bool euler_pose(od::value payload, Pose& out) {
    Pose::Euler euler{};
    const bool ok = sequence(payload, 2, "an array of 2 arrays: 3 numbers, then 3 numbers",
                             [&](std::size_t index, od::value item) {
                               return numbers(item, index == 0 ? euler.translation : euler.angles);
                             });
    if (ok) out = euler;
    return ok;
  }

  bool quat_pose(od::value payload, Pose& out) {
    Isometry iso;
    if (!quat(payload, iso)) return false;
    out = iso;
    return true;
  }

  bool axis_angle_pose(od::value payload, Pose& out) {
    AxisAngle axis_angle{};
    const bool ok = sequence(payload, 3, "an array of 3 items: 3 numbers, 3 numbers, then a number",
                             [&](std::size_t index, od::value item) {
                               if (index == 0) return numbers(item, axis_angle.translation);
                               if (index == 1) return numbers(item, axis_angle.axis);
                               return number(item, axis_angle.angle);
                             });
    if (ok) out = axis_angle;
    return ok;
  }

  // Quat: {"rotation": [4], "translation": [3]} in any order, other members skipped;
  // or [[4], [3]].
  bool quat(od::value value, Isometry& out) {
    const std::size_t at = offset_of(value);
    od::json_type type{};
    if (!type_of(value, at, type)) return false;
    if (type == od::json_type::array) {
      return sequence(value, 2, "an array of 2 arrays: 4 numbers, then 3 numbers",
                      [&](std::size_t index, od::value item) {
                        return index == 0 ? numbers(item, out.rotation) : numbers(item, out.translation);
                      });
    }
    if (type != od::json_type::object) {
      return shape(at, R"(expected an object with members "rotation" and "translation", or an array of 2 arrays; found )" +
                           std::string(type_name(type)));
    }
    bool has_rotation = false;
    bool has_translation = false;
    const bool ok = each_member(value, at, [&](std::string_view key, std::size_t key_at, od::value member) {
      if (key != "rotation" && key != "translation") return skip(member);
      bool& seen = key == "rotation" ? has_rotation : has_translation;
      if (seen) return shape(key_at, "duplicate member " + quoted(key));
      seen = true;
      const Context context(*this, quoted(key));
      return key == "rotation" ? numbers(member, out.rotation) : numbers(member, out.translation);
    });
    if (!ok) return false;
    if (!has_rotation) return shape(at, R"(missing member "rotation")");
    if (!has_translation) return shape(at, R"(missing member "translation")");
    return true;
  }

  // Any JSON value, checked and dropped.
  bool skip(od::value value) {
    const std::size_t at = offset_of(value);
    od::json_type type{};
    if (!type_of(value, at, type)) return false;
    switch (type) {
      case od::json_type::array: {
        od::array items;
        if (auto error = value.get_array().get(items)) return fail_syntax(at, error);
        const DepthGuard depth(*this);
        if (!depth.ok()) return false;
        for (auto item : items) {
          od::value element;
          if (auto error = item.get(element)) return syntax_here(error);
          if (!skip(element)) return false;
        }
        return true;
      }
      case od::json_type::object: {
        od::object object;
        if (auto error = value.get_object().get(object)) return fail_syntax(at, error);
        const DepthGuard depth(*this);
        if (!depth.ok()) return false;
        for (auto member : object) {
          od::field field;
          if (auto error = std::move(member).get(field)) return syntax_here(error);
          std::string_view key;
          if (auto error = field.unescaped_key().get(key)) return syntax_here(error);
          if (!skip(field.value())) return false;
        }
        return true;
      }
      case od::json_type::number: {
        double number = 0.0;
        auto error = value.get_double().get(number);
        // A number too large for a double is still JSON, and this one is not used.
        if (error == simdjson::NUMBER_ERROR && is_json_number(value.raw_json_token())) return true;
        return error ? fail_syntax(at, error) : true;
      }
      case od::json_type::string: {
        std::string_view text;
        if (auto error = value.get_string().get(text)) return fail_syntax(at, error);
        return true;
      }
      case od::json_type::boolean: {
        bool flag = false;
        if (auto error = value.get_bool().get(flag)) return fail_syntax(at, error);
        return true;
      }
      case od::json_type::null:
        return null(value);
    }
    return true;
  }

  const char* base_;
  std::size_t size_;
  od::document& doc_;
  Fault fault_;
  std::vector<std::string> context_;
  std::size_t depth_ = 0;
  std::size_t last_at_ = 0;
};

// In the order the messages list them.
const Reader::Kind<Motion6> Reader::kMotionKinds[7] = {
    {"Joint", &Reader::numbers_form<Motion6::Joint, &Motion6::Joint::values>},
    {"JointVel", &Reader::numbers_form<Motion6::JointVel, &Motion6::JointVel::values>},
    {"Cartesian", &Reader::cartesian_target},
    {"CartesianVel", &Reader::numbers_form<Motion6::CartesianVel, &Motion6::CartesianVel::values>},
    {"Position", &Reader::numbers_form<Motion6::Position, &Motion6::Position::values>},
    {"PositionVel", &Reader::numbers_form<Motion6::PositionVel, &Motion6::PositionVel::values>},
    {"Stop", &Reader::stop_target},
};

const Reader::Kind<Pose> Reader::kPoseKinds[5] = {
    {"Euler", &Reader::euler_pose},
    {"Quat", &Reader::quat_pose},
    {"Homo", &Reader::numbers_form<Pose::Homo, &Pose::Homo::matrix>},
    {"AxisAngle", &Reader::axis_angle_pose},
    {"Position", &Reader::numbers_form<Pose::Position, &Pose::Position::translation>},
};

// Parses `text` with `read`; on failure the syntax check decides first, so a text that
// is not JSON is reported as such, with the place of its first fault.
template <class T, class Read>
std::expected<T, JsonTextError> parse_text(std::string_view text, Read&& read) {
  const simdjson::padded_string padded(text);
  od::parser parser;
  od::document doc;
  std::optional<Fault> fault;
  T out{};
  // Room for the nesting the reader allows, with the document level on top.
  if (auto error = parser.allocate(padded.size(), kMaxJsonDepth + 2)) {
    fault = Fault{0, std::string("invalid JSON: ") + std::string(parser_error_text(error))};
  } else if (auto error2 = parser.iterate(padded).get(doc)) {
    fault = Fault{0, std::string("invalid JSON: ") + std::string(parser_error_text(error2))};
  } else {
    Reader reader(padded, doc);
    if (!read(reader, out)) fault = reader.fault();
  }
  if (!fault) return out;
  if (auto syntax = find_json_syntax_error(text)) fault = Fault{syntax->offset, std::move(syntax->message)};
  const TextPosition where = text_position(text, fault->offset);
  return std::unexpected(JsonTextError{std::move(fault->message), where.line, where.column});
}

}  // namespace

std::expected<std::vector<Motion6>, JsonTextError> parse_path(std::string_view text) {
  return parse_text<std::vector<Motion6>>(text, [](Reader& reader, std::vector<Motion6>& out) { return reader.path(out); });
}

std::expected<Pose, JsonTextError> parse_pose(std::string_view text) {
  return parse_text<Pose>(text, [](Reader& reader, Pose& out) { return reader.pose_root(out); });
}

}  // namespace robot_behavior
