#pragma once
/// @file
/// Realtime control: a caller-supplied callable is asked cycle by cycle for the next target.

#include <chrono>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "arm_state.hpp"
#include "exception.hpp"
#include "motion.hpp"

namespace robot_behavior {

/// A non-owning reference to a callable: two words, no allocation. The callable must outlive
/// the reference (pass a lambda straight into the call that runs it).
template <class Signature>
class FunctionRef;

template <class R, class... Args>
class FunctionRef<R(Args...)> {
 public:
  template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> &&
             !std::is_function_v<std::remove_reference_t<F>> && std::is_invocable_r_v<R, F&, Args...>)
  FunctionRef(F&& callable) noexcept  // NOLINT: implicit by design
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
        call_(&invoke<std::remove_reference_t<F>>) {}

  R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

 private:
  template <class F>
  static R invoke(void* object, Args... args) {
    return std::invoke(*static_cast<F*>(object), std::forward<Args>(args)...);
  }

  void* object_;
  R (*call_)(void*, Args...);
};

/// One answer of the callable: the next target and whether the run is finished (the target
/// given with finished = true is not sent).
using MotionStep = std::pair<Motion6, bool>;
/// @copydoc MotionStep
using ControlStep = std::pair<Control6, bool>;

/// Called with the state of the cycle and the nominal period. May throw (a Panic carrying
/// the caller's error); the run then ends with that exception.
using MotionClosure = FunctionRef<MotionStep(const ArmState6& state, std::chrono::nanoseconds period)>;
/// @copydoc MotionClosure
using ControlClosure = FunctionRef<ControlStep(const ArmState6& state, std::chrono::nanoseconds period)>;

class ArmRealtimeControl {
 public:
  virtual ~ArmRealtimeControl() = default;

  /// Run `closure` once per cycle and send each target it returns until it reports finished.
  /// Returns when the run ends; the error says why it ended early. Throws what the closure
  /// throws. The implementer documents what it sends.
  virtual Result<void> move_with_closure(MotionClosure closure) = 0;
  /// The same with control outputs (torques).
  virtual Result<void> control_with_closure(ControlClosure closure) = 0;

 protected:
  ArmRealtimeControl() = default;
  ArmRealtimeControl(const ArmRealtimeControl&) = default;
  ArmRealtimeControl(ArmRealtimeControl&&) = default;
  ArmRealtimeControl& operator=(const ArmRealtimeControl&) = default;
  ArmRealtimeControl& operator=(ArmRealtimeControl&&) = default;
};

}  // namespace robot_behavior
