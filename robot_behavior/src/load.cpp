#include "robot_behavior/load.hpp"

#include "robot_behavior/number_format.hpp"

namespace robot_behavior {

std::string debug(const LoadState& load) {
  std::string out = "LoadState { m: ";
  append_debug(out, load.m);
  out += ", x: ";
  append_debug_list(out, load.x.data(), load.x.size());
  out += ", i: ";
  append_debug_list(out, load.i.data(), load.i.size());
  out += " }";
  return out;
}

}  // namespace robot_behavior
