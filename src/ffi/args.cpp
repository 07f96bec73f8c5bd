#include "args.hpp"

#include <string>

#include "python_compat.hpp"

namespace orvek::ffi {
namespace {

bool unexpected_keyword(const Signature& sig, PyObject* key) {
  PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.name, key);
  return false;
}

bool multiple_values(const Signature& sig, const char* param) {
  PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.name, param);
  return false;
}

bool too_many_positional(const Signature& sig, Py_ssize_t given) {
  const Py_ssize_t extra = sig.bound ? 1 : 0;
  const Py_ssize_t takes = static_cast<Py_ssize_t>(sig.params.size()) + extra;
  given += extra;
  PyErr_Format(PyExc_TypeError, "%s() takes %zd positional argument%s but %zd %s given", sig.name, takes,
               takes == 1 ? "" : "s", given, given == 1 ? "was" : "were");
  return false;
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'"
bool missing(const Signature& sig, PyObject* const* out) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < sig.params.size(); ++i) count += out[i] == nullptr ? 1 : 0;
  std::string list;
  std::size_t k = 0;
  for (std::size_t i = 0; i < sig.params.size(); ++i) {
    if (out[i] != nullptr) continue;
    if (k > 0) list += count == 2 ? " and " : (k + 1 == count ? ", and " : ", ");
    list += '\'';
    list += sig.params[i];
    list += '\'';
    ++k;
  }
  PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s", sig.name, count,
               count == 1 ? "" : "s", list.c_str());
  return false;
}

// The parameter index of a keyword, or -1.
Py_ssize_t find_param(const Signature& sig, PyObject* key) {
  if (!PyUnicode_Check(key)) return -1;
  for (std::size_t i = 0; i < sig.params.size(); ++i) {
    if (PyUnicode_EqualToUTF8(key, sig.params[i])) return static_cast<Py_ssize_t>(i);
  }
  return -1;
}

bool assign_keyword(const Signature& sig, PyObject* key, PyObject* value, Py_ssize_t nargs, PyObject** out) {
  const Py_ssize_t index = find_param(sig, key);
  if (index < 0) return unexpected_keyword(sig, key);
  if (index < nargs || out[index] != nullptr) return multiple_values(sig, sig.params[static_cast<std::size_t>(index)]);
  out[index] = value;
  return true;
}

bool finish(const Signature& sig, Py_ssize_t nargs, PyObject** out) {
  if (nargs > static_cast<Py_ssize_t>(sig.params.size())) return too_many_positional(sig, nargs);
  for (std::size_t i = 0; i < sig.params.size(); ++i) {
    if (out[i] == nullptr) return missing(sig, out);
  }
  return true;
}

}  // namespace

bool parse_arguments(const Signature& sig, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames,
                     PyObject** out) {
  const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
  const std::size_t n = sig.params.size();
  for (std::size_t i = 0; i < n; ++i) out[i] = i < static_cast<std::size_t>(nargs) ? args[i] : nullptr;
  if (kwnames != nullptr) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
      if (!assign_keyword(sig, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], nargs, out)) return false;
    }
  }
  return finish(sig, nargs, out);
}

bool parse_arguments(const Signature& sig, PyObject* args, PyObject* kwargs, PyObject** out) {
  const Py_ssize_t nargs = args != nullptr ? PyTuple_GET_SIZE(args) : 0;
  const std::size_t n = sig.params.size();
  for (std::size_t i = 0; i < n; ++i) out[i] = i < static_cast<std::size_t>(nargs) ? PyTuple_GET_ITEM(args, i) : nullptr;
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &pos, &key, &value)) {
      if (!assign_keyword(sig, key, value, nargs, out)) return false;
    }
  }
  return finish(sig, nargs, out);
}

}  // namespace orvek::ffi
