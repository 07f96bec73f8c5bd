#include "script.hpp"

#include <cmath>
#include <fstream>
#include <sstream>

#include <simdjson.h>

#include "robot_behavior/parser_error_text.hpp"
#include "robot_behavior/string_escape.hpp"

namespace orvek::sim {

namespace {

using simdjson::dom::element;

struct Fault {
  std::string message;
};

std::optional<Fault> bytes_from_hex(std::string_view hex, std::string& out, const std::string& where) {
  out.clear();
  int high = -1;
  for (char ch : hex) {
    if (ch == ' ' || ch == ':' || ch == '\n' || ch == '\t') continue;
    int v;
    if (ch >= '0' && ch <= '9') v = ch - '0';
    else if (ch >= 'a' && ch <= 'f') v = ch - 'a' + 10;
    else if (ch >= 'A' && ch <= 'F') v = ch - 'A' + 10;
    else return Fault{where + ": not a hex digit: '" + std::string(1, ch) + "'"};
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high * 16 + v);
      high = -1;
    }
  }
  if (high >= 0) return Fault{where + ": odd number of hex digits"};
  return std::nullopt;
}

std::optional<Fault> read_ms(element value, const std::string& where, double& seconds) {
  double ms;
  if (!value.is_number() || value.get_double().get(ms) != simdjson::SUCCESS || !std::isfinite(ms) || ms < 0 ||
      ms > 3.6e6) {
    return Fault{where + ": expected a number of milliseconds from 0 to 3600000"};
  }
  seconds = ms / 1000.0;
  return std::nullopt;
}

std::optional<Fault> read_bool(element value, const std::string& where, bool& out) {
  if (value.get_bool().get(out) != simdjson::SUCCESS) return Fault{where + ": expected true or false"};
  return std::nullopt;
}

std::optional<Fault> read_step(element value, const std::string& where, Step& step) {
  simdjson::dom::object object;
  if (value.get_object().get(object) != simdjson::SUCCESS) return Fault{where + ": a step must be an object"};
  int answers = 0;
  std::optional<bool> execute;
  bool has_pause = false;
  bool has_patch = false;
  bool then_close = false;
  for (auto [key_view, field] : object) {
    const std::string key(key_view);
    const std::string at = where + "." + key;
    if (key == "reply") {
      ++answers;
      step.answer = Step::Answer::Bytes;
      step.segments = {simdjson::minify(field)};
    } else if (key == "raw" || key == "hex") {
      ++answers;
      std::string_view text;
      if (field.get_string().get(text) != simdjson::SUCCESS) return Fault{at + ": expected a string"};
      step.answer = Step::Answer::Bytes;
      step.segments.assign(1, std::string(text));
      if (key == "hex") {
        if (auto f = bytes_from_hex(text, step.segments[0], at)) return f;
      }
    } else if (key == "segments") {
      ++answers;
      simdjson::dom::array array;
      if (field.get_array().get(array) != simdjson::SUCCESS) return Fault{at + ": expected an array"};
      step.answer = Step::Answer::Bytes;
      step.segments.clear();
      std::size_t index = 0;
      for (element item : array) {
        const std::string item_at = at + "[" + std::to_string(index++) + "]";
        std::string_view text;
        simdjson::dom::object hex_object;
        if (item.get_string().get(text) == simdjson::SUCCESS) {
          step.segments.emplace_back(text);
        } else if (item.get_object().get(hex_object) == simdjson::SUCCESS && hex_object.size() == 1 &&
                   hex_object["hex"].get_string().get(text) == simdjson::SUCCESS) {
          step.segments.emplace_back();
          if (auto f = bytes_from_hex(text, step.segments.back(), item_at + ".hex")) return f;
        } else {
          return Fault{item_at + ": expected a string or {\"hex\": \"...\"}"};
        }
      }
      if (step.segments.empty()) return Fault{at + ": expected at least one segment"};
    } else if (key == "no_reply" || key == "close") {
      ++answers;
      bool on;
      if (auto f = read_bool(field, at, on)) return f;
      if (!on) return Fault{at + ": only true is meaningful"};
      step.answer = key == "close" ? Step::Answer::Close : Step::Answer::Nothing;
    } else if (key == "patch") {
      has_patch = true;
      simdjson::dom::object patch;
      if (field.get_object().get(patch) != simdjson::SUCCESS) return Fault{at + ": expected an object"};
      for (auto [k, v] : patch) step.patch.emplace_back(std::string(k), simdjson::minify(v));
    } else if (key == "remove") {
      has_patch = true;
      simdjson::dom::array array;
      if (field.get_array().get(array) != simdjson::SUCCESS) return Fault{at + ": expected an array of key names"};
      for (element item : array) {
        std::string_view name;
        if (item.get_string().get(name) != simdjson::SUCCESS) return Fault{at + ": expected an array of key names"};
        step.remove.emplace_back(name);
      }
    } else if (key == "delay_ms") {
      if (auto f = read_ms(field, at, step.delay)) return f;
    } else if (key == "pause_ms") {
      has_pause = true;
      if (auto f = read_ms(field, at, step.pause)) return f;
    } else if (key == "execute") {
      bool on;
      if (auto f = read_bool(field, at, on)) return f;
      execute = on;
    } else if (key == "then_close") {
      if (auto f = read_bool(field, at, then_close)) return f;
    } else if (key == "times") {
      std::uint64_t n;
      if (field.get_uint64().get(n) != simdjson::SUCCESS || n < 1 || n > 1000000000) {
        return Fault{at + ": expected a whole number from 1"};
      }
      step.times = static_cast<unsigned>(n);
    } else {
      return Fault{at + ": unknown key"};
    }
  }
  if (answers > 1) {
    return Fault{where + ": give at most one of reply, raw, hex, segments, no_reply, close"};
  }
  if (has_patch && answers > 0) return Fault{where + ": patch and remove apply to the simulated reply only"};
  if (has_pause && (step.answer != Step::Answer::Bytes || step.segments.size() < 2)) {
    return Fault{where + ": pause_ms needs segments"};
  }
  if (then_close && (step.answer == Step::Answer::Nothing || step.answer == Step::Answer::Close)) {
    return Fault{where + ": then_close needs an answer to send"};
  }
  step.then_close = then_close;
  if (step.answer == Step::Answer::Simulated) {
    if (execute && !*execute) return Fault{where + ": a simulated reply always carries the command out"};
    step.execute = true;
  } else {
    step.execute = execute.value_or(false);
  }
  return std::nullopt;
}

std::optional<Fault> read_steps(element value, const std::string& where, std::deque<Step>& steps) {
  simdjson::dom::array array;
  if (value.get_array().get(array) != simdjson::SUCCESS) return Fault{where + ": expected an array of steps"};
  std::size_t index = 0;
  for (element item : array) {
    Step step;
    if (auto f = read_step(item, where + "[" + std::to_string(index++) + "]", step)) return f;
    steps.push_back(std::move(step));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> Script::parse(std::string_view text, Script& out) {
  const std::lock_guard lock(out.mutex_);
  out.entries_.clear();
  simdjson::dom::parser parser;
  const simdjson::padded_string padded(text);
  element root;
  if (auto error = parser.parse(padded).get(root)) return std::string("not valid JSON: ") + std::string(robot_behavior::parser_error_text(error));
  simdjson::dom::object object;
  if (root.get_object().get(object) != simdjson::SUCCESS) return std::string("the script must be a JSON object");
  for (auto [name_view, value] : object) {
    const std::string name(name_view);
    const std::string where = "$." + name;
    Entry& entry = out.entries_[name];
    entry = Entry{};
    simdjson::dom::object detailed;
    if (value.get_object().get(detailed) == simdjson::SUCCESS) {
      for (auto [key_view, field] : detailed) {
        const std::string key(key_view);
        if (key == "steps") {
          if (auto f = read_steps(field, where + ".steps", entry.steps)) return f->message;
        } else if (key == "default") {
          Step step;
          if (auto f = read_step(field, where + ".default", step)) return f->message;
          if (step.times != 1) return where + ".default: times does not apply to the default step";
          entry.fallback = std::move(step);
        } else {
          return where + "." + key + ": unknown key (expected steps or default)";
        }
      }
    } else if (auto f = read_steps(value, where, entry.steps)) {
      return f->message;
    }
  }
  return std::nullopt;
}

std::optional<std::string> Script::load_file(const std::string& path, Script& out) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return "cannot open " + path;
  std::ostringstream text;
  text << file.rdbuf();
  if (auto error = parse(text.str(), out)) return path + ": " + *error;
  return std::nullopt;
}

bool Script::empty() const {
  const std::lock_guard lock(mutex_);
  return entries_.empty();
}

std::optional<Step> Script::next(std::string_view name) {
  const std::lock_guard lock(mutex_);
  const auto find = [&](std::string_view key) -> Entry* {
    const auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
  };
  Entry* own = name.empty() ? nullptr : find(name);
  Entry* any = find(kAnyRequest);
  for (Entry* entry : {own, any}) {
    if (entry == nullptr || entry->steps.empty()) continue;
    Step& front = entry->steps.front();
    Step step = front;
    if (--front.times == 0) entry->steps.pop_front();
    return step;
  }
  for (Entry* entry : {own, any}) {
    if (entry != nullptr && entry->fallback) return entry->fallback;
  }
  return std::nullopt;
}

void Script::add(std::string_view name, Step step) {
  const std::lock_guard lock(mutex_);
  entries_[std::string(name)].steps.push_back(std::move(step));
}

void Script::set_default(std::string_view name, Step step) {
  const std::lock_guard lock(mutex_);
  entries_[std::string(name)].fallback = std::move(step);
}

namespace {
// The text of one value inside the document, as written there.
bool raw_value(simdjson::ondemand::value& value, std::string_view& raw) {
  simdjson::ondemand::json_type type;
  if (value.type().get(type) != simdjson::SUCCESS) return false;
  if (type == simdjson::ondemand::json_type::array) {
    simdjson::ondemand::array array;
    return value.get_array().get(array) == simdjson::SUCCESS && array.raw_json().get(raw) == simdjson::SUCCESS;
  }
  if (type == simdjson::ondemand::json_type::object) {
    simdjson::ondemand::object object;
    return value.get_object().get(object) == simdjson::SUCCESS && object.raw_json().get(raw) == simdjson::SUCCESS;
  }
  raw = value.raw_json_token();
  return true;
}
}  // namespace

std::string apply_patch(std::string_view simulated, const Step& step) {
  // Values that are kept are copied byte for byte from the simulated reply.
  simdjson::ondemand::parser parser;
  const simdjson::padded_string padded(simulated);
  simdjson::ondemand::document doc;
  simdjson::ondemand::object object;
  if (parser.iterate(padded).get(doc) != simdjson::SUCCESS || doc.get_object().get(object) != simdjson::SUCCESS) {
    return std::string(simulated);
  }
  std::string out = "{";
  std::vector<bool> used(step.patch.size(), false);
  bool first = true;
  const auto add = [&](std::string_view key, std::string_view value) {
    if (!first) out += ',';
    first = false;
    robot_behavior::append_quoted(out, key, robot_behavior::Escapes::Json);
    out += ':';
    out += value;
  };
  const auto removed = [&](std::string_view key) {
    for (const auto& r : step.remove)
      if (r == key) return true;
    return false;
  };
  for (auto field : object) {
    std::string_view key;
    std::string_view raw;
    if (field.unescaped_key().get(key) != simdjson::SUCCESS) return std::string(simulated);
    const std::string key_copy(key);  // the key's storage is reused by the next field
    simdjson::ondemand::value value = field.value();
    if (!raw_value(value, raw)) return std::string(simulated);
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\n' || raw.back() == '\r' || raw.back() == '\t')) {
      raw.remove_suffix(1);
    }
    if (removed(key_copy)) continue;
    bool replaced = false;
    for (std::size_t i = 0; i < step.patch.size(); ++i) {
      if (step.patch[i].first != key_copy) continue;
      if (!used[i]) add(key_copy, step.patch[i].second);
      used[i] = true;
      replaced = true;
    }
    if (!replaced) add(key_copy, raw);
  }
  for (std::size_t i = 0; i < step.patch.size(); ++i) {
    if (!used[i] && !removed(step.patch[i].first)) add(step.patch[i].first, step.patch[i].second);
  }
  out += '}';
  return out;
}

}  // namespace orvek::sim
