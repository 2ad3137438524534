#pragma once
#include <signal.h>

namespace lumivane {

// The signals that end the program (SIGINT, SIGTERM, SIGHUP), taken as data
// from a signalfd instead of by their default action, so that a download
// can end in order: the transfer stopped after a byte, the ports closed,
// the keyboard's repeat settings restored.
//
// Blocks the signals in the calling thread for its lifetime; threads
// started later inherit the block. Create it before any other thread, so
// that no thread is left to take the default action.
class SignalChannel {
 public:
  SignalChannel();
  ~SignalChannel();
  SignalChannel(const SignalChannel&) = delete;
  SignalChannel& operator=(const SignalChannel&) = delete;

  // Readable while a signal is pending; -1 when the channel could not be made.
  int fd() const { return fd_; }
  // The number of the next pending signal, 0 when none. Never blocks.
  int Take();

  // Takes one signal from any such descriptor (non-blocking); 0 when none is pending.
  static int TakeFrom(int fd);

 private:
  bool blocked_ = false;
  int fd_ = -1;
  sigset_t previousMask_{};  // restored at the end
};

}  // namespace lumivane
