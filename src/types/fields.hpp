#pragma once
// The fields of a wire record, declared once. A record lists each field as one line
//   X(member, "key", type)
// of a macro list, and ORVEK_WIRE_FIELDS turns that list into the members and into the
// record's table. The writers and readers of requests and replies iterate the table; the
// field count, the keys' byte order and the keys' checks all follow from it at compile time.
// Adding a field is one line in its record's list.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

namespace orvek::fields {

// One row of a table: the member a field is stored in and the key it is written under.
template <auto Member>
struct Field {
  static constexpr auto member = Member;
  std::string_view key;
};

#define ORVEK_WIRE_MEMBER(member, key, ...) __VA_ARGS__ member;
#define ORVEK_WIRE_ROW(member, key, ...) ::orvek::fields::Field<&Self::member>{key},

// Inside the record `Record`: its members, in the list's order, and its table. The type
// comes last so that it may hold commas (std::array<double, 6>).
#define ORVEK_WIRE_FIELDS(Record, LIST)      \
  LIST(ORVEK_WIRE_MEMBER)                    \
  static constexpr auto wire_fields() {      \
    using Self [[maybe_unused]] = Record;    \
    return std::tuple{LIST(ORVEK_WIRE_ROW)}; \
  }

// Field indices sorted by the byte order of their keys.
template <std::size_t N>
constexpr std::array<std::size_t, N> byte_order(const std::array<std::string_view, N>& keys) {
  std::array<std::size_t, N> order{};
  for (std::size_t i = 0; i < N; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  return order;
}

// Keys go on the wire as they are and are matched byte for byte: none may need an escape.
constexpr bool plain(std::string_view key) {
  if (key.empty()) return false;
  for (const char c : key) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x80 || c == '"' || c == '\\') return false;
  }
  return true;
}

template <std::size_t N>
constexpr bool distinct(const std::array<std::string_view, N>& keys) {
  const auto order = byte_order(keys);
  for (std::size_t i = 1; i < N; ++i) {
    if (keys[order[i - 1]] == keys[order[i]]) return false;
  }
  return true;
}

template <std::size_t N>
constexpr bool all_plain(const std::array<std::string_view, N>& keys) {
  return std::all_of(keys.begin(), keys.end(), plain);
}

// What the rest of the code knows of a record: its fields in declaration order.
template <class Record>
struct Table {
  static constexpr auto rows = Record::wire_fields();
  static constexpr std::size_t kCount = std::tuple_size_v<decltype(rows)>;
  static constexpr std::array<std::string_view, kCount> keys =
      std::apply([](const auto&... row) { return std::array<std::string_view, kCount>{row.key...}; }, rows);
  static constexpr std::array<std::size_t, kCount> order = byte_order(keys);

  static_assert(all_plain(keys), "a key is written and matched as it is: printable ASCII, no quote or backslash");
  static_assert(distinct(keys), "two fields of one record under the same key");
};

template <class Record>
inline constexpr std::size_t kCount = Table<Record>::kCount;

// The member of field I: record.*kMember<Record, I>.
template <class Record, std::size_t I>
inline constexpr auto kMember = std::tuple_element_t<I, std::remove_const_t<decltype(Table<Record>::rows)>>::member;

// An array with one entry per field in declaration order: make.template operator()<member>().
template <class Record, class Make>
constexpr auto per_field(Make make) {
  return [&]<std::size_t... I>(std::index_sequence<I...>) {
    return std::array{make.template operator()<kMember<Record, I>>()...};
  }(std::make_index_sequence<kCount<Record>>{});
}

}  // namespace orvek::fields
