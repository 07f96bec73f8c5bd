#pragma once
// Borrowing a Python object's C++ value for the length of one method call: several methods that
// only read it may hold it at once, one that changes it holds it alone. A method that would
// break that is refused with RuntimeError before it runs.

#include <Python.h>

#include <utility>

namespace orvek::ffi {

enum class Use { shared, exclusive };

// One machine word: 0 free, n > 0 held by n shared users, -1 held by one exclusive user.
using BorrowFlag = Py_ssize_t;

// Takes the object for the scope; on refusal sets RuntimeError and converts to false.
class BorrowGuard {
 public:
  BorrowGuard(BorrowFlag& flag, Use use) noexcept : use_(use) {
    if (use == Use::exclusive ? flag != 0 : flag < 0) {
      PyErr_SetString(PyExc_RuntimeError, use == Use::exclusive ? "Already borrowed" : "Already mutably borrowed");
      return;
    }
    flag = use == Use::exclusive ? -1 : flag + 1;
    flag_ = &flag;
  }
  BorrowGuard(const BorrowGuard&) = delete;
  BorrowGuard& operator=(const BorrowGuard&) = delete;
  ~BorrowGuard() {
    if (flag_ != nullptr) *flag_ = use_ == Use::exclusive ? 0 : *flag_ - 1;
  }
  explicit operator bool() const { return flag_ != nullptr; }

 private:
  Use use_;
  BorrowFlag* flag_ = nullptr;
};

// What an object of such a class holds (as a ValueObject, see classes.hpp): the value and
// the flag that records which methods have it.
template <class T>
struct Lent {
  explicit Lent(T&& held) : value(std::move(held)) {}
  T value;
  BorrowFlag borrow = 0;
};

}  // namespace orvek::ffi
