#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace lumivane::test {

// A pseudo-terminal for serial tests: the code under test opens
// devicePath(); the test plays the far end through the master.
class PtyPair {
 public:
  PtyPair();  // check ok() afterwards
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0; }
  const std::string& devicePath() const { return devicePath_; }
  int masterFd() const { return master_; }

  // Sends bytes to the device side; false when the write failed.
  bool Send(const std::vector<std::uint8_t>& bytes);
  // Receives exactly `count` bytes from the device side, waiting at most
  // limitMs for them; returns what came.
  std::vector<std::uint8_t> Receive(std::size_t count, int limitMs = 2000);
  // Closes the master: the device side is hung up.
  void HangUp();

 private:
  int master_ = -1;
  std::string devicePath_;
};

}  // namespace lumivane::test
