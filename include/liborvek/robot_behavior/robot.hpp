#pragma once
/// @file
/// The generic robot: power, enable, stop and the motion flag, and the wait for rest that
/// every blocking motion ends with.

#include <chrono>
#include <exception>
#include <string>

#include "exception.hpp"

namespace robot_behavior {

/// The pause between two status queries of a wait for rest.
inline constexpr std::chrono::milliseconds kRestPollPeriod{100};

/// Asked between the status queries of a wait for rest, and by a transport between the
/// slices of a wait for the controller. The host (the Python binding) installs it to notice
/// a pending Ctrl-C; it must not throw.
struct InterruptCheck {
  bool (*check)(void* context) = nullptr;
  void* context = nullptr;

  bool requested() const { return check != nullptr && check(context); }
};

/// A wait that ended because the host asked to stop: a wait for rest (the arm has been told
/// to stop, best effort) or a transport's wait for the controller. This is not an internal
/// failure: the host reports its own pending interruption (for Python, the
/// KeyboardInterrupt already set).
class Interrupted : public std::exception {
 public:
  Interrupted() noexcept = default;
  explicit Interrupted(const char* what) noexcept : what_(what) {}
  const char* what() const noexcept override { return what_; }

 private:
  const char* what_ = "interrupted while waiting for the arm to come to rest";
};

/// The operations every robot has. Each implementer documents what it sends; in general an
/// operation returns an error when the robot or its controller refuses, and throws Panic on
/// an internal failure (including the operations it does not carry out).
class RobotBehavior {
 public:
  virtual ~RobotBehavior() = default;

  /// The library's version text; never fails.
  virtual std::string version() const = 0;
  /// Power the arm on.
  virtual Result<void> init() = 0;
  /// Power the arm off.
  virtual Result<void> shutdown() = 0;
  /// Enable the drives.
  virtual Result<void> enable() = 0;
  /// Disable the drives.
  virtual Result<void> disable() = 0;
  /// Reset the controller; the implementer documents whether it carries this out.
  virtual Result<void> reset() = 0;
  /// Whether a motion started by this robot may still be under way.
  virtual bool is_moving() = 0;
  /// Stop the running motion.
  virtual Result<void> stop() = 0;
  /// Pause the running motion; the implementer documents whether it carries this out.
  virtual Result<void> pause() = 0;
  /// Resume a paused motion; the implementer documents whether it carries this out.
  virtual Result<void> resume() = 0;
  /// Stop at once; the implementer documents whether it carries this out.
  virtual Result<void> emergency_stop() = 0;
  /// Clear the controller's error state.
  virtual Result<void> clear_emergency_stop() = 0;

  /// Installs (or, with a null `check`, removes) the check asked between status queries. A
  /// robot whose transport waits on it too passes it on.
  virtual void set_interrupt_check(bool (*check)(void* context), void* context) noexcept {
    interrupt_ = {check, context};
  }
  const InterruptCheck& interrupt_check() const noexcept { return interrupt_; }

  /// Queries is_moving at once and then every kRestPollPeriod until it answers false. No
  /// time-out. When the interrupt check fires between two queries, sends stop (its outcome
  /// ignored) and throws Interrupted. Internal failures of is_moving propagate.
  void wait_for_rest();

 protected:
  RobotBehavior() = default;
  RobotBehavior(const RobotBehavior&) = default;
  RobotBehavior(RobotBehavior&&) = default;
  RobotBehavior& operator=(const RobotBehavior&) = default;
  RobotBehavior& operator=(RobotBehavior&&) = default;

 private:
  InterruptCheck interrupt_{};
};

}  // namespace robot_behavior
