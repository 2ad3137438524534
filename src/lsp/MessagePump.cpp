#include "lsp/MessagePump.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace lumivane::lsp {

namespace {

// What a queued item is counted as: its text and a little for the rest.
std::size_t QueuedBytes(const Incoming& incoming) { return incoming.textBytes + 256; }

}  // namespace

DescriptorSource::DescriptorSource(int fd) : fd_(fd) {
  if (::pipe2(wake_, O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
}

DescriptorSource::~DescriptorSource() {
  for (const int end : wake_) {
    if (end >= 0) ::close(end);
  }
}

std::size_t DescriptorSource::Read(char* buffer, std::size_t size) {
  for (;;) {
    pollfd watched[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    const int ready = ::poll(watched, wake_[0] >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0 || (watched[1].revents & POLLIN) != 0) return 0;
    const ssize_t got = ::read(fd_, buffer, size);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
}

void DescriptorSource::Stop() {
  if (wake_[1] >= 0) {
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(wake_[1], &byte, 1);
  }
}

MessagePump::MessagePump(ByteSource& source) : source_(source), reader_([this] { ReadAll(); }) {}

MessagePump::~MessagePump() { Join(); }

void MessagePump::Join() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (reader_.joinable()) reader_.join();
}

void MessagePump::ReadAll() {
  FrameReader frames(source_);
  for (;;) {
    Incoming incoming = ReadIncoming(frames.Next());
    const bool end = incoming.kind == Incoming::Kind::End;
    NoteCancellation(incoming);
    Push(std::move(incoming));
    if (end) return;
  }
}

void MessagePump::NoteCancellation(const Incoming& incoming) {
  if (incoming.kind != Incoming::Kind::Message || !incoming.message.is_object()) return;
  const auto method = incoming.message.find("method");
  if (method == incoming.message.end() || *method != "$/cancelRequest") return;
  const Json* params = OptionalObject(incoming.message, "params");
  if (!params || !params->contains("id")) return;
  std::lock_guard lock(mutex_);
  cancellations_.push_back((*params)["id"]);
  if (cancellations_.size() > kMaxCancellations) cancellations_.pop_front();
}

void MessagePump::Push(Incoming incoming) {
  const std::size_t bytes = QueuedBytes(incoming);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] {
    return stopping_ || queue_.empty() || (queue_.size() < kMaxQueued && queuedBytes_ + bytes <= kMaxQueuedBytes);
  });
  if (stopping_) return;
  queuedBytes_ += bytes;
  queue_.push_back(std::move(incoming));
  lock.unlock();
  changed_.notify_all();
}

std::optional<Incoming> MessagePump::Pop(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  if (ended_) return Incoming{};
  if (!changed_.wait_for(lock, wait, [&] { return !queue_.empty(); })) return std::nullopt;
  Incoming incoming = std::move(queue_.front());
  queue_.pop_front();
  queuedBytes_ -= QueuedBytes(incoming);
  if (incoming.kind == Incoming::Kind::End) ended_ = true;
  lock.unlock();
  changed_.notify_all();
  return incoming;
}

bool MessagePump::TakeCancellation(const Json& id) {
  std::lock_guard lock(mutex_);
  const auto found = std::find(cancellations_.begin(), cancellations_.end(), id);
  if (found == cancellations_.end()) return false;
  cancellations_.erase(found);
  return true;
}

}  // namespace lumivane::lsp
