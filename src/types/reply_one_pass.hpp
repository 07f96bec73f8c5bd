#pragma once
// The fast reading of a reply: one pass of simdjson's On-Demand parser over the text, every
// value checked as it is read. It takes only the common form of a reply, an object whose
// keys are exactly the record's (each once, written without escapes) with every value of
// its field's type and length, followed by nothing but whitespace. Anything else, valid or
// not, is left to the strict reader of reply.cpp, which gives the verdict and the message:
// the fast reading never accepts a text that reader refuses, nor reads a value differently.

#include <cstddef>
#include <string_view>

#include "types/reply.hpp"

namespace orvek::one_pass {

// True when the text was read into `out` (every field written); false when the strict
// reader must decide (`out` may then be partly written). `padded_text` is followed by
// simdjson::SIMDJSON_PADDING readable bytes.
bool read(std::string_view padded_text, DefaultState& out);
bool read(std::string_view padded_text, GetDataState& out);

// Makes the calling thread's parser ready for texts of up to `size` bytes, so that reading
// them allocates nothing. Throws std::bad_alloc when it cannot.
void prepare(std::size_t size);

}  // namespace orvek::one_pass
