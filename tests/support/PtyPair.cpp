#include "PtyPair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace lumivane::test {

PtyPair::PtyPair() {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  char name[128] = {};
  if (master < 0) return;
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
      ::ptsname_r(master, name, sizeof name) != 0) {
    ::close(master);
    return;
  }
  master_ = master;
  devicePath_ = name;
}

PtyPair::~PtyPair() { HangUp(); }

void PtyPair::HangUp() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

bool PtyPair::Send(const std::vector<std::uint8_t>& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd watch{master_, POLLOUT, 0};
      ::poll(&watch, 1, 100);
    } else if (!(n < 0 && errno == EINTR)) {
      return false;
    }
  }
  return true;
}

std::vector<std::uint8_t> PtyPair::Receive(std::size_t count, int limitMs) {
  std::vector<std::uint8_t> received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (received.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd watch{master_, POLLIN, 0};
    if (::poll(&watch, 1, static_cast<int>(left.count())) <= 0) continue;
    std::uint8_t chunk[4096];
    const std::size_t want = std::min(sizeof chunk, count - received.size());
    const ssize_t n = ::read(master_, chunk, want);
    if (n > 0) received.insert(received.end(), chunk, chunk + n);
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;
  }
  return received;
}

}  // namespace lumivane::test
