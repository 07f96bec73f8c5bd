// orvek-sim: a stand-in for the arm's network controller, for running programs and
// tests without an arm.

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "controller.hpp"
#include "script.hpp"
#include "server.hpp"

namespace {

constexpr const char* kUsage =
    "usage: orvek-sim [--host ADDR] [--script FILE] [--log FILE]\n"
    "\n"
    "Simulates the arm's controller on ADDR, TCP port 10001, until SIGINT or SIGTERM.\n"
    "\n"
    "options:\n"
    "  --host ADDR    address to listen on (default 127.0.0.1; ::1 for IPv6)\n"
    "  --script FILE  JSON file of scripted replies per command (see sim/README.md)\n"
    "  --log FILE     write each request received as one JSON line:\n"
    "                 {\"conn\":N,\"t\":SECONDS,\"raw\":\"REQUEST TEXT\"}\n"
    "                 and connection events as {\"conn\":N,\"t\":SECONDS,\"event\":\"open\"}\n"
    "  --log-joints HZ  also log the arm HZ times a second (1 to 1000):\n"
    "                 {\"t\":SECONDS,\"joint\":[6 degrees],\"pose\":[x,y,z,roll,pitch,yaw]}\n"
    "  --help         show this text\n"
    "\n"
    "Prints \"orvek-sim listening on ADDR:10001\" once it accepts connections.\n"
    "Units: joints in degrees (speeds deg/s, accelerations deg/s^2); positions in mm\n"
    "(speeds mm/s, accelerations mm/s^2); pose angles roll, pitch, yaw in radians.\n";

int usage_error(const char* message, const char* argument) {
  std::fprintf(stderr, "orvek-sim: %s%s\n%s", message, argument, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string host = "127.0.0.1";
  std::string script_path;
  std::string log_path;
  double sample_rate = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--host" || arg == "--script" || arg == "--log") {
      if (i + 1 >= argc) return usage_error("missing value for ", argv[i]);
      std::string& target = arg == "--host" ? host : arg == "--script" ? script_path : log_path;
      target = argv[++i];
      continue;
    }
    if (arg == "--log-joints") {
      if (i + 1 >= argc) return usage_error("missing value for ", argv[i]);
      char* end = nullptr;
      sample_rate = std::strtod(argv[++i], &end);
      if (end == argv[i] || *end != '\0' || !(sample_rate >= 1 && sample_rate <= 1000))
        return usage_error("--log-joints must be a number from 1 to 1000, not ", argv[i]);
      continue;
    }
    return usage_error("unknown argument ", argv[i]);
  }

  // Signals arrive through a descriptor that the server polls, so a stop is handled
  // between two requests and everything closes in order.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  if (sigprocmask(SIG_BLOCK, &stop_signals, nullptr) != 0) {
    std::perror("orvek-sim: sigprocmask");
    return 1;
  }
  const int stop_fd = signalfd(-1, &stop_signals, SFD_CLOEXEC);
  if (stop_fd < 0) {
    std::perror("orvek-sim: signalfd");
    return 1;
  }
  signal(SIGPIPE, SIG_IGN);

  orvek::sim::Script script;
  if (!script_path.empty()) {
    if (auto error = orvek::sim::Script::load_file(script_path, script)) {
      std::fprintf(stderr, "orvek-sim: script %s\n", error->c_str());
      return 2;
    }
  }
  orvek::sim::Controller controller;
  orvek::sim::Server server(controller, script);
  if (auto error = server.open_log(log_path)) {
    std::fprintf(stderr, "orvek-sim: %s\n", error->c_str());
    return 2;
  }
  if (sample_rate > 0 && log_path.empty()) return usage_error("--log-joints needs --log", "");
  server.log_samples(sample_rate);
  std::string address;
  if (auto error = server.listen(host, orvek::sim::kPort, address)) {
    std::fprintf(stderr, "orvek-sim: %s\n", error->c_str());
    return 1;
  }
  std::printf("orvek-sim listening on %s\n", address.c_str());
  std::fflush(stdout);
  const int status = server.run(stop_fd);
  close(stop_fd);
  return status;
}
