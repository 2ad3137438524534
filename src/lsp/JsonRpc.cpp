#include "lsp/JsonRpc.h"

#include <vector>

namespace lumivane::lsp {

Json ResultMessage(const Json& id, Json result) {
  return Json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
}

Json ErrorMessage(const Json& id, int code, const std::string& message) {
  return Json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

Json NotificationMessage(const std::string& method, Json params) {
  return Json{{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

Json RequestMessage(const Json& id, const std::string& method, Json params) {
  return Json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", std::move(params)}};
}

std::string Serialize(const Json& message) {
  return message.dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {

// The deepest nesting of arrays and objects in the text, counted without
// parsing (strings skipped); stops counting above the limit.
int NestingDepth(std::string_view text) {
  int depth = 0, deepest = 0;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
      if (deepest > kMaxJsonDepth) break;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

// Picks the id, the method and the document's uri out of the first bytes
// of a message, as far as they parse.
class HeadFacts : public nlohmann::json_sax<Json> {
 public:
  Json id;
  std::string method, uri;

  bool null() override { return Value(Json()); }
  bool boolean(bool) override { return Value(Json()); }
  bool number_integer(number_integer_t value) override { return Value(value); }
  bool number_unsigned(number_unsigned_t value) override { return Value(value); }
  bool number_float(number_float_t, const string_t&) override { return Value(Json()); }
  bool string(string_t& value) override { return Value(value); }
  bool binary(binary_t&) override { return Value(Json()); }
  bool start_object(std::size_t) override { return Open(); }
  bool start_array(std::size_t) override { return Open(); }
  bool end_object() override { return Close(); }
  bool end_array() override { return Close(); }
  bool key(string_t& name) override {
    path_.back() = name;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  bool Open() {
    if (path_.size() > static_cast<std::size_t>(kMaxJsonDepth)) return false;
    path_.emplace_back();
    return true;
  }
  bool Close() {
    path_.pop_back();
    return true;
  }
  bool Value(const Json& value) {
    if (path_.size() == 1 && path_[0] == "id" && (value.is_number_integer() || value.is_string())) id = value;
    if (path_.size() == 1 && path_[0] == "method" && value.is_string()) method = value.get<std::string>();
    if (path_.size() == 3 && path_[0] == "params" && path_[1] == "textDocument" && path_[2] == "uri" &&
        value.is_string()) {
      uri = value.get<std::string>();
    }
    return true;
  }
  // The key at each open object's level ("" inside arrays and before a key).
  std::vector<std::string> path_;
};

// The value of the last member `"name":` in the last bytes of a message,
// where a SAX parse cannot start: a number or a string without escapes.
// A member inside a string would have its quotes escaped, so it is not taken.
Json LastMemberIn(const std::string& tail, const std::string& name) {
  const std::string key = "\"" + name + "\"";
  for (std::size_t at = tail.rfind(key); at != std::string::npos; at = at == 0 ? std::string::npos : tail.rfind(key, at - 1)) {
    if (at > 0 && tail[at - 1] == '\\') continue;
    std::size_t value = tail.find_first_not_of(" \t\r\n", at + key.size());
    if (value == std::string::npos || tail[value] != ':') continue;
    value = tail.find_first_not_of(" \t\r\n", value + 1);
    if (value == std::string::npos) return nullptr;
    if (tail[value] == '"') {
      const std::size_t end = tail.find_first_of("\"\\", value + 1);
      if (end == std::string::npos || tail[end] != '"') return nullptr;
      return tail.substr(value + 1, end - value - 1);
    }
    const std::size_t end = tail.find_first_not_of("-0123456789", value);
    const Json number = Json::parse(tail.substr(value, end == std::string::npos ? end : end - value), nullptr, false);
    return number.is_number_integer() ? number : Json();
  }
  return nullptr;
}

Incoming Unreadable(int code, std::string problem) {
  Incoming incoming;
  incoming.kind = Incoming::Kind::Unreadable;
  incoming.errorCode = code;
  incoming.problem = std::move(problem);
  return incoming;
}

}  // namespace

Incoming ReadIncoming(Frame frame) {
  switch (frame.kind) {
    case Frame::Kind::End: return Incoming{};
    case Frame::Kind::BadHeader: return Unreadable(error_code::kParseError, frame.problem);
    case Frame::Kind::TooLarge: {
      Incoming incoming = Unreadable(
          error_code::kInvalidRequest, "the message holds " + std::to_string(frame.declaredLength) +
                                           " bytes, more than the " + std::to_string(kMaxMessageBytes >> 20) +
                                           " MiB the server reads");
      HeadFacts facts;
      Json::sax_parse(frame.body, &facts, nlohmann::detail::input_format_t::json, false);
      // Keys come in any order: what the first bytes lack, the last may hold.
      incoming.id = facts.id.is_null() ? LastMemberIn(frame.tail, "id") : facts.id;
      const Json method = LastMemberIn(frame.tail, "method");
      const Json uri = LastMemberIn(frame.tail, "uri");
      incoming.method = facts.method.empty() && method.is_string() ? method.get<std::string>() : facts.method;
      incoming.uri = facts.uri.empty() && uri.is_string() ? uri.get<std::string>() : facts.uri;
      incoming.declaredLength = frame.declaredLength;
      return incoming;
    }
    case Frame::Kind::Message: break;
  }
  if (NestingDepth(frame.body) > kMaxJsonDepth) {
    return Unreadable(error_code::kParseError,
                      "the message nests deeper than " + std::to_string(kMaxJsonDepth) + " levels");
  }
  Incoming incoming;
  incoming.kind = Incoming::Kind::Message;
  incoming.textBytes = frame.body.size();
  incoming.message = Json::parse(frame.body, nullptr, false);
  if (incoming.message.is_discarded()) return Unreadable(error_code::kParseError, "the message is not JSON");
  return incoming;
}

const Json& ObjectMember(const Json& object, const char* name) {
  const Json* member = OptionalObject(object, name);
  if (!member) throw ParamsError(std::string("\"") + name + "\" must be an object");
  return *member;
}

const Json* OptionalObject(const Json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  const auto found = object.find(name);
  return found != object.end() && found->is_object() ? &*found : nullptr;
}

std::string StringMember(const Json& object, const char* name) {
  const auto found = object.is_object() ? object.find(name) : object.end();
  if (!object.is_object() || found == object.end() || !found->is_string()) {
    throw ParamsError(std::string("\"") + name + "\" must be a string");
  }
  return found->get<std::string>();
}

std::uint32_t UnsignedMember(const Json& object, const char* name) {
  const auto found = object.is_object() ? object.find(name) : object.end();
  if (!object.is_object() || found == object.end() || !found->is_number_integer() || *found < 0 ||
      *found > 0xFFFFFFFFll) {
    throw ParamsError(std::string("\"") + name + "\" must be an integer from 0 to 4294967295");
  }
  return found->get<std::uint32_t>();
}

Position PositionParam(const Json& position) {
  if (!position.is_object()) throw ParamsError("a position must be an object");
  return {UnsignedMember(position, "line"), UnsignedMember(position, "character")};
}

}  // namespace lumivane::lsp
