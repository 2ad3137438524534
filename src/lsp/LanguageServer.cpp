// The server's life cycle and the dispatch of its messages.
#include "lsp/LanguageServer.h"

#include <algorithm>
#include <new>

namespace lumivane::lsp {

namespace {

// A request that fails with an error of the protocol.
struct RequestError {
  int code;
  std::string message;
};

// The value at a path of object members, or nullptr.
const Json* Lookup(const Json& root, std::initializer_list<const char*> path) {
  const Json* at = &root;
  for (const char* name : path) {
    if (!at->is_object()) return nullptr;
    const auto found = at->find(name);
    if (found == at->end()) return nullptr;
    at = &*found;
  }
  return at;
}

bool IsTrue(const Json& root, std::initializer_list<const char*> path) {
  const Json* value = Lookup(root, path);
  return value && value->is_boolean() && value->get<bool>();
}

bool IsDocumentRequest(const std::string& method) {
  static constexpr const char* kMethods[] = {"textDocument/hover", "textDocument/completion",
                                             "textDocument/codeAction", "textDocument/documentSymbol",
                                             "textDocument/inlayHint"};
  return std::find(std::begin(kMethods), std::end(kMethods), method) != std::end(kMethods);
}

}  // namespace

LanguageServer::LanguageServer(ServerEnvironment& environment, Send send, CancelCheck cancelled,
                               ImageBuilder* builder)
    : environment_(environment),
      send_(std::move(send)),
      cancelled_(std::move(cancelled)),
      ownBuilder_(builder ? nullptr : std::make_unique<ImageBuilder>()),
      builder_(builder ? *builder : *ownBuilder_) {}

void LanguageServer::Handle(const Incoming& incoming) {
  switch (incoming.kind) {
    case Incoming::Kind::End: finished_ = true; return;
    case Incoming::Kind::Unreadable: HandleUnreadable(incoming); return;
    case Incoming::Kind::Message: HandleMessage(incoming.message); return;
  }
}

void LanguageServer::HandleUnreadable(const Incoming& incoming) {
  const bool opensText = incoming.method == "textDocument/didOpen" || incoming.method == "textDocument/didChange";
  if (initialized_ && opensText && !incoming.uri.empty() &&
      (DocumentStore::IsSource(incoming.uri, "") || documents_.Find(incoming.uri))) {
    // The document's text is lost: say so where the editor shows it.
    documents_.Refuse(incoming.uri, 0, "message_too_large", incoming.problem);
    return;
  }
  if (!incoming.id.is_null() || incoming.method.empty()) {
    send_(ErrorMessage(incoming.id, incoming.errorCode, incoming.problem));
  } else {
    Log("a " + incoming.method + " notification was dropped: " + incoming.problem);
  }
}

void LanguageServer::HandleMessage(const Json& message) {
  if (!message.is_object()) {
    return send_(ErrorMessage(nullptr, error_code::kInvalidRequest, "a message must be a JSON object"));
  }
  const auto idMember = message.find("id");
  const auto method = message.find("method");
  const Json id = idMember == message.end() ? Json() : *idMember;
  if (!id.is_null() && !id.is_number_integer() && !id.is_string()) {
    return send_(ErrorMessage(nullptr, error_code::kInvalidRequest, "an id must be a number or a string"));
  }
  if (method == message.end()) {
    if (idMember != message.end() && (message.contains("result") || message.contains("error"))) {
      return HandleResponse(message);
    }
    return send_(ErrorMessage(id, error_code::kInvalidRequest, "a message needs a method"));
  }
  if (!method->is_string()) return send_(ErrorMessage(id, error_code::kInvalidRequest, "a method must be a string"));
  const auto params = message.find("params");
  const Json& parameters = params == message.end() ? Json::object() : *params;
  if (!id.is_null()) return HandleRequest(id, method->get<std::string>(), parameters);
  try {
    HandleNotification(method->get<std::string>(), parameters);
  } catch (const std::exception& error) {
    Log(method->get<std::string>() + ": " + error.what());
  }
}

void LanguageServer::HandleRequest(const Json& id, const std::string& method, const Json& params) {
  try {
    if (cancelled_ && cancelled_(id)) throw RequestError{error_code::kRequestCancelled, "the request was cancelled"};
    if (!initialized_ && method != "initialize") {
      throw RequestError{error_code::kServerNotInitialized, "the server has not been initialized"};
    }
    if (shutdown_) throw RequestError{error_code::kInvalidRequest, "the server is shutting down"};
    Json result;
    if (method == "initialize") {
      if (initialized_) throw RequestError{error_code::kInvalidRequest, "the server is initialized already"};
      result = Initialize(params);
    } else if (method == "shutdown") {
      shutdown_ = true;
    } else if (IsDocumentRequest(method)) {
      result = DocumentRequest(method, params);
    } else {
      throw RequestError{error_code::kMethodNotFound, "no method " + method};
    }
    send_(ResultMessage(id, std::move(result)));
  } catch (const RequestError& error) {
    send_(ErrorMessage(id, error.code, error.message));
  } catch (const ParamsError& error) {
    send_(ErrorMessage(id, error_code::kInvalidParams, error.what()));
  } catch (const std::bad_alloc&) {
    send_(ErrorMessage(id, error_code::kRequestFailed, "not enough memory for the request"));
  } catch (const std::exception& error) {
    send_(ErrorMessage(id, error_code::kInternalError, error.what()));
  }
}

void LanguageServer::HandleNotification(const std::string& method, const Json& params) {
  if (method == "exit") {
    finished_ = true;
    return;
  }
  if (!initialized_ || shutdown_) return;
  if (method == "initialized") {
    if (pullsConfiguration_) RequestConfiguration();
  } else if (method == "textDocument/didOpen") {
    DidOpen(params);
  } else if (method == "textDocument/didChange") {
    DidChange(params);
  } else if (method == "textDocument/didClose") {
    DidClose(params);
  } else if (method == "workspace/didChangeConfiguration") {
    DidChangeConfiguration(params);
  }
  // Any other notification ($/cancelRequest, $/setTrace, didSave) needs nothing.
}

Json LanguageServer::Initialize(const Json& params) {
  initialized_ = true;
  const Json* encodings = Lookup(params, {"capabilities", "general", "positionEncodings"});
  if (encodings && encodings->is_array() && std::find(encodings->begin(), encodings->end(), "utf-8") != encodings->end()) {
    units_ = PositionUnits::Utf8;
  }
  snippets_ = IsTrue(params, {"capabilities", "textDocument", "completion", "completionItem", "snippetSupport"});
  hierarchicalSymbols_ =
      IsTrue(params, {"capabilities", "textDocument", "documentSymbol", "hierarchicalDocumentSymbolSupport"});
  pullsConfiguration_ = IsTrue(params, {"capabilities", "workspace", "configuration"});
  if (const Json* options = Lookup(params, {"initializationOptions"})) optionsChoice_ = ChoiceFromSettings(*options);
  ApplyChoice();
  const Json capabilities = {
      {"positionEncoding", units_ == PositionUnits::Utf8 ? "utf-8" : "utf-16"},
      {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
      {"completionProvider", {{"triggerCharacters", {"<"}}, {"resolveProvider", false}}},
      {"hoverProvider", true},
      {"documentSymbolProvider", true},
      {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
      {"inlayHintProvider", true},
  };
  return Json{{"capabilities", capabilities}, {"serverInfo", {{"name", "lumivane-cli lsp"}}}};
}

void LanguageServer::RequestConfiguration() {
  pendingConfiguration_ = "lumivane-configuration-" + std::to_string(++requestsSent_);
  configurationDeadline_ = environment_.Now() + kConfigurationWait;
  send_(RequestMessage(pendingConfiguration_, "workspace/configuration", {{"items", ConfigurationItems()}}));
}

void LanguageServer::HandleResponse(const Json& message) {
  if (pendingConfiguration_.empty() || message["id"] != pendingConfiguration_) return;
  pendingConfiguration_.clear();
  if (message.contains("result")) configurationChoice_ = ChoiceFromConfigurationAnswer(message["result"]);
  ApplyChoice();
}

void LanguageServer::DidChangeConfiguration(const Json& params) {
  const PartialChoice pushed = ChoiceFromSettings(params.is_object() ? params.value("settings", Json()) : Json());
  if (pushed.emulator || pushed.keys) configurationChoice_ = pushed;
  if (pullsConfiguration_) RequestConfiguration();
  ApplyChoice();
}

void LanguageServer::ApplyChoice() {
  const LayoutChoice choice = ResolveChoice(configurationChoice_, optionsChoice_, environment_.SettingsFileChoice());
  if (layout_ && choice == choice_) return;
  choice_ = choice;
  layout_.reset();
  documents_.InvalidateAll();
}

LoadedLayout& LanguageServer::Layout() {
  if (!layout_ || layout_->Changed()) {
    layout_ = environment_.LoadLayout(choice_.emulator);
    documents_.InvalidateAll();
  }
  return *layout_;
}

std::optional<std::chrono::steady_clock::time_point> LanguageServer::deadline() const {
  if (pendingConfiguration_.empty() || environment_.Now() >= configurationDeadline_) return std::nullopt;
  return configurationDeadline_;
}

void LanguageServer::Log(const std::string& text) {
  send_(NotificationMessage("window/logMessage", {{"type", 1}, {"message", text}}));
}

}  // namespace lumivane::lsp
