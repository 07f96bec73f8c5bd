#pragma once
// The Python result of a method row's operation (method_table.hpp), and `chain`, which marks an
// operation whose method returns the object itself.

#include <Python.h>

#include <array>
#include <cstddef>
#include <expected>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "boundary.hpp"
#include "py_ref.hpp"
#include "robot_behavior/arm_state.hpp"
#include "to_py.hpp"

namespace orvek::ffi {

template <auto Op>
struct Chain {
  static constexpr auto op = Op;
};
// Marks an operation whose method returns the object itself (the with_ settings).
template <auto Op>
inline constexpr Chain<Op> chain{};

template <class T>
struct IsChain : std::false_type {};
template <auto Op>
struct IsChain<Chain<Op>> : std::true_type {};

template <class T>
struct IsExpected : std::false_type {};
template <class T, class E>
struct IsExpected<std::expected<T, E>> : std::true_type {};

template <class T>
struct IsArray : std::false_type {};
template <std::size_t N>
struct IsArray<std::array<double, N>> : std::true_type {};

// A new reference for a C++ result, or nullptr with an error set.
template <class T>
PyObject* result_to_py(T&& result) {
  using R = std::remove_cvref_t<T>;
  if constexpr (IsExpected<R>::value) {
    if (!result) {
      raise_robot_exception(result.error());
      return nullptr;
    }
    if constexpr (std::is_void_v<typename R::value_type>) {
      Py_RETURN_NONE;
    } else {
      return result_to_py(std::move(*result));
    }
  } else if constexpr (std::is_same_v<R, bool>) {
    return PyBool_FromLong(result ? 1 : 0);
  } else if constexpr (std::is_same_v<R, double>) {
    return PyFloat_FromDouble(result);
  } else if constexpr (std::is_integral_v<R> && std::is_signed_v<R>) {
    return PyLong_FromLongLong(result);
  } else if constexpr (std::is_integral_v<R>) {
    return PyLong_FromUnsignedLongLong(result);
  } else if constexpr (std::is_convertible_v<const R&, std::string_view>) {
    const std::string_view text(result);
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
  } else if constexpr (std::is_same_v<R, robot_behavior::Pose>) {
    return pose_to_py(result);
  } else if constexpr (std::is_same_v<R, robot_behavior::ArmState6>) {
    return arm_state_to_py(result);
  } else if constexpr (std::is_same_v<R, robot_behavior::LoadState>) {
    return load_to_py(result);
  } else if constexpr (IsArray<R>::value || std::is_same_v<R, std::vector<double>>) {
    return list_to_py(result.data(), result.size());
  } else if constexpr (std::is_same_v<R, Ref>) {
    return Ref(std::move(result)).release();
  } else if constexpr (std::is_same_v<R, PyObject*>) {
    return result;
  } else {
    static_assert(sizeof(R) == 0, "no Python form for this result type: add one to result_to_py");
  }
}

}  // namespace orvek::ffi
