#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "robot_behavior/path_file.hpp"

namespace robot_behavior {

namespace {

// An open file descriptor, closed when it goes out of scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

}  // namespace

Result<std::string> read_text_file(const std::string& path) {
  // The system call would silently read a shorter name.
  if (path.find('\0') != std::string::npos) {
    return fail(RobotException::network("file name contained an unexpected NUL byte"));
  }
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return fail(RobotException::from_errno(errno));
  std::string content;
  char buffer[8192];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail(RobotException::from_errno(errno));
    }
    // A path file is small; an endless source (a device, a growing pipe) must not take
    // all memory.
    if (content.size() + static_cast<std::size_t>(got) > kMaxTextFileSize) {
      return fail(RobotException::from_errno(EFBIG));
    }
    content.append(buffer, static_cast<std::size_t>(got));
  }
  return content;
}

}  // namespace robot_behavior
