// The wire records alone, no socket: reading a "get_data" reply of a busy arm (6.4 KB, every
// analog channel carrying a value) into GetDataState, reading a short reply, and writing each
// of the thirteen requests the driver sends.
#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "types/reply.hpp"
#include "types/request.hpp"

using namespace orvek;

namespace {

// A reply as a working arm sends it: joints and pose with full precision, a few inputs set,
// analog channels reading voltages and currents. Filled from a fixed formula, so every run
// parses the same text.
GetDataState busy_arm_state() {
  GetDataState state = default_get_data_state();
  state.len = 6401;
  state.joint_actual_position = {12.482913, 87.91273645, -93.1827364, -84.50012, -90.0, 3.33912837};
  state.actual_position = {412.7736251, -118.2930017, 455.0182736, 3.1012837, 0.0284719, 1.5821736};
  for (std::size_t i = 0; i < state.din.size(); ++i) state.din[i] = (i * 7) % 5 == 0 ? 1 : 0;
  for (std::size_t i = 0; i < state.dout.size(); ++i) state.dout[i] = (i * 3) % 4 == 0 ? 1 : 0;
  auto reading = [](std::size_t i, double scale) { return static_cast<double>((i * 2654435761u) % 100000) / scale; };
  for (std::size_t i = 0; i < state.ain.size(); ++i) state.ain[i] = reading(i, 1e4);
  for (std::size_t i = 0; i < state.aout.size(); ++i) state.aout[i] = reading(i + 7, 1e4);
  for (std::size_t i = 0; i < state.mb_slave_ain.size(); ++i) state.mb_slave_ain[i] = reading(i + 11, 1e3);
  for (std::size_t i = 0; i < state.pn_dev_ain.size(); ++i) state.pn_dev_ain[i] = reading(i + 13, 1e2);
  state.tio_ain = {0.25, 4.75};
  state.homed.fill(1);
  state.enabled = true;
  state.powered_on = 1;
  state.rapidrate = 1.0;
  state.inpos = true;
  state.curr_tcp_trans_vel = 0.0312;
  return state;
}

// The text of `record` followed by the parser's padding.
template <class Record>
std::string padded_reply(const Record& record) {
  std::string text;
  serialize_into(text, record);
  text.append(simdjson::SIMDJSON_PADDING, ' ');
  return text;
}

// A reusable parser sized as the transport sizes its own.
simdjson::dom::parser& reply_parser() {
  static simdjson::dom::parser parser(1u << 20);
  static const bool ready = parser.allocate(10240) == simdjson::SUCCESS;
  if (!ready) std::abort();
  return parser;
}

void BM_ParseGetData(benchmark::State& state) {
  const std::string padded = padded_reply(busy_arm_state());
  const std::string_view text(padded.data(), padded.size() - simdjson::SIMDJSON_PADDING);
  auto& parser = reply_parser();
  for (auto _ : state) {
    auto reply = deserialize_get_data(parser, text);
    if (!reply) state.SkipWithError("the reply was refused");
    benchmark::DoNotOptimize(reply);
  }
  state.counters["bytes"] = static_cast<double>(text.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The idle arm of the simulator: every number zero, 5.1 KB.
void BM_ParseGetDataIdle(benchmark::State& state) {
  const std::string padded = padded_reply(default_get_data_state());
  const std::string_view text(padded.data(), padded.size() - simdjson::SIMDJSON_PADDING);
  auto& parser = reply_parser();
  for (auto _ : state) {
    auto reply = deserialize_get_data(parser, text);
    benchmark::DoNotOptimize(reply);
  }
  state.counters["bytes"] = static_cast<double>(text.size());
}

// The two halves of BM_ParseGetData: the parser's own pass, then the reading into the record.
void BM_ParseGetDataParserOnly(benchmark::State& state) {
  const std::string padded = padded_reply(busy_arm_state());
  const std::size_t size = padded.size() - simdjson::SIMDJSON_PADDING;
  auto& parser = reply_parser();
  for (auto _ : state) {
    simdjson::dom::element root;
    if (parser.parse(padded.data(), size, false).get(root) != simdjson::SUCCESS) state.SkipWithError("parse");
    benchmark::DoNotOptimize(root);
  }
}

void BM_ReadGetDataRecordOnly(benchmark::State& state) {
  const std::string padded = padded_reply(busy_arm_state());
  auto& parser = reply_parser();
  simdjson::dom::element root;
  if (parser.parse(padded.data(), padded.size() - simdjson::SIMDJSON_PADDING, false).get(root) != simdjson::SUCCESS) {
    state.SkipWithError("parse");
    return;
  }
  for (auto _ : state) {
    auto reply = read_get_data(root);
    benchmark::DoNotOptimize(reply);
  }
}

void BM_ParseDefault(benchmark::State& state) {
  const std::string padded = padded_reply(DefaultState{"0", ""});
  const std::string_view text(padded.data(), padded.size() - simdjson::SIMDJSON_PADDING);
  auto& parser = reply_parser();
  for (auto _ : state) {
    auto reply = deserialize_default(parser, text);
    benchmark::DoNotOptimize(reply);
  }
}

// Writing one request into the reused buffer, as the transport does before each exchange.
template <class Body>
void write_request(benchmark::State& state, Command command, const Body& body) {
  std::string out;
  out.reserve(256);
  for (auto _ : state) {
    benchmark::DoNotOptimize(body);
    serialize_into(out, command, body);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.counters["bytes"] = static_cast<double>(out.size());
}

constexpr std::array<double, 6> kJoints{12.482913, 87.91273645, -93.1827364, -84.50012, -90.0, 3.33912837};
constexpr std::array<double, 6> kSix{412.7736251, -118.2930017, 455.0182736, 3.1012837, 0.0284719, 1.5821736};

void register_writes() {
  const auto empty = [](const char* name, Command command) {
    benchmark::RegisterBenchmark(name, [command](benchmark::State& s) { write_request(s, command, EmptyBody{}); });
  };
  empty("BM_Write/power_on", Command::power_on);
  empty("BM_Write/power_off", Command::power_off);
  empty("BM_Write/enable_robot", Command::enable_robot);
  empty("BM_Write/disable_robot", Command::disable_robot);
  empty("BM_Write/stop_program", Command::stop_program);
  empty("BM_Write/clear_error", Command::clear_error);
  empty("BM_Write/get_data", Command::get_data);
  benchmark::RegisterBenchmark("BM_Write/joint_move", [](benchmark::State& s) {
    write_request(s, Command::joint_move, JointMoveData{kJoints, 9.0, 20.0, 0});
  });
  benchmark::RegisterBenchmark("BM_Write/moveL", [](benchmark::State& s) {
    write_request(s, Command::moveL, MoveLData{kSix, 50.0, 200.0, 1});
  });
  benchmark::RegisterBenchmark("BM_Write/servo_move", [](benchmark::State& s) {
    write_request(s, Command::servo_move, ServoMoveData{1});
  });
  benchmark::RegisterBenchmark("BM_Write/servo_j", [](benchmark::State& s) {
    write_request(s, Command::servo_j, ServoJData{kJoints, 0});
  });
  benchmark::RegisterBenchmark("BM_Write/servo_p", [](benchmark::State& s) {
    write_request(s, Command::servo_p, ServoPData{kSix, 0});
  });
  benchmark::RegisterBenchmark("BM_Write/set_payload", [](benchmark::State& s) {
    write_request(s, Command::set_payload, SetPayloadData{2.5, {0.0, 0.0, 35.25}});
  });
}

}  // namespace

BENCHMARK(BM_ParseGetData);
BENCHMARK(BM_ParseGetDataIdle);
BENCHMARK(BM_ParseGetDataParserOnly);
BENCHMARK(BM_ReadGetDataRecordOnly);
BENCHMARK(BM_ParseDefault);

int main(int argc, char** argv) {
  register_writes();
  benchmark::AddCustomContext("simdjson_implementation", std::string(simdjson::get_active_implementation()->name()));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
