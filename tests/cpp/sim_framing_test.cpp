// Splitting a connection's bytes into requests, and reading a request into its body.

#include <gtest/gtest.h>

#include <string>

#include "framing.hpp"
#include "request_reader.hpp"

namespace orvek::sim {
namespace {

TEST(SimFramer, FindsTheEndOfEachObjectWhateverItsStringsHold) {
  Framer framer(1000);
  std::string buffer = " \r\n{\"a\":\"}\\\"{[\",\"b\":[{},[]]}{\"next\":1}";
  const FrameResult first = framer.scan(buffer);
  ASSERT_EQ(first.status, FrameStatus::Complete);
  EXPECT_EQ(buffer.substr(first.begin, first.end - first.begin), "{\"a\":\"}\\\"{[\",\"b\":[{},[]]}");
  buffer.erase(0, first.end);
  framer.reset();
  const FrameResult second = framer.scan(buffer);
  ASSERT_EQ(second.status, FrameStatus::Complete);
  EXPECT_EQ(buffer.substr(second.begin, second.end - second.begin), "{\"next\":1}");
}

TEST(SimFramer, WaitsForTheRestOfARequestArrivingInPieces) {
  Framer framer(1000);
  std::string buffer;
  for (const char* piece : {"{\"cmdName\":\"a\\", "\"", "}\"", "}"}) {
    EXPECT_EQ(framer.scan(buffer).status, FrameStatus::NeedMore);
    buffer += piece;
  }
  const FrameResult r = framer.scan(buffer);
  ASSERT_EQ(r.status, FrameStatus::Complete);
  EXPECT_EQ(r.end, buffer.size());
}

TEST(SimFramer, RefusesWhatCannotBeAJsonObject) {
  for (const char* text : {"x", "[]", "\"s\"", "{]", "{\"a\":[}", "{\"a\":\x01}", "{\"a\":\"\n\"}", "{\"a\":@}",
                           "{\"a\":\xc3\xa9}"}) {
    Framer framer(1000);
    EXPECT_EQ(framer.scan(text).status, FrameStatus::Garbage) << text;
  }
  Framer deep(100000);
  EXPECT_EQ(deep.scan(std::string(64, '{') + "}").status, FrameStatus::NeedMore);
  Framer deeper(100000);
  EXPECT_EQ(deeper.scan("{\"a\":" + std::string(64, '[')).status, FrameStatus::Garbage);
}

TEST(SimFramer, BoundsTheSizeOfARequestAndOfLeadingSpace) {
  Framer framer(10);
  EXPECT_EQ(framer.scan("{\"a\":\"123\"}").status, FrameStatus::TooLarge);  // 11 bytes
  Framer exact(11);
  EXPECT_EQ(exact.scan("{\"a\":\"123\"}").status, FrameStatus::Complete);
  Framer spaces(10);
  EXPECT_EQ(spaces.scan(std::string(11, ' ')).status, FrameStatus::TooLarge);
}

TEST(SimRequestReader, ReadsEachBodyTheLibraryWrites) {
  RequestReader reader;
  SimRequest r;
  ASSERT_EQ(reader.read(R"({"accel":20.0,"cmdName":"joint_move","jointPosition":[1,2,3,4,5,6.5],"relFlag":1,"speed":9.0})", r).status,
            ReadStatus::Ok);
  ASSERT_EQ(r.command, Command::joint_move);
  const auto& j = std::get<JointMoveData>(r.body);
  EXPECT_EQ(j.joint_position, (std::array<double, 6>{1, 2, 3, 4, 5, 6.5}));
  EXPECT_EQ(j.speed, 9.0);
  EXPECT_EQ(j.accel, 20.0);
  EXPECT_EQ(j.rel_flag, 1);

  ASSERT_EQ(reader.read(R"({"centroid":[0.0,0.0,50.0],"cmdName":"set_payload","mass":1.5})", r).status, ReadStatus::Ok);
  EXPECT_EQ(std::get<SetPayloadData>(r.body).centroid, (std::array<double, 3>{0, 0, 50}));
  ASSERT_EQ(reader.read(R"({"catPosition":[1,2,3,4,5,6],"cmdName":"servo_p","relFlag":0})", r).status, ReadStatus::Ok);
  EXPECT_EQ(std::get<ServoPData>(r.body).cat_position[5], 6.0);
  // The last of two equal keys counts; keys the request does not use are ignored.
  ASSERT_EQ(reader.read(R"({"relFlag":1,"cmdName":"servo_move","relFlag":0,"extra":{"x":[1]}})", r).status, ReadStatus::Ok);
  EXPECT_EQ(std::get<ServoMoveData>(r.body).rel_flag, 0);
  ASSERT_EQ(reader.read(R"({"cmdName":"dance","speed":"fast"})", r).status, ReadStatus::Ok);
  EXPECT_EQ(r.name, "dance");
  EXPECT_FALSE(r.command.has_value());
}

TEST(SimRequestReader, SaysWhatIsWrongWithABody) {
  RequestReader reader;
  SimRequest r;
  const std::pair<const char*, const char*> cases[] = {
      {R"({"cmdName":"servo_move"})", "missing \"relFlag\""},
      {R"({"cmdName":"servo_move","relFlag":256})", "\"relFlag\" must be an integer from 0 to 255"},
      {R"({"cmdName":"servo_move","relFlag":-1})", "\"relFlag\" must be an integer from 0 to 255"},
      {R"({"cmdName":"servo_move","relFlag":true})", "\"relFlag\" must be an integer from 0 to 255"},
      {R"({"cmdName":"servo_j","jointPosition":[1,2,3,4,5,6,7],"relFlag":0})", "\"jointPosition\" must be an array of 6 numbers"},
      {R"({"cmdName":"servo_j","jointPosition":[1,2,3,4,5,"6"],"relFlag":0})", "\"jointPosition\" must be an array of 6 numbers"},
      {R"({"cmdName":"set_payload","mass":1,"centroid":[0,0]})", "\"centroid\" must be an array of 3 numbers"},
      {R"({"cmdName":"moveL","cartPosition":[1,2,3,4,5,6],"speed":1,"accel":[],"relFlag":0})", "\"accel\" must be a number"},
      {R"({"cmdName":null})", "\"cmdName\" must be a string"},
      {R"({"cmdName":"get_data","n":1e999})", "number out of range"},
  };
  for (const auto& [text, message] : cases) {
    const ReadResult result = reader.read(text, r);
    EXPECT_EQ(result.status, ReadStatus::Invalid) << text;
    EXPECT_EQ(result.message, message) << text;
  }
  EXPECT_EQ(reader.read(R"({"cmdName":"servo_move","relFlag":1})", r).status, ReadStatus::Ok);
  EXPECT_EQ(reader.read("{\"cmdName\":\"\xff\"}", r).status, ReadStatus::NotJson);
  EXPECT_EQ(reader.read(R"({"cmdName":tru})", r).status, ReadStatus::NotJson);
}

}  // namespace
}  // namespace orvek::sim
