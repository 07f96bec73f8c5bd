#include <array>
#include <cstddef>
#include <string>

#include "types/fields.hpp"
#include "types/json_object.hpp"
#include "types/json_write.hpp"
#include "types/reply.hpp"

namespace orvek {
namespace {

// A reply's keys are its record's; every value is written as a JSON value of its own.
template <class Record>
struct ReplyKeys {
  static constexpr auto& value = fields::Table<Record>::keys;
  static constexpr std::array<bool, fields::kCount<Record>> quoted{};
};

template <class Record>
void write_record(std::string& out, const Record& record) {
  using Text = json::ObjectText<ReplyKeys<Record>>;
  json::write_object<Text>(out, [&]<std::size_t I>(std::integral_constant<std::size_t, I>) {
    json::append_value(out, record.*fields::kMember<Record, I>);
  });
}

}  // namespace

void serialize_into(std::string& out, const DefaultState& reply) { write_record(out, reply); }
void serialize_into(std::string& out, const GetDataState& reply) { write_record(out, reply); }

GetDataState default_get_data_state() {
  GetDataState state{};  // value-initialised: every number, array and flag zero
  state.error_code.assign(1, '0');  // not operator=: GCC 12 warns falsely (-Wrestrict) on that copy here
  return state;
}

}  // namespace orvek
