#pragma once
// Scripted replies for tests: per command name, or for any request, a queue of steps that
// replace the simulated reply (see sim/README.md for the file format).

#include <deque>
#include <map>
#include <mutex>
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

// The steps of each command name, and of "*": any request, whatever its name. Steps may be
// added while a server uses the script from another thread.
class Script {
 public:
  static constexpr std::string_view kAnyRequest = "*";

  // Reads a script; on error returns the reason (with the JSON path of the fault).
  static std::optional<std::string> parse(std::string_view text, Script& out);
  static std::optional<std::string> load_file(const std::string& path, Script& out);

  bool empty() const;
  // The step for the next request named `name` (empty: it has none), used up as it is
  // returned: the next step of its name, else the next step of "*", else its name's
  // default, else the default of "*". Empty when the script leaves the request to the
  // simulator.
  std::optional<Step> next(std::string_view name);

  // Adds a step after the steps of `name`, or sets its default.
  void add(std::string_view name, Step step);
  void set_default(std::string_view name, Step step);

 private:
  struct Entry {
    std::deque<Step> steps;
    std::optional<Step> fallback;  // "default": used once the steps have run out
  };
  mutable std::mutex mutex_;
  std::map<std::string, Entry, std::less<>> entries_;
};

// The simulated reply `simulated` (a JSON object) with the step's keys replaced or added
// and removed. A reply that is not an object is returned unchanged.
std::string apply_patch(std::string_view simulated, const Step& step);

}  // namespace orvek::sim
