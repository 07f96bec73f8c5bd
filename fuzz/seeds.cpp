// fuzz_seeds DIR: writes the seed corpora, valid (and a few nearly valid) examples of each
// fuzzed input, into DIR/<target>/, one file per example.

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "types/reply.hpp"

namespace {

namespace fs = std::filesystem;

void write_all(const fs::path& dir, const std::vector<std::string>& examples) {
  fs::create_directories(dir);
  for (std::size_t i = 0; i < examples.size(); ++i) {
    std::ofstream out(dir / ("seed-" + std::to_string(i)), std::ios::binary);
    out << examples[i];
  }
}

std::vector<std::string> replies() {
  std::vector<std::string> texts = {
      R"({"errorCode":"0","errorMsg":""})",
      R"({"cmdName":"power_on","errorCode":"0","errorMsg":"ok"})",
      R"({"errorCode":"4","errorMsg":"a \"quoted\" \\ \u00e9 message"})",
      R"( ["0", "array form"] )",
      R"({"errorMsg":"x","errorCode":"1","errorCode":"0"})",
  };
  std::string text;
  orvek::GetDataState state = orvek::default_get_data_state();
  orvek::serialize_into(text, state);
  texts.push_back(text);
  state.joint_actual_position = {0.5, -1.25, 3.0, 1e-5, 12345.678, -0.0};
  state.actual_position = {400.0, -0.1, 300.0, 3.14159, 0.0, -1.5707963267948966};
  state.din[3] = 1;
  state.ain[7] = 2.5e10;
  state.len = 65535;
  state.task_state = 255;
  state.enabled = true;
  state.curr_tcp_trans_vel = 0.25;
  state.error_msg = "tab\tnewline\n";
  orvek::serialize_into(text, state);
  texts.push_back(text);
  return texts;
}

std::vector<std::string> scanner_texts() {
  std::vector<std::string> texts = replies();
  texts.insert(texts.end(), {
                                R"( [ -0.5e+3 , 10E-2, 0, true, false, null, [], {}, [[{"a":{"b":[]}}]] ] )",
                                R"({"a":"\ud834\udd1e \u00e9 é 𝄞 \/ \b\f\n\r\t"})",
                                "12", "\"text\"", "{} trailing", "[1,2",
                            });
  // Every seed once byte by byte and once in larger reads: the first byte chooses.
  std::vector<std::string> seeds;
  for (const std::string& t : texts) {
    seeds.push_back('\0' + t);
    seeds.push_back('\x05' + t);
  }
  return seeds;
}

std::vector<std::string> path_files() {
  return {
      "[]",
      R"([{"Joint": [0, 0.5, 1.0, 0, 1.57, 0]}, {"Cartesian": {"Euler": [[400, 0, 300], [3.14159, 0, 0]]}}, "Stop"])",
      R"([{"JointVel": [1, 2, 3, 4, 5, 6]}, {"CartesianVel": [1e-3, -2, 3.5, 0, 0, 0]},
          {"Position": [1, 2, 3]}, {"PositionVel": [0, 0, -1]}, {"Stop": null}])",
      R"([{"Cartesian": {"Quat": {"translation": [0, 0, 0], "rotation": [0, 0, 0, 1], "note": "x"}}},
          {"Cartesian": {"Quat": [[0, 0, 0, 2], [1, 2, 3]]}},
          {"Cartesian": {"Homo": [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1]}},
          {"Cartesian": {"AxisAngle": [[1, 2, 3], [0, 0, 1], 1.5707963267948966]}},
          {"Cartesian": {"Position": [1, 2, 3]}}])",
      "[\"Stop\"] x",
      R"([{"Joint": [1, 2, 3, 4, 5]}])",
  };
}

std::vector<std::string> pose_texts() {
  return {
      R"({"Euler": [[400, 0, 300], [3.14159, 0, 0]]})",
      R"({"Quat": {"rotation": [0, 0, 0, 1], "translation": [0, 0, 0]}})",
      R"({"Quat": [[0, 0, 0, 1], [1, 2, 3]]})",
      R"( {"Homo": [-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 1, 2, 3, 1]} )",
      R"({"AxisAngle": [[0, 0, 0], [1, 0, 0], 3.141592653589793]})",
      R"({"Position": [1e3, -2E-2, 0]})",
      "OCS",
      "Interial",
  };
}

std::string doubles(std::initializer_list<double> values) {
  std::string bytes(values.size() * sizeof(double), '\0');
  std::size_t at = 0;
  for (double v : values) {
    std::memcpy(bytes.data() + at, &v, sizeof v);
    at += sizeof v;
  }
  return bytes;
}

std::vector<std::string> pose_numbers() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double tiny = std::numeric_limits<double>::denorm_min();
  return {
      doubles({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 10, 20, 30, 1}),
      doubles({-1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1}),   // half turn about y
      doubles({-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1}),  // minus the identity
      doubles({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
      doubles({nan, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}),
      doubles({inf, 0, 0, 0, 0, -inf, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}),
      doubles({1e308, 0, 0, 0, 0, 1e308, 0, 0, 0, 0, -1e308, 0, 0, 0, 0, 1}),
      doubles({tiny, 0, 0, 0, 0, tiny, 0, 0, 0, 0, tiny, 0, 0, 0, 0, 1}),
      doubles({0.36, 0.48, -0.8, 0, -0.8, 0.6, 0, 0, 0.48, 0.64, 0.6, 0, 1, 2, 3, 1}),
      doubles({2, 0.1, 0, 0, 0, 1.9, 0, 0, 0.05, 0, 2.1, 0, 0, 0, 0, 1}),  // scaled, not orthogonal
      doubles({0.5, 0.5, 0.5, 0.5, 3.14159, 0, 0}),
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: fuzz_seeds DIR\n", stderr);
    return 2;
  }
  const fs::path root = argv[1];
  write_all(root / "reply", replies());
  write_all(root / "scanner", scanner_texts());
  write_all(root / "path_file", path_files());
  write_all(root / "pose_text", pose_texts());
  write_all(root / "pose_math", pose_numbers());
  return 0;
}
