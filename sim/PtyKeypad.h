#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/ChannelError.h"
#include "link/Clock.h"
#include "sim/KeypadModel.h"

namespace lumivane::sim {

// A simulated keypad on the RS232 link: the keypad model behind a
// pseudo-terminal. The program under test opens devicePath() as its serial
// port; bytes pass unchanged in both directions (raw mode).
//
// Runs on its own thread (Start/Stop, for tests) or in the caller's thread
// (Serve, for the simulator executable). The model is shared with the
// serving thread: read it through Snapshot() or WithModel().
//
// Its waits (the shift+load delay, a slow or late answer, the line falling
// idle) run on the clock it is given, the monotonic one by default. The
// serving thread waits on that clock, so it must be one that several
// threads may use (the tests' manual clock is not).
class PtyKeypad {
 public:
  // stopAfterEnd: serving ends after the first end command.
  explicit PtyKeypad(KeypadOptions options = {}, bool stopAfterEnd = false);
  PtyKeypad(KeypadOptions options, bool stopAfterEnd, Clock& clock);
  ~PtyKeypad();
  PtyKeypad(const PtyKeypad&) = delete;
  PtyKeypad& operator=(const PtyKeypad&) = delete;

  // Creates the pseudo-terminal; fails with the failing step and its errno.
  ChannelError Open();
  // The device the program opens ("/dev/pts/N"); empty before Open.
  const std::string& devicePath() const { return devicePath_; }

  // Serves on a thread of its own (opens first when needed).
  ChannelError Start();
  // Ends serving and joins the thread; the model keeps what it received.
  void Stop();

  // Serves in the calling thread until the end command (with stopAfterEnd),
  // a hang-up fault, Stop() from another thread, or stopFd (if not -1)
  // becoming readable. Returns false when the line failed.
  bool Serve(int stopFd = -1);

  // After serving: keeps the line up until the program has closed the
  // device, at most `limit` or until stopFd (if not -1) becomes readable,
  // so that a keypad that is done is not taken for one that dropped the
  // line while the program still checks it. Bytes that arrive meanwhile
  // are dropped. False when the limit passed first.
  bool WaitForRelease(std::chrono::milliseconds limit, int stopFd = -1);

  // For a test that looks at the keypad after a session (serving on its
  // own thread): lets go of the device side, serves on until the program
  // has closed the device too and every byte it wrote has been handled,
  // then ends serving. The program's last bytes may still be on their way
  // when its session ends; a pseudo-terminal hands over what the other
  // side wrote before it closed, so nothing is missed however late the
  // serving thread runs. False when `limit` (real time) passed first.
  bool Release(std::chrono::milliseconds limit);

  void PressShiftLoad();
  // The keypad is taken off the line: the line stays up, bytes sent to it
  // are lost and nothing answers, as on a cable whose keypad was unplugged.
  // PutOnLine puts a keypad there again: a new one with these options.
  void TakeOffLine();
  void PutOnLine(KeypadOptions options);
  // Waits (in real time, for the serving thread) until an end command has
  // arrived; false when limit passed first.
  bool WaitForEnd(std::chrono::milliseconds limit);
  // A copy of the keypad as it is now.
  KeypadModel Snapshot() const;
  template <typename Function>
  void WithModel(Function&& function) {
    std::lock_guard<std::mutex> lock(mutex_);
    function(model_);
  }

 private:
  // How handling received bytes ended: serving goes on, is finished (the
  // end command with stopAfterEnd, a hang-up fault, a release), or the line failed.
  enum class ReceiveEnd { GoOn, Finished, LineFailed };

  void CloseLine();
  void StopLineOutput();
  bool SendAnswers(const std::vector<std::uint8_t>& answers, int stopFd);
  // What the model asks of the serving loop before its next wait: answers
  // now due, and when to look again (without input).
  struct ModelWait {
    std::optional<Clock::TimePoint> wakeUp;
    bool idleAtWakeUp = false;  // the line falls idle if nothing comes until then
    std::vector<std::uint8_t> due;
    bool stoppedReading = false;
  };
  ModelWait TakeModelWait();
  void LetGoOfDevice();
  // Hands received bytes to the model and sends its answers.
  ReceiveEnd HandleReceived(const std::uint8_t* bytes, std::size_t count, int stopFd);
  // Reads what the program sent and hands it to the model.
  ReceiveEnd TakeInput(int stopFd);

  SteadyClock steadyClock_;
  Clock& clock_;
  Clock* modelClock_;  // the model's clock: null for the monotonic one
  bool onLine_ = true;
  KeypadModel model_;
  bool stopAfterEnd_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;  // an end command arrived, or serving ended
  bool serving_ = false;             // the serving thread runs
  bool released_ = false;            // the program let go, every byte handled
  int masterFd_ = -1;
  int slaveFd_ = -1;  // held open so the master never sees a hang-up between users
  int wakeFd_ = -1;   // eventfd that Stop signals
  bool outputStopped_ = false;  // the keypad stopped reading: the line's output is held
  std::string devicePath_;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> releaseRequested_{false};
  std::thread thread_;
};

}  // namespace lumivane::sim
