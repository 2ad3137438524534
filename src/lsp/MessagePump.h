#pragma once
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

#include "lsp/JsonRpc.h"
#include "lsp/MessageFraming.h"

namespace lumivane::lsp {

// A file descriptor's bytes, until it ends or Stop() is called from
// another thread (a pipe wakes the waiting poll).
class DescriptorSource : public ByteSource {
 public:
  explicit DescriptorSource(int fd);
  ~DescriptorSource() override;
  DescriptorSource(const DescriptorSource&) = delete;
  DescriptorSource& operator=(const DescriptorSource&) = delete;

  std::size_t Read(char* buffer, std::size_t size) override;
  void Stop();

 private:
  int fd_;
  int wake_[2] = {-1, -1};
};

// Reads and parses the messages on a thread of its own, so that the server
// sees what is waiting (a newer change, a cancellation) while it works.
// The queue is bounded: when it is full the reading waits, so a client
// that floods the server costs no more memory than the bound.
class MessagePump {
 public:
  explicit MessagePump(ByteSource& source);
  ~MessagePump();
  MessagePump(const MessagePump&) = delete;
  MessagePump& operator=(const MessagePump&) = delete;

  // The next item, waiting at most `wait`; nothing when none came. After
  // the End item every call returns End at once.
  std::optional<Incoming> Pop(std::chrono::milliseconds wait);
  // True when a $/cancelRequest for `id` has been read (and forgets it).
  bool TakeCancellation(const Json& id);
  // Ends the reading thread; the source must end its Read at once
  // (DescriptorSource::Stop) before this is called.
  void Join();

 private:
  void ReadAll();
  void Push(Incoming incoming);
  void NoteCancellation(const Incoming& incoming);

  static constexpr std::size_t kMaxQueued = 256;
  static constexpr std::size_t kMaxQueuedBytes = 32 * 1024 * 1024;
  static constexpr std::size_t kMaxCancellations = 1024;

  ByteSource& source_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Incoming> queue_;
  std::size_t queuedBytes_ = 0;
  std::deque<Json> cancellations_;
  bool ended_ = false;
  bool stopping_ = false;
  std::thread reader_;
};

}  // namespace lumivane::lsp
