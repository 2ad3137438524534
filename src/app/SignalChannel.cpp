#include "app/SignalChannel.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace lumivane {

namespace {
sigset_t EndingSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  return signals;
}
}  // namespace

SignalChannel::SignalChannel() {
  const sigset_t signals = EndingSignals();
  if (pthread_sigmask(SIG_BLOCK, &signals, &previousMask_) != 0) return;
  blocked_ = true;
  fd_ = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
}

SignalChannel::~SignalChannel() {
  // Signals that came after the one that ended the work were answered by
  // that ending; they must not kill the program on its way out.
  while (Take() != 0) {
  }
  if (fd_ >= 0) close(fd_);
  if (blocked_) pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

int SignalChannel::Take() { return TakeFrom(fd_); }

int SignalChannel::TakeFrom(int fd) {
  if (fd < 0) return 0;
  signalfd_siginfo info{};
  if (read(fd, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
  return static_cast<int>(info.ssi_signo);
}

}  // namespace lumivane
