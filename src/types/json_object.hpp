#pragma once
// A compact JSON object with its keys in byte order, written from constant text: before the
// value of each key one fragment (`{"key":` or `,"key":`), after the last value `}`, all
// composed at compile time from the keys. Shared by the request and reply writers.

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "types/fields.hpp"

namespace orvek::json {

// Composes the fragments into `text` and records where each starts in `start` (either may
// be null: a first pass only counts). A key marked `quoted` has a bare text as its value,
// written between quotes that belong to the fragments around it.
template <std::size_t N>
constexpr std::size_t compose(const std::array<std::string_view, N>& keys, const std::array<bool, N>& quoted,
                              const std::array<std::size_t, N>& order, char* text, std::size_t* start) {
  std::size_t size = 0;
  const auto put = [&](std::string_view piece) {
    if (text != nullptr) std::copy(piece.begin(), piece.end(), text + size);
    size += piece.size();
  };
  for (std::size_t n = 0; n <= N; ++n) {
    if (start != nullptr) start[n] = size;
    if (n != 0 && quoted[order[n - 1]]) put("\"");
    if (n == N) {
      put("}");
      break;
    }
    put(n == 0 ? "{\"" : ",\"");
    put(keys[order[n]]);
    put("\":");
    if (quoted[order[n]]) put("\"");
  }
  if (start != nullptr) start[N + 1] = size;
  return size;
}

// Keys::value holds the keys (array of string_view), Keys::quoted which of them have a bare
// text as their value.
template <class Keys>
struct ObjectText {
  static constexpr auto& keys = Keys::value;
  static constexpr std::size_t kCount = std::tuple_size_v<std::remove_cvref_t<decltype(keys)>>;
  static constexpr std::array<std::size_t, kCount> order = fields::byte_order(keys);
  static_assert(fields::all_plain(keys), "a key is written as it is: printable ASCII, no quote or backslash");
  static_assert(fields::distinct(keys), "two values of one object under the same key");

  static constexpr std::size_t kSize = compose(keys, Keys::quoted, order, nullptr, nullptr);
  static constexpr std::array<char, kSize> text = [] {
    std::array<char, kSize> composed{};
    compose(keys, Keys::quoted, order, composed.data(), nullptr);
    return composed;
  }();
  static constexpr std::array<std::size_t, kCount + 2> start = [] {
    std::array<std::size_t, kCount + 2> starts{};
    compose(keys, Keys::quoted, order, nullptr, starts.data());
    return starts;
  }();
};

template <class Text, std::size_t N>
[[gnu::always_inline]] inline void append_fragment(std::string& out) {
  out.append(Text::text.data() + Text::start[N], Text::start[N + 1] - Text::start[N]);
}

// Replaces the content of `out` (its capacity reused) with the object: the fragments, and
// between them the value of each key, written by value(std::integral_constant<std::size_t,
// index of the key>{}).
template <class Text, class Value>
[[gnu::always_inline]] inline void write_object(std::string& out, Value&& value) {
  out.clear();
  [&]<std::size_t... N>(std::index_sequence<N...>) {
    ((append_fragment<Text, N>(out), value(std::integral_constant<std::size_t, Text::order[N]>{})), ...);
  }(std::make_index_sequence<Text::kCount>{});
  append_fragment<Text, Text::kCount>(out);
}

}  // namespace orvek::json
