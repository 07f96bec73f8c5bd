#pragma once
// The debug form of a text: a quoted string literal, as diagnostic messages print it.

#include <string>
#include <string_view>

namespace robot_behavior {

// `say "hi"` + newline gives "say \"hi\"\n"; other control bytes as \u{1f}.
void append_debug_string(std::string& out, std::string_view text);

}  // namespace robot_behavior
