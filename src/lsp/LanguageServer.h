#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "lsp/DocumentStore.h"
#include "lsp/JsonRpc.h"
#include "lsp/LayoutSettings.h"
#include "lsp/LoadedLayout.h"
#include "translator/ImageBuilder.h"

namespace lumivane::lsp {

// What the server reads from outside itself.
class ServerEnvironment {
 public:
  virtual ~ServerEnvironment() = default;
  // The layout and keys of the settings file, where it sets them.
  virtual PartialChoice SettingsFileChoice() = 0;
  // The layout an --emulator value names.
  virtual std::unique_ptr<LoadedLayout> LoadLayout(const std::string& emulator) = 0;
  virtual std::chrono::steady_clock::time_point Now() = 0;
};

// The protocol's state machine: takes one message at a time and sends its
// answers through `send`. Diagnostics are not published while messages
// wait: the caller calls DoPendingWork when none does, so that a burst of
// changes is analysed once, in its newest version.
class LanguageServer {
 public:
  using Send = std::function<void(const Json& message)>;
  // True when the client cancelled the request with that id.
  using CancelCheck = std::function<bool(const Json& id)>;

  // `builder`, when given, is the image builder every analysis uses (a
  // caller that runs many servers keeps one); else the server makes its own.
  LanguageServer(ServerEnvironment& environment, Send send, CancelCheck cancelled = {},
                 ImageBuilder* builder = nullptr);

  void Handle(const Incoming& incoming);
  // Analyses and publishes one document that needs it; false when none does.
  bool DoPendingWork();
  // When DoPendingWork has work once the wait for the client's
  // configuration is over; nothing when it does not wait.
  std::optional<std::chrono::steady_clock::time_point> deadline() const;
  bool finished() const { return finished_; }
  // 0 after shutdown then exit (or the end of the input), 1 otherwise.
  int exitStatus() const { return shutdown_ ? 0 : 1; }

  // How long the server waits for the answer to its configuration request
  // before it publishes with what it has.
  static constexpr std::chrono::seconds kConfigurationWait{2};

 private:
  void HandleMessage(const Json& message);
  void HandleUnreadable(const Incoming& incoming);
  void HandleRequest(const Json& id, const std::string& method, const Json& params);
  void HandleNotification(const std::string& method, const Json& params);
  void HandleResponse(const Json& message);
  Json Initialize(const Json& params);
  Json DocumentRequest(const std::string& method, const Json& params);
  void DidOpen(const Json& params);
  void DidChange(const Json& params);
  void DidClose(const Json& params);
  void DidChangeConfiguration(const Json& params);
  void RequestConfiguration();
  // Resolves the choice again; on a change, every document is analysed anew.
  void ApplyChoice();
  // The layout in use, loaded again when its file changed (every analysis
  // is stale then); call it once per piece of work, before AnalysisOf.
  LoadedLayout& Layout();
  // The analysis of the document's current text, made now when stale.
  const SourceAnalysis& AnalysisOf(OpenDocument& document, LoadedLayout& layout);
  void Publish(const std::string& uri, OpenDocument& document);
  void Log(const std::string& text);

  ServerEnvironment& environment_;
  Send send_;
  CancelCheck cancelled_;
  bool initialized_ = false;
  bool shutdown_ = false;
  bool finished_ = false;
  PositionUnits units_ = PositionUnits::Utf16;
  bool snippets_ = false;
  bool hierarchicalSymbols_ = false;
  bool pullsConfiguration_ = false;

  PartialChoice optionsChoice_;
  PartialChoice configurationChoice_;
  LayoutChoice choice_;
  std::unique_ptr<LoadedLayout> layout_;
  std::string pendingConfiguration_;  // id of the configuration request awaiting its answer
  std::chrono::steady_clock::time_point configurationDeadline_{};
  int requestsSent_ = 0;

  DocumentStore documents_;
  // Every analysis's, so that its image buffer is made once.
  std::unique_ptr<ImageBuilder> ownBuilder_;
  ImageBuilder& builder_;
};

}  // namespace lumivane::lsp
