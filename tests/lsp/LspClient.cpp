#include "LspClient.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "TestPaths.h"

extern char** environ;

namespace lumivane::test {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds Left(Clock::time_point deadline) {
  return std::max(std::chrono::milliseconds(0),
                  std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
}

}  // namespace

LspClient::LspClient(const std::vector<std::string>& environment, const std::string& program) {
  const std::string path = program.empty() ? ProgramDir() + "lumivane-cli" : program;
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
  std::vector<std::string> variables(environment);
  for (char** variable = environ; *variable; ++variable) variables.emplace_back(*variable);
  std::vector<char*> envp;
  for (std::string& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>("lsp"), nullptr};
    execve(path.c_str(), argv, envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  toServer_ = in[1];
  fromServer_ = out[0];
}

LspClient::~LspClient() {
  CloseInput();
  if (pid_ > 0 && WaitForExit() == -1 && pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (fromServer_ >= 0) close(fromServer_);
}

void LspClient::SendRaw(const std::string& bytes) {
  // Reads the server's answers while writing, so that neither side stalls
  // on a full pipe.
  std::size_t done = 0;
  const Clock::time_point deadline = Clock::now() + kWait;
  while (done < bytes.size() && toServer_ >= 0 && Clock::now() < deadline) {
    pollfd fds[2] = {{toServer_, POLLOUT, 0}, {fromServer_, POLLIN, 0}};
    if (poll(fds, 2, 100) <= 0) continue;
    if (fds[1].revents & (POLLIN | POLLHUP)) ReadSome(std::chrono::milliseconds(0));
    if (fds[0].revents & (POLLERR | POLLHUP)) return;
    if (fds[0].revents & POLLOUT) {
      const ssize_t written = write(toServer_, bytes.data() + done, std::min<std::size_t>(bytes.size() - done, 65536));
      if (written < 0 && errno != EINTR && errno != EAGAIN) return;
      if (written > 0) done += static_cast<std::size_t>(written);
    }
  }
}

void LspClient::Send(const Json& message) {
  const std::string body = message.dump();
  SendRaw("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

void LspClient::Notify(const std::string& method, const Json& params) {
  Send({{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
}

Json LspClient::Request(const std::string& method, const Json& params) {
  const Json id = NextId();
  Send({{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}});
  return ResponseTo(id);
}

Json LspClient::ResponseTo(const Json& id) {
  return WaitFor([&](const Json& m) { return m.contains("id") && m["id"] == id && !m.contains("method"); });
}

Json LspClient::Diagnostics(const std::string& uri) {
  const Json message = WaitFor([&](const Json& m) {
    return m.value("method", "") == "textDocument/publishDiagnostics" && m["params"]["uri"] == uri;
  });
  return message.is_null() ? Json() : message["params"]["diagnostics"];
}

Json LspClient::WaitFor(const std::function<bool(const Json&)>& wanted) {
  const Clock::time_point deadline = Clock::now() + kWait;
  for (;;) {
    Json message;
    while (TakeFrame(message)) received_.push_back(std::move(message));
    for (auto it = received_.begin(); it != received_.end(); ++it) {
      if (!wanted(*it)) continue;
      Json found = std::move(*it);
      received_.erase(it);
      return found;
    }
    if (outputEnded_ || Clock::now() >= deadline) return nullptr;
    ReadSome(Left(deadline));
  }
}

bool LspClient::ReadSome(std::chrono::milliseconds wait) {
  if (fromServer_ < 0 || outputEnded_) return false;
  pollfd fd = {fromServer_, POLLIN, 0};
  if (poll(&fd, 1, static_cast<int>(wait.count())) <= 0) return false;
  char chunk[65536];
  const ssize_t got = read(fromServer_, chunk, sizeof chunk);
  if (got < 0 && errno == EINTR) return false;
  if (got <= 0) {
    outputEnded_ = true;
    return false;
  }
  buffer_.append(chunk, static_cast<std::size_t>(got));
  return true;
}

bool LspClient::TakeFrame(Json& message) {
  const std::size_t headerEnd = buffer_.find("\r\n\r\n");
  if (headerEnd == std::string::npos) return false;
  const std::size_t at = buffer_.find("Content-Length: ");
  if (at == std::string::npos || at > headerEnd) return false;
  const std::size_t length = std::stoul(buffer_.substr(at + 16, headerEnd - at - 16));
  if (buffer_.size() < headerEnd + 4 + length) return false;
  message = Json::parse(buffer_.substr(headerEnd + 4, length));
  buffer_.erase(0, headerEnd + 4 + length);
  return true;
}

Json LspClient::Initialize(const Json& capabilities, const Json& options) {
  Json params = {{"processId", nullptr}, {"rootUri", nullptr}, {"capabilities", capabilities}};
  if (!options.is_null()) params["initializationOptions"] = options;
  const Json result = Request("initialize", params);
  Notify("initialized", Json::object());
  return result;
}

void LspClient::Open(const std::string& uri, const std::string& text, int version) {
  Notify("textDocument/didOpen",
         {{"textDocument", {{"uri", uri}, {"languageId", "lumivane-pos"}, {"version", version}, {"text", text}}}});
}

void LspClient::CloseInput() {
  if (toServer_ >= 0) close(toServer_);
  toServer_ = -1;
}

int LspClient::WaitForExit() {
  if (pid_ <= 0) return status_;
  const Clock::time_point deadline = Clock::now() + kWait;
  while (Clock::now() < deadline) {
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
      pid_ = -1;
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
      return status_;
    }
    // Keep the server's output flowing while it ends.
    if (!ReadSome(std::chrono::milliseconds(20))) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

}  // namespace lumivane::test
