#pragma once
// A language client for the tests: runs the real lumivane-cli lsp over
// pipes and speaks the protocol to it. Every wait is bounded.
#include <sys/types.h>

#include <chrono>
#include <deque>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace lumivane::test {

using Json = nlohmann::json;

class LspClient {
 public:
  // Generous, for the sanitizer build; only a broken server waits this long.
  static constexpr std::chrono::seconds kWait{30};

  // Runs `program lsp` with `environment` ("NAME=value") added to the test's.
  explicit LspClient(const std::vector<std::string>& environment = {}, const std::string& program = "");
  ~LspClient();
  LspClient(const LspClient&) = delete;
  LspClient& operator=(const LspClient&) = delete;

  void SendRaw(const std::string& bytes);
  void Send(const Json& message);
  void Notify(const std::string& method, const Json& params);
  // Sends a request and returns its response (null when none came in time).
  Json Request(const std::string& method, const Json& params);
  Json NextId() { return nextId_++; }
  // The first message not yet taken that `wanted` accepts, waiting for it.
  Json WaitFor(const std::function<bool(const Json&)>& wanted);
  // The response to the request `id`.
  Json ResponseTo(const Json& id);
  // The diagnostics published for `uri`, the first set not yet taken.
  Json Diagnostics(const std::string& uri);

  // initialize (with `capabilities` and `options`), then initialized.
  Json Initialize(const Json& capabilities = Json::object(), const Json& options = nullptr);
  void Open(const std::string& uri, const std::string& text, int version = 1);

  void CloseInput();
  // The server's exit status; -1 when it did not end in time or was killed.
  int WaitForExit();

 private:
  // Reads what the server wrote into buffer_ for at most `wait`; false when nothing came.
  bool ReadSome(std::chrono::milliseconds wait);
  // A whole message from buffer_, when there is one.
  bool TakeFrame(Json& message);

  pid_t pid_ = -1;
  int toServer_ = -1;
  int fromServer_ = -1;
  std::string buffer_;
  std::deque<Json> received_;
  int nextId_ = 1;
  int status_ = -1;
  bool outputEnded_ = false;
};

}  // namespace lumivane::test
