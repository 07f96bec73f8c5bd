#pragma once
// Scripted replies for tests: per command name, a queue of steps that replace the
// simulated reply (see sim/README.md for the file format).

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvek::sim {

struct Step {
  enum class Answer {
    Simulated,  // the simulator's own reply, possibly patched
    Bytes,      // `segments`, sent one after another with `pause` between them
    Nothing,    // no answer at all
    Close,      // close the connection instead of answering
  };
  Answer answer = Answer::Simulated;
  std::vector<std::string> segments;
  std::vector<std::pair<std::string, std::string>> patch;  // key, compact JSON value
  std::vector<std::string> remove;                          // keys left out
  double delay = 0.0;   // seconds before the first byte (or the close)
  double pause = 0.05;  // seconds between segments
  bool execute = true;  // whether the simulator carries the command out
  bool then_close = false;
  unsigned times = 1;
};

class Script {
 public:
  // Reads a script; on error returns the reason (with the JSON path of the fault).
  static std::optional<std::string> parse(std::string_view text, Script& out);
  static std::optional<std::string> load_file(const std::string& path, Script& out);

  bool empty() const { return entries_.empty(); }
  // The step for the next request named `name`, used up as it is returned; empty when
  // the script leaves this request to the simulator.
  std::optional<Step> next(std::string_view name);

 private:
  struct Entry {
    std::deque<Step> steps;
    std::optional<Step> fallback;  // "default": used once the steps have run out
  };
  std::map<std::string, Entry, std::less<>> entries_;
};

// The simulated reply `simulated` (a JSON object) with the step's keys replaced or added
// and removed. A reply that is not an object is returned unchanged.
std::string apply_patch(std::string_view simulated, const Step& step);

}  // namespace orvek::sim
