#include "robot_behavior/path_file.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <simdjson.h>

namespace robot_behavior {
// Failures print the error as users see it.
void PrintTo(const JsonTextError& error, std::ostream* out) { *out << error.debug(); }
}  // namespace robot_behavior

using namespace robot_behavior;

namespace {

using M = Motion6;

std::vector<M> parsed(std::string_view text) {
  auto result = parse_path(text);
  EXPECT_TRUE(result.has_value()) << text << "\n" << (result ? "" : result.error().debug());
  return result ? *result : std::vector<M>{};
}

JsonTextError error_of(std::string_view text) {
  auto result = parse_path(text);
  EXPECT_FALSE(result.has_value()) << text;
  return result ? JsonTextError{} : result.error();
}

JsonTextError pose_error_of(std::string_view text) {
  auto result = parse_pose(text);
  EXPECT_FALSE(result.has_value()) << text;
  return result ? JsonTextError{} : result.error();
}

M cartesian(Pose pose) { return M{M::Cartesian{pose}}; }

// A file in the test's temporary directory, removed at the end of the test.
class TempFile {
 public:
  explicit TempFile(const std::string& content) {
    path_ = std::filesystem::temp_directory_path() /
            ("orvek_path_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++) + ".json");
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~TempFile() { std::filesystem::remove(path_); }
  std::string path() const { return path_.string(); }

 private:
  static inline int counter_ = 0;
  std::filesystem::path path_;
};

}  // namespace

TEST(PathFile, ReadsTheExampleFile) {
  const auto targets =
      parsed(R"([{"Joint": [0, 0.5, 1.0, 0, 1.57, 0]}, {"Cartesian": {"Euler": [[400, 0, 300], [3.14159, 0, 0]]}}, "Stop"])");
  const std::vector<M> expected{
      M{M::Joint{{0, 0.5, 1.0, 0, 1.57, 0}}},
      cartesian(Pose::Euler{{400, 0, 300}, {3.14159, 0, 0}}),
      M{M::Stop{}},
  };
  EXPECT_EQ(targets, expected);
}

TEST(PathFile, ReadsEveryTargetAndPoseForm) {
  const auto targets = parsed(R"(
    [ {"JointVel": [1, 2, 3, 4, 5, 6]},
      {"CartesianVel": [-1.5e3, 2E-2, 0.25, -0, 1e0, 7]},
      {"Position": [1, 2, 3]},
      {"PositionVel": [4, 5, 6]},
      {"Stop": null},
      {"Cartesian": {"Quat": {"translation": [1, 2, 3], "rotation": [0, 0, 0, 2], "note": {"x": [true, null, "y"]}}}},
      {"Cartesian": {"Quat": [[0, 0, 1, 0], [4, 5, 6]]}},
      {"Cartesian": {"Homo": [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1]}},
      {"Cartesian": {"AxisAngle": [[1, 2, 3], [0, 0, 2], 0.5]}},
      {"Cartesian": {"Position": [1, 2, 3]}},
      {"Jo\u0069nt": [18446744073709551616, 0, 0, 0, 0, 0]}
    ]
  )");
  const std::vector<M> expected{
      M{M::JointVel{{1, 2, 3, 4, 5, 6}}},
      M{M::CartesianVel{{-1500, 0.02, 0.25, -0.0, 1, 7}}},
      M{M::Position{{1, 2, 3}}},
      M{M::PositionVel{{4, 5, 6}}},
      M{M::Stop{}},
      cartesian(Pose::Quat{{0, 0, 0, 2}, {1, 2, 3}}),
      cartesian(Pose::Quat{{0, 0, 1, 0}, {4, 5, 6}}),
      cartesian(Pose::Homo{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1}}),
      cartesian(AxisAngle{{1, 2, 3}, {0, 0, 2}, 0.5}),
      cartesian(Pose::Position{{1, 2, 3}}),
      M{M::Joint{{18446744073709551616.0, 0, 0, 0, 0, 0}}},
  };
  EXPECT_EQ(targets, expected);
  EXPECT_TRUE(std::signbit(std::get<M::CartesianVel>(targets[1].value).values[3]));
}

TEST(PathFile, EmptyArrayAndWhitespaceEverywhereAreAccepted) {
  EXPECT_TRUE(parsed("[]").empty());
  EXPECT_TRUE(parsed(" \t\r\n[ \n ]\n\n").empty());
  EXPECT_EQ(parsed("\n[\n\"Stop\"\n,\n{\n\"Stop\"\n:\nnull\n}\n]\n"), (std::vector<M>{M{M::Stop{}}, M{M::Stop{}}}));
}

TEST(PathFile, WrongLengthsSayWhichItemAndKey) {
  EXPECT_EQ(error_of(R"([{"Joint": [1, 2, 3, 4, 5]}])"),
            (JsonTextError{R"(expected an array of 6 numbers, found 5 items (item 0 > "Joint"))", 1, 12}));
  EXPECT_EQ(error_of(R"(["Stop", {"Joint": [1, 2, 3, 4, 5, 6, 7]}])"),
            (JsonTextError{R"(expected an array of 6 numbers, found 7 items (item 1 > "Joint"))", 1, 20}));
  EXPECT_EQ(error_of(R"([{"Cartesian": {"Homo": [1]}}])"),
            (JsonTextError{R"(expected an array of 16 numbers, found 1 item (item 0 > "Cartesian" > "Homo"))", 1, 25}));
  EXPECT_EQ(error_of(R"([{"Cartesian": {"AxisAngle": [[0, 0, 0], [0, 0, 1]]}}])"),
            (JsonTextError{"expected an array of 3 items: 3 numbers, 3 numbers, then a number, found 2 items "
                           R"((item 0 > "Cartesian" > "AxisAngle"))",
                           1, 30}));
  EXPECT_EQ(error_of(R"([{"Cartesian": {"Euler": [[0, 0, 0], [0, 0]]}}])"),
            (JsonTextError{R"(expected an array of 3 numbers, found 2 items (item 0 > "Cartesian" > "Euler" > element 1))",
                           1, 38}));
  EXPECT_EQ(error_of(R"([{"Cartesian": {"Quat": [[0, 0, 0, 1], [0, 0, 0], 3]}}])"),
            (JsonTextError{"expected an array of 2 arrays: 4 numbers, then 3 numbers, found 3 items "
                           R"((item 0 > "Cartesian" > "Quat"))",
                           1, 25}));
}

TEST(PathFile, OnlyNumbersAreNumbers) {
  EXPECT_EQ(error_of(R"([{"Joint": [0, 0, null, 0, 0, 0]}])"),
            (JsonTextError{R"(expected a number, found null (item 0 > "Joint" > element 2))", 1, 19}));
  EXPECT_EQ(error_of(R"([{"Position": [0, "1", 0]}])"),
            (JsonTextError{R"(expected a number, found a string (item 0 > "Position" > element 1))", 1, 19}));
  EXPECT_EQ(error_of(R"([{"PositionVel": [true, 0, 0]}])"),
            (JsonTextError{R"(expected a number, found a boolean (item 0 > "PositionVel" > element 0))", 1, 19}));
  EXPECT_EQ(error_of(R"([{"Joint": [1e400, 0, 0, 0, 0, 0]}])"), (JsonTextError{"number out of range of a double", 1, 13}));
}

TEST(PathFile, StopIsTheOnlyBareStringAndTakesOnlyNull) {
  EXPECT_EQ(error_of(R"(["Joint"])"),
            (JsonTextError{R"(expected a motion target, found the string "Joint": only "Stop" may be written as a bare string (item 0))",
                           1, 2}));
  EXPECT_EQ(error_of(R"([{"Stop": []}])"), (JsonTextError{R"(expected null, found an array (item 0 > "Stop"))", 1, 11}));
  EXPECT_EQ(error_of(R"([{"Cartesian": "Stop"}])"),
            (JsonTextError{R"(expected a pose (an object with one member named "Euler", "Quat", "Homo", "AxisAngle" or "Position"), found a string (item 0 > "Cartesian"))",
                           1, 16}));
}

TEST(PathFile, TaggedObjectsHaveExactlyOneKnownMember) {
  EXPECT_EQ(error_of(R"([{"joint": [0, 0, 0, 0, 0, 0]}])"),
            (JsonTextError{R"(unknown motion target "joint", expected "Joint", "JointVel", "Cartesian", "CartesianVel", "Position", "PositionVel" or "Stop" (item 0))",
                           1, 3}));
  EXPECT_EQ(error_of(R"([{"Cartesian": {"Euler": [[0, 0, 0], [0, 0, 0]], "Position": [0, 0, 0]}}])"),
            (JsonTextError{R"(expected an object with exactly one member, found a second member "Position" (item 0 > "Cartesian"))",
                           1, 50}));
  EXPECT_EQ(error_of(R"([{}])"),
            (JsonTextError{R"(expected an object with one member named "Joint", "JointVel", "Cartesian", "CartesianVel", "Position", "PositionVel" or "Stop", found an empty object (item 0))",
                           1, 2}));
  EXPECT_EQ(error_of(R"([{"Cartesian": {"Joint": [0, 0, 0, 0, 0, 0]}}])"),
            (JsonTextError{R"(unknown pose "Joint", expected "Euler", "Quat", "Homo", "AxisAngle" or "Position" (item 0 > "Cartesian"))",
                           1, 17}));
  // A name from the text is escaped in the message.
  EXPECT_EQ(error_of("[{\"Jo\\nint\": 1}]").message.substr(0, 35), R"(unknown motion target "Jo\u000aint")");
}

TEST(PathFile, QuatObjectNeedsBothMembersOnceEach) {
  EXPECT_EQ(error_of(R"([{"Cartesian": {"Quat": {"rotation": [0, 0, 0, 1], "note": "x"}}}])"),
            (JsonTextError{R"(missing member "translation" (item 0 > "Cartesian" > "Quat"))", 1, 25}));
  EXPECT_EQ(error_of(R"([{"Cartesian": {"Quat": {"translation": [0, 0, 0]}}}])"),
            (JsonTextError{R"(missing member "rotation" (item 0 > "Cartesian" > "Quat"))", 1, 25}));
  EXPECT_EQ(
      error_of(R"([{"Cartesian": {"Quat": {"rotation": [0, 0, 0, 1], "translation": [0, 0, 0], "rotation": [0, 0, 0, 1]}}}])"),
      (JsonTextError{R"(duplicate member "rotation" (item 0 > "Cartesian" > "Quat"))", 1, 78}));
  EXPECT_EQ(error_of(R"([{"Cartesian": {"Quat": 5}}])"),
            (JsonTextError{R"(expected an object with members "rotation" and "translation", or an array of 2 arrays; found a number (item 0 > "Cartesian" > "Quat"))",
                           1, 25}));
  // Skipped members may hold any JSON, even a number no double can hold.
  EXPECT_EQ(parsed(R"([{"Cartesian": {"Quat": {"big": 1e400, "rotation": [0, 0, 0, 1], "translation": [1, 2, 3]}}}])"),
            (std::vector<M>{cartesian(Pose::Quat{{0, 0, 0, 1}, {1, 2, 3}})}));
}

TEST(PathFile, SyntaxErrorsGiveLineAndColumn) {
  EXPECT_EQ(error_of(R"(["Stop"] x)"), (JsonTextError{"trailing characters after the JSON value", 1, 10}));
  EXPECT_EQ(error_of("[1,]"), (JsonTextError{"expected a JSON value, found ']'", 1, 4}));
  EXPECT_EQ(error_of("[\n  {\"Joint\": [0, 0, 0, 0, 0, 0]},\n  {\"Joint\": [0, 0, 0, 0, 0 0]}\n]"),
            (JsonTextError{"expected ',' or ']' after an array item, found '0'", 3, 28}));
  EXPECT_EQ(error_of(R"([{"Joint" [0]}])"), (JsonTextError{"expected ':' after a member name, found '['", 1, 11}));
  EXPECT_EQ(error_of(R"([{"Stop": null,}])"), (JsonTextError{"expected a member name in double quotes, found '}'", 1, 16}));
  EXPECT_EQ(error_of(R"([{"Stop": nul}])"), (JsonTextError{"invalid literal: expected true, false or null", 1, 11}));
  EXPECT_EQ(error_of(R"([{"Joint": [0, 0, 0, 0, 0, 01]}])"), (JsonTextError{"invalid number", 1, 28}));
  EXPECT_EQ(error_of(R"(["St\qop"])"), (JsonTextError{"invalid escape in a string", 1, 5}));
  EXPECT_EQ(error_of(R"(["\ud800"])"), (JsonTextError{"unpaired surrogate in a \\u escape", 1, 3}));
  EXPECT_EQ(error_of("[\"abc"), (JsonTextError{"unterminated string", 1, 2}));
  EXPECT_EQ(error_of("[\"a\tb\"]"), (JsonTextError{"control character in a string: it must be escaped", 1, 4}));
  EXPECT_EQ(error_of("[\"\xff\"]"), (JsonTextError{"invalid UTF-8 in a string", 1, 3}));
  EXPECT_EQ(error_of(""), (JsonTextError{"expected a JSON value, found the end of the text", 1, 1}));
  EXPECT_EQ(error_of("  \n "), (JsonTextError{"expected a JSON value, found the end of the text", 2, 2}));
  EXPECT_EQ(error_of(R"({"Joint": [0, 0, 0, 0, 0, 0]})"),
            (JsonTextError{"expected a path: an array of motion targets, found an object", 1, 1}));
  // A syntax fault anywhere wins over a shape fault before it.
  EXPECT_EQ(error_of(R"([{"Joint": [1]}, tru])"), (JsonTextError{"invalid literal: expected true, false or null", 1, 18}));
  // Columns count characters, not bytes.
  EXPECT_EQ(error_of(R"([{"Cartesian": {"Quat": {"note": "héllo", "rotation": [0, 0, 0, 1], "translation": [0, 0, "x"]}}}])"),
            (JsonTextError{R"(expected a number, found a string (item 0 > "Cartesian" > "Quat" > "translation" > element 2))",
                           1, 91}));
}

TEST(PathFile, DeepNestingIsRefusedWithoutExhaustingTheStack) {
  const std::string deep(200000, '[');
  EXPECT_EQ(error_of(deep), (JsonTextError{"arrays and objects nested deeper than 1024", 1, 1025}));
  // Inside a skipped member, where the reader walks it, well-formed.
  const std::string nested = std::string(1100, '[') + std::string(1100, ']');
  const std::string text = R"([{"Cartesian": {"Quat": {"x": )" + nested + R"(, "rotation": [0, 0, 0, 1], "translation": [0, 0, 0]}}}])";
  EXPECT_EQ(error_of(text), (JsonTextError{"arrays and objects nested deeper than 1024", 1, 1051}));
  // Exactly at the limit: four levels of target and pose, 1020 in the member.
  const std::string at_limit = std::string(1020, '[') + std::string(1020, ']');
  EXPECT_EQ(parsed(R"([{"Cartesian": {"Quat": {"x": )" + at_limit + R"(, "rotation": [0, 0, 0, 1], "translation": [0, 0, 0]}}}])"),
            (std::vector<M>{cartesian(Pose{})}));
}

TEST(PathFile, ErrorDebugFormQuotesTheMessage) {
  EXPECT_EQ(error_of(R"([{"Joint": [1, 2, 3, 4, 5]}])").debug(),
            R"x(Error("expected an array of 6 numbers, found 5 items (item 0 > \"Joint\")", line: 1, column: 12))x");
  EXPECT_EQ(error_of("[1,]").display(), "expected a JSON value, found ']' at line 1 column 4");
}

// Seeded mutations of valid texts: nothing crashes, the reader never accepts what
// is not JSON, and every refusal points inside the text.
TEST(PathFile, MutatedTextsAreReadStrictly) {
  const std::vector<std::string> seeds{
      R"([{"Joint": [0, 0.5, 1.0, 0, 1.57, 0]}, {"Cartesian": {"Euler": [[400, 0, 300], [3.14159, 0, 0]]}}, "Stop"])",
      R"([{"Cartesian": {"Quat": {"translation": [0, 0, 0], "rotation": [0, 0, 0, 1], "n": {"a": [true, false, null, "x\n"]}}}}])",
      R"([{"Stop": null}, {"Cartesian": {"AxisAngle": [[1,2,3],[0,0,1],-1.5e3]}}, {"Cartesian": {"Homo": [1,0,0,0, 0,1,0,0, 0,0,1,0, 1,2,3,1]}}])",
      R"([{"Cartesian": {"Quat": [[0, 0, 0, 1], [1, 2, 3]]}}, {"PositionVel": [1, 2, 3]}, {"JointVel": [1,2,3,4,5,6]}])",
  };
  const std::string alphabet = "[]{},:\"\\ 0123456789.eE+-tfnulrsaJQ\n\xc3\xa9";
  std::mt19937_64 rng(99);
  simdjson::dom::parser dom;
  int accepted = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    std::string text = seeds[rng() % seeds.size()];
    for (int edits = 1 + static_cast<int>(rng() % 3); edits > 0; --edits) {
      const std::size_t at = rng() % (text.size() + 1);
      const char c = alphabet[rng() % alphabet.size()];
      switch (rng() % 3) {
        case 0: if (at < text.size()) text.erase(at, 1); break;
        case 1: text.insert(at, 1, c); break;
        default: if (at < text.size()) text[at] = c;
      }
    }
    const auto result = parse_path(text);
    const simdjson::padded_string padded(text);
    simdjson::dom::element element;
    const bool is_json = !dom.parse(padded).get(element);
    if (result) {
      ++accepted;
      ASSERT_TRUE(is_json) << text;
    } else {
      ASSERT_GE(result.error().line, 1u) << text;
      ASSERT_GE(result.error().column, 1u) << text;
      ASSERT_LE(result.error().line, 1u + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'))) << text;
      if (!is_json) {
        ASSERT_NE(result.error().message.rfind("invalid JSON", 0), 0u) << text << "\n" << result.error().debug();
      }
    }
  }
  EXPECT_GT(accepted, 500);
}

TEST(PoseText, ReadsOnePoseWithWhitespaceAround) {
  EXPECT_EQ(parse_pose(R"({"Position": [0, 0, 100]})"), Pose(Pose::Position{{0, 0, 100}}));
  EXPECT_EQ(parse_pose(" \n{\"Position\": [0, 0, 100]}\n\t"), Pose(Pose::Position{{0, 0, 100}}));
  EXPECT_EQ(parse_pose(R"({"Quat": [[0, 0, 0, 1], [1, 2, 3]]})"), Pose(Pose::Quat{{0, 0, 0, 1}, {1, 2, 3}}));
}

TEST(PoseText, RefusesAnythingButOnePose) {
  EXPECT_EQ(pose_error_of(R"("OCS")"),
            (JsonTextError{R"(expected a pose (an object with one member named "Euler", "Quat", "Homo", "AxisAngle" or "Position"), found a string)",
                           1, 1}));
  EXPECT_EQ(pose_error_of(R"({"Position": [0, 0, 100]} x)"), (JsonTextError{"trailing characters after the JSON value", 1, 27}));
  EXPECT_EQ(pose_error_of(R"({"Position": [0, 0, 100]}})"), (JsonTextError{"trailing characters after the JSON value", 1, 26}));
  EXPECT_EQ(pose_error_of(R"({"Joint": [0, 0, 0, 0, 0, 0]})"),
            (JsonTextError{R"(unknown pose "Joint", expected "Euler", "Quat", "Homo", "AxisAngle" or "Position")", 1, 2}));
  EXPECT_EQ(pose_error_of(R"({"Position": [0, 0]})"),
            (JsonTextError{R"(expected an array of 3 numbers, found 2 items ("Position"))", 1, 14}));
}

TEST(ReadTextFile, ReadsAFileLongerThanOneBuffer) {
  std::string text = "[";
  std::size_t count = 1;
  for (; text.size() < 3 * 8192; ++count) text += R"({"Joint": [0, 0.5, 1.0, 0, 1.57, 0]}, )";
  text += "\"Stop\"]\n";
  const TempFile file(text);
  const auto content = read_text_file(file.path());
  ASSERT_TRUE(content.has_value());
  EXPECT_EQ(*content, text);
  const auto targets = parse_path(*content);
  ASSERT_TRUE(targets.has_value());
  EXPECT_EQ(targets->size(), count);
  EXPECT_EQ(targets->back(), M{M::Stop{}});
}

TEST(ReadTextFile, FailuresAreNetworkErrorsWithTheSystemText) {
  const auto missing = read_text_file("/nonexistent/orvek/path.json");
  ASSERT_FALSE(missing.has_value());
  EXPECT_EQ(missing.error().display(), "Network exception: No such file or directory (os error 2)");

  const auto directory = read_text_file(std::filesystem::temp_directory_path().string());
  ASSERT_FALSE(directory.has_value());
  EXPECT_EQ(directory.error().display(), "Network exception: Is a directory (os error 21)");

  const auto nul = read_text_file(std::string("/tmp/a\0b", 8));
  ASSERT_FALSE(nul.has_value());
  EXPECT_EQ(nul.error().display(), "Network exception: file name contained an unexpected NUL byte");

  // An endless source stops at the size limit instead of taking all memory.
  const auto endless = read_text_file("/dev/zero");
  ASSERT_FALSE(endless.has_value());
  EXPECT_EQ(endless.error().display(), "Network exception: File too large (os error 27)");
}
