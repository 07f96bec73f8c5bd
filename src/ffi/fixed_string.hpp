#pragma once
// Compile-time strings: method names, argument names and docstrings built from them.

#include <cstddef>
#include <string_view>

namespace orvek::ffi {

template <std::size_t N>
struct FixedString {
  char value[N]{};  // NUL-terminated

  constexpr FixedString() = default;
  constexpr FixedString(const char (&text)[N]) {  // NOLINT: implicit so that "name" works as a template argument
    for (std::size_t i = 0; i < N; ++i) value[i] = text[i];
  }
  static constexpr std::size_t size() { return N - 1; }
  constexpr const char* c_str() const { return value; }
  constexpr std::string_view view() const { return {value, N - 1}; }
};

// The concatenation of compile-time strings, kept in static storage.
template <FixedString... Parts>
struct Concat {
  static constexpr auto make() {
    FixedString<(Parts.size() + ... + 0) + 1> out;
    std::size_t at = 0;
    ((void)[&] {
       for (std::size_t i = 0; i < Parts.size(); ++i) out.value[at++] = Parts.value[i];
     }(),
     ...);
    out.value[at] = '\0';
    return out;
  }
  static constexpr auto value = make();
  static constexpr const char* c_str() { return value.value; }
};

}  // namespace orvek::ffi
