#pragma once
// Method tables as data. A Python method of a class that wraps a C++ value is one row naming
//   the method, how it uses the object (shared or exclusive), the operation it calls, and for a
//   method with an argument the kind of that argument and its name.
// Everything else follows from the row, written once here: the calling convention (METH_NOARGS,
// or METH_FASTCALL | METH_KEYWORDS), argument parsing, the receiver check, the borrow of the
// object (given back on every exit), the conversion of the argument, the call, the conversion of
// the result, the mapping of failures, and the docstring "name($self, arg)\n--\n\n".
//
// A class provides a traits struct:
//
//   struct RobotClass {
//     using Value = orvek::OrvekRobot;             // held by value inside the Python object
//     static constexpr FixedString name = "OrvekRobot";
//     static PyTypeObject* type();                 // the class, created once
//   };
//   using M = Methods<RobotClass>;
//
//   PyMethodDef kRobotMethods[] = {
//       M::method<"version", Use::shared, &OrvekRobot::version>(),
//       M::method<"init", Use::exclusive, &OrvekRobot::init>(),
//       M::method<"set_speed", Use::exclusive, &OrvekRobot::set_speed, kind::Float, "speed">(),
//       M::method<"with_speed", Use::exclusive, chain<&OrvekRobot::with_speed>, kind::Float, "speed">(),
//       M::method<"move_path", Use::exclusive, &OrvekRobot::move_path, kind::List<kind::Motion>, "path">(),
//       M::method<"with_jerk", Use::exclusive, chain<[](OrvekRobot&, const Joints&) {}>, kind::Six, "joint_jerk">(),
//       kMethodsEnd,
//   };
//
// Argument kinds (namespace kind) and the C++ value the operation receives:
//   Float -> double; Six / Floats<N> -> std::array<double, N>; Str -> std::string;
//   Pose -> robot_behavior::Pose (a Quat normalised); Motion -> Motion6 (a list of the wrong length
//   is an internal failure); Load -> LoadState; Coord -> robot_behavior::Coord (from "OCS", "Shot",
//   "Interial" or pose JSON; anything else is an internal failure naming the parser's error);
//   Object -> PyObject* (borrowed, e.g. a callable); List<K> -> std::vector<K::type> (a str is refused).
// The operation is anything std::invoke can call with (Value&, argument) — a member function
// pointer (use a lambda for an overloaded name) or a captureless lambda; a shared row passes `const Value&`, so a non-const member is a
// compile error there. Its result becomes the Python result (result_to_py): void -> None,
// Result<T> -> the value or Exception(display text), bool, double, integers, strings, Pose, ArmState6,
// LoadState, arrays and vectors of doubles, or a new reference (Ref or PyObject*). A row whose
// operation is wrapped in `chain<...>` returns the object itself (after a Result<...> error check).
// A C++ exception thrown by the conversion or the operation becomes PanicException (boundary.hpp).
//
// Calling a method:
//   1. the arguments are parsed (args.hpp: TypeError naming "OrvekRobot.set_speed()");
//   2. the receiver must be an instance of Class::type();
//   3. the object is taken: exclusive use is refused with RuntimeError "Already borrowed" while it
//      is held in any way, shared use with "Already mutably borrowed" while it is held exclusively;
//   4. the argument is converted (convert.hpp); a TypeError reads "argument 'speed': ...";
//   5. the operation runs, its result is converted; 6. the object is given back.
//
// Constructors and deallocation of such a class come from the same traits:
//   {Py_tp_new, M::constructor<make_robot, kind::Str, "ip">}   // make_robot(std::string) -> Value
//   {Py_tp_dealloc, M::dealloc}

#include <Python.h>

#include <array>
#include <expected>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "arg_kinds.hpp"
#include "args.hpp"
#include "borrow.hpp"
#include "boundary.hpp"
#include "classes.hpp"
#include "fixed_string.hpp"
#include "method_result.hpp"
#include "py_ref.hpp"

namespace orvek::ffi {

// --- the rows -----------------------------------------------------------------------------------

// A METH_FASTCALL | METH_KEYWORDS function stored in the PyCFunction slot of a PyMethodDef.
inline PyCFunction as_cfunction(PyObject* (*function)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

inline constexpr PyMethodDef kMethodsEnd = {nullptr, nullptr, 0, nullptr};

template <class Class>
struct Methods {
  using Value = typename Class::Value;
  using Held = Lent<Value>;
  using Object = ValueObject<Held>;

  // A method without argument.
  template <FixedString Name, Use U, auto Op>
  static PyMethodDef method() {
    return {Name.c_str(), &call_noargs<Name, U, Op>, METH_NOARGS, Concat<Name, "($self)\n--\n\n">::c_str()};
  }

  // A method with one required argument of kind K, named ArgName (by position or keyword).
  template <FixedString Name, Use U, auto Op, class K, FixedString ArgName>
  static PyMethodDef method() {
    return {Name.c_str(), as_cfunction(&call_one<Name, U, Op, K, ArgName>), METH_FASTCALL | METH_KEYWORDS,
            Concat<Name, "($self, ", ArgName, ")\n--\n\n">::c_str()};
  }

  // tp_new: one required argument of kind K; Make(converted argument) returns the Value.
  template <auto Make, class K, FixedString ArgName>
  static PyObject* constructor(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
      static constexpr const char* kParams[] = {ArgName.c_str()};
      PyObject* arg = nullptr;
      if (!parse_arguments(Signature{Concat<Class::name, ".__new__">::c_str(), true, kParams}, args, kwargs, &arg)) {
        return nullptr;
      }
      typename K::type value{};
      if (!K::convert(arg, value)) return argument_failed(ArgName.c_str());
      return new_object(type, std::invoke(Make, std::move(value)));
    });
  }

  // tp_dealloc: destroys the value.
  static void dealloc(PyObject* self) { dealloc_value_object<Held>(self); }

  // A new instance holding `value`, free to borrow.
  static PyObject* new_object(PyTypeObject* type, Value&& value) {
    return new_value_object<Held>(type, std::move(value));
  }

 private:
  template <FixedString Name>
  static constexpr const char* qualified_name() {
    return Concat<Class::name, ".", Name>::c_str();
  }

  template <FixedString Name>
  static Held* receiver(PyObject* self) {
    PyTypeObject* type = Class::type();
    if (type == nullptr) return nullptr;
    if (!PyObject_TypeCheck(self, type)) {
      PyErr_Format(PyExc_TypeError, "descriptor '%s' for '%s' objects doesn't apply to a '%s' object", Name.c_str(),
                   Class::name.c_str(), Py_TYPE(self)->tp_name);
      return nullptr;
    }
    return &value_of<Held>(self);
  }

  // The value as the row may use it: const for a shared row.
  template <Use U>
  static std::conditional_t<U == Use::shared, const Value&, Value&> target(Held* held) {
    return held->value;
  }

  template <Use U, auto Op, class... A>
  static PyObject* invoke(PyObject* self, Held* held, A&&... arg) {
    auto&& value = target<U>(held);
    using OpType = std::remove_cvref_t<decltype(Op)>;
    if constexpr (IsChain<OpType>::value) {
      using R = decltype(std::invoke(OpType::op, value, std::forward<A>(arg)...));
      if constexpr (std::is_void_v<R>) {
        std::invoke(OpType::op, value, std::forward<A>(arg)...);
      } else {
        decltype(auto) result = std::invoke(OpType::op, value, std::forward<A>(arg)...);
        if constexpr (IsExpected<std::remove_cvref_t<R>>::value) {
          if (!result) {
            raise_robot_exception(result.error());
            return nullptr;
          }
        }
      }
      return Py_NewRef(self);
    } else {
      using R = decltype(std::invoke(Op, value, std::forward<A>(arg)...));
      if constexpr (std::is_void_v<R>) {
        std::invoke(Op, value, std::forward<A>(arg)...);
        Py_RETURN_NONE;
      } else {
        return result_to_py(std::invoke(Op, value, std::forward<A>(arg)...));
      }
    }
  }

  template <FixedString Name, Use U, auto Op>
  static PyObject* call_noargs(PyObject* self, PyObject*) {
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
      Held* held = receiver<Name>(self);
      if (held == nullptr) return nullptr;
      BorrowGuard borrow(held->borrow, U);
      if (!borrow) return nullptr;
      return invoke<U, Op>(self, held);
    });
  }

  template <FixedString Name, Use U, auto Op, class K, FixedString ArgName>
  static PyObject* call_one(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
      static constexpr const char* kParams[] = {ArgName.c_str()};
      PyObject* arg = nullptr;
      if (!parse_arguments(Signature{qualified_name<Name>(), true, kParams}, args, nargsf, kwnames, &arg)) {
        return nullptr;
      }
      Held* held = receiver<Name>(self);
      if (held == nullptr) return nullptr;
      BorrowGuard borrow(held->borrow, U);
      if (!borrow) return nullptr;
      typename K::type value{};
      if (!K::convert(arg, value)) return argument_failed(ArgName.c_str());
      return invoke<U, Op>(self, held, std::move(value));
    });
  }
};

// A module-level function with one required argument of kind K: Op(converted argument).
// Docstring "name(arg)\n--\n\n"; argument errors name "name()".
template <FixedString Name, auto Op, class K, FixedString ArgName>
struct Function {
  static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    return guard<PyObject*>(nullptr, [&]() -> PyObject* {
      static constexpr const char* kParams[] = {ArgName.c_str()};
      PyObject* arg = nullptr;
      if (!parse_arguments(Signature{Name.c_str(), false, kParams}, args, nargsf, kwnames, &arg)) return nullptr;
      typename K::type value{};
      if (!K::convert(arg, value)) return argument_failed(ArgName.c_str());
      using R = decltype(std::invoke(Op, std::move(value)));
      if constexpr (std::is_void_v<R>) {
        std::invoke(Op, std::move(value));
        Py_RETURN_NONE;
      } else {
        return result_to_py(std::invoke(Op, std::move(value)));
      }
    });
  }
  static PyMethodDef def() {
    return {Name.c_str(), as_cfunction(&call), METH_FASTCALL | METH_KEYWORDS,
            Concat<Name, "(", ArgName, ")\n--\n\n">::c_str()};
  }
};

}  // namespace orvek::ffi
