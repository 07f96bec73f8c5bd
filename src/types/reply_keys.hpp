#pragma once
// Reply key to field index through a perfect hash found at compile time: one hash of the
// key, one table load, one comparison. Shared by the two readers of replies.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "types/fields.hpp"

namespace orvek::reply_keys {

constexpr std::uint32_t key_hash(std::string_view key, std::uint32_t seed) {
  std::uint32_t hash = 2166136261u ^ seed;
  for (const char c : key) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return hash >> 24;  // the top byte mixes best
}

struct KeyTable {
  std::uint32_t seed = 0;
  std::array<std::uint8_t, 256> slots{};  // field index + 1; 0 is no field
};

// The keys are distinct (checked by their table), so some seed separates them all.
template <class Record>
constexpr KeyTable make_key_table() {
  constexpr auto& keys = fields::Table<Record>::keys;
  static_assert(keys.size() < 256, "a slot holds a field index + 1 in one byte");
  for (std::uint32_t seed = 0;; ++seed) {
    KeyTable table;
    table.seed = seed;
    bool collision = false;
    for (std::size_t i = 0; i < keys.size() && !collision; ++i) {
      auto& slot = table.slots[key_hash(keys[i], seed)];
      collision = slot != 0;
      slot = static_cast<std::uint8_t>(i + 1);
    }
    if (!collision) return table;
  }
}

template <class Record>
inline constexpr KeyTable kKeyTable = make_key_table<Record>();

template <class Record>
constexpr std::size_t kUnknownKey = fields::kCount<Record>;

// The index of the field named exactly `key`, or kUnknownKey.
template <class Record>
std::size_t field_index(std::string_view key) {
  constexpr auto& table = kKeyTable<Record>;
  const std::size_t slot = table.slots[key_hash(key, table.seed)];
  if (slot == 0 || fields::Table<Record>::keys[slot - 1] != key) return kUnknownKey<Record>;
  return slot - 1;
}

}  // namespace orvek::reply_keys
