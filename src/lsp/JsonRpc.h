#pragma once
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "lsp/MessageFraming.h"
#include "lsp/TextDocument.h"

namespace lumivane::lsp {

using Json = nlohmann::json;

// JSON-RPC's and the protocol's error codes.
namespace error_code {
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;
inline constexpr int kServerNotInitialized = -32002;
inline constexpr int kRequestFailed = -32803;
inline constexpr int kRequestCancelled = -32800;
}  // namespace error_code

// Deeper JSON is refused unparsed: no message of the protocol nests so far,
// and a deep one would cost memory and stack far beyond its size.
inline constexpr int kMaxJsonDepth = 64;

Json ResultMessage(const Json& id, Json result);
Json ErrorMessage(const Json& id, int code, const std::string& message);
Json NotificationMessage(const std::string& method, Json params);
Json RequestMessage(const Json& id, const std::string& method, Json params);

// The compact text of a message; bytes that are not UTF-8 become U+FFFD.
std::string Serialize(const Json& message);

// One item of the stream as the server takes it.
struct Incoming {
  enum class Kind {
    Message,     // message: a JSON value (its shape not yet checked)
    Unreadable,  // could not be taken: answer with errorCode and problem
    End,         // the stream ended
  };
  Kind kind = Kind::End;
  Json message;
  int errorCode = 0;
  std::string problem;
  // What could be learnt of an unreadable message that was too large: its
  // id (null when none), method and document, each empty when unknown.
  Json id;
  std::string method;
  std::string uri;
  std::uint64_t declaredLength = 0;
  std::size_t textBytes = 0;  // the size of the text it was read from
};

// Parses a frame's body; a message too large is read from its first bytes.
Incoming ReadIncoming(Frame frame);

// A request's parameters were not what its method takes.
class ParamsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The members of params, checked; each throws ParamsError naming the member.
const Json& ObjectMember(const Json& object, const char* name);
std::string StringMember(const Json& object, const char* name);
// A non-negative integer that fits 32 bits.
std::uint32_t UnsignedMember(const Json& object, const char* name);
// The member when it is present and an object, else nullptr.
const Json* OptionalObject(const Json& object, const char* name);
// {"line": n, "character": n}, checked.
Position PositionParam(const Json& position);

}  // namespace lumivane::lsp
