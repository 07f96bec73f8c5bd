#include "robot_behavior/parser_error_text.hpp"

namespace robot_behavior {

std::string_view parser_error_text(simdjson::error_code error) noexcept {
  using namespace simdjson;
  switch (error) {
    case SUCCESS: return "No error";
    case CAPACITY: return "This parser can't support a document that big";
    case MEMALLOC: return "Error allocating memory, we're most likely out of memory";
    case TAPE_ERROR:
      return "The JSON document has an improper structure: missing or superfluous commas, braces, missing keys, etc.";
    case DEPTH_ERROR: return "The JSON document was too deep (too many nested objects and arrays)";
    case STRING_ERROR: return "Problem while parsing a string";
    case T_ATOM_ERROR: return "Problem while parsing an atom starting with the letter 't'";
    case F_ATOM_ERROR: return "Problem while parsing an atom starting with the letter 'f'";
    case N_ATOM_ERROR: return "Problem while parsing an atom starting with the letter 'n'";
    case NUMBER_ERROR: return "Problem while parsing a number";
    case UTF8_ERROR: return "The input is not valid UTF-8";
    case UNINITIALIZED: return "Uninitialized";
    case EMPTY: return "Empty: no JSON found";
    case UNESCAPED_CHARS: return "Within strings, some characters must be escaped, we found unescaped characters";
    case UNCLOSED_STRING: return "A string is opened, but never closed.";
    case UNSUPPORTED_ARCHITECTURE: return "simdjson does not have an implementation supported by this CPU architecture (perhaps it's a non-SIMD CPU?).";
    case INCORRECT_TYPE: return "The JSON element does not have the requested type.";
    case NUMBER_OUT_OF_RANGE: return "The JSON number is too large or too small to fit within the requested type.";
    case INDEX_OUT_OF_BOUNDS: return "Attempted to access an element of a JSON array that is beyond its length.";
    case NO_SUCH_FIELD: return "The JSON field referenced does not exist in this object.";
    case IO_ERROR: return "Error reading the file.";
    case INVALID_JSON_POINTER: return "Invalid JSON pointer syntax.";
    case INVALID_URI_FRAGMENT: return "Invalid URI fragment syntax.";
    case UNEXPECTED_ERROR: return "Unexpected error, consider reporting this problem as you may have found a bug in simdjson";
    case PARSER_IN_USE: return "Cannot parse a new document while a document is still in use.";
    case OUT_OF_ORDER_ITERATION: return "Objects and arrays can only be iterated when they are first encountered.";
    case INSUFFICIENT_PADDING: return "simdjson requires the input JSON string to have at least SIMDJSON_PADDING extra bytes allocated, beyond the string's length. Consider using the simdjson::padded_string class if needed.";
    case INCOMPLETE_ARRAY_OR_OBJECT: return "JSON document ended early in the middle of an object or array.";
    case SCALAR_DOCUMENT_AS_VALUE: return "A JSON document made of a scalar (number, Boolean, null or string) is treated as a value. Use get_bool(), get_double(), etc. on the document instead.";
    case OUT_OF_BOUNDS: return "Attempted to access location outside of document.";
    case TRAILING_CONTENT: return "Unexpected trailing content in the JSON input.";
    default: break;
  }
  // Codes of later simdjson releases.
  if (is_number_error(error)) return "Problem while parsing a number";
  return "Unexpected error while parsing JSON";
}

bool is_number_error(simdjson::error_code error) noexcept {
  if (error == simdjson::NUMBER_ERROR || error == simdjson::NUMBER_OUT_OF_RANGE) return true;
  // An integer beyond 64 bits: a number fault, as it was before it had a code of its own.
#ifdef ORVEK_SIMDJSON_HAS_BIGINT_ERROR
  if (error == simdjson::BIGINT_ERROR) return true;
#endif
  return false;
}

}  // namespace robot_behavior
