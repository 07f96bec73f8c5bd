#pragma once
// Small JSON text helpers for the simulator's own output (log lines, patched replies).

#include <string>
#include <string_view>

namespace orvek::sim {

// Appends `bytes` as a JSON string literal. Valid UTF-8 passes through; when `bytes` is
// not valid UTF-8, every byte from 0x80 up is written as \u00XX, so the line stays JSON.
void append_json_string(std::string& out, std::string_view bytes);

}  // namespace orvek::sim
