#include "robot_behavior/exception.hpp"

#include <gtest/gtest.h>

#include <cerrno>

using robot_behavior::RobotException;

TEST(RobotException, DisplayTextsAreTheSystemsOwn) {
  EXPECT_EQ(RobotException::no_exception().display(), "none");
  EXPECT_EQ(RobotException::model("m").display(), "Model exception: m");
  EXPECT_EQ(RobotException::network("n").display(), "Network exception: n");
  EXPECT_EQ(RobotException::incompatible_version(3, 2).display(),
            "Incompatible version: server version 3, client version 2");
  EXPECT_EQ(RobotException::realtime("r").display(), "Realtime exception: r");
  EXPECT_EQ(RobotException::unprocessable("u").display(), "Unprocessable instruction error: u");
  EXPECT_EQ(RobotException::conflicting("x").display(), "Conflicting instruction error: x");
  EXPECT_EQ(RobotException::command("Robot is moving").display(), "Command exception: Robot is moving");
  EXPECT_EQ(RobotException::invalid("i").display(), "Invalid instruction error: i");
  EXPECT_EQ(RobotException::deserialize("d").display(), "Deserialize error: d");
  EXPECT_EQ(RobotException::unwarp("x").display(), "UnWarp error: x");
  EXPECT_EQ(RobotException::command("").display(), "Command exception: ");
}

TEST(RobotException, DebugFormQuotesTheText) {
  EXPECT_EQ(RobotException::no_exception().debug(), "NoException");
  EXPECT_EQ(RobotException::network("TCP command stream is not initialized").debug(),
            "NetworkError(\"TCP command stream is not initialized\")");
  EXPECT_EQ(RobotException::command("say \"hi\"\n").debug(), "CommandException(\"say \\\"hi\\\"\\n\")");
  EXPECT_EQ(RobotException::incompatible_version(3, 2).debug(),
            "IncompatibleVersionException { server_version: 3, client_version: 2 }");
  EXPECT_EQ(RobotException::incompatible_version(UINT64_MAX, 0).display(),
            "Incompatible version: server version 18446744073709551615, client version 0");
}

TEST(RobotException, OsErrorBecomesNetworkErrorWithItsNumber) {
  const RobotException error = RobotException::from_errno(ECONNREFUSED);
  EXPECT_EQ(error.kind(), RobotException::Kind::NetworkError);
  EXPECT_EQ(error.display(), "Network exception: Connection refused (os error 111)");
  EXPECT_EQ(RobotException::from_errno(ENOENT).display(),
            "Network exception: No such file or directory (os error 2)");
}
