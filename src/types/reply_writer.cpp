#include <cstddef>
#include <string>

#include "types/json_write.hpp"
#include "types/reply.hpp"
#include "types/reply_fields.hpp"

namespace orvek {
namespace {

template <class Record>
using MemberWriter = void (*)(std::string&, const Record&);

template <auto Member, class Record>
void write_member(std::string& out, const Record& record) {
  json::append_value(out, record.*Member);
}

template <class Record>
struct Writers;

#define ORVEK_DEFAULT_WRITER(member, key) &write_member<&DefaultState::member, DefaultState>,
template <>
struct Writers<DefaultState> {
  static constexpr MemberWriter<DefaultState> value[] = {ORVEK_DEFAULT_STATE_FIELDS(ORVEK_DEFAULT_WRITER)};
};
#undef ORVEK_DEFAULT_WRITER

#define ORVEK_GET_DATA_WRITER(member, key) &write_member<&GetDataState::member, GetDataState>,
template <>
struct Writers<GetDataState> {
  static constexpr MemberWriter<GetDataState> value[] = {ORVEK_GET_DATA_FIELDS(ORVEK_GET_DATA_WRITER)};
};
#undef ORVEK_GET_DATA_WRITER

template <class Record>
void write_record(std::string& out, const Record& record) {
  static constexpr auto kOrder = reply_fields::byte_order<Record>();
  constexpr auto& keys = reply_fields::Keys<Record>::value;
  out.clear();
  out += '{';
  for (std::size_t n = 0; n < kOrder.size(); ++n) {
    const std::size_t field = kOrder[n];
    if (n != 0) out += ',';
    out += '"';
    out += keys[field];
    out += "\":";
    Writers<Record>::value[field](out, record);
  }
  out += '}';
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
