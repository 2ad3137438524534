#pragma once
#include <optional>
#include <string>

#include "lsp/JsonRpc.h"

namespace lumivane::lsp {

// The layout and the number of keys the sources are translated for.
struct LayoutChoice {
  std::string emulator = "English_US";  // a layout name or an emulator file, as --emulator takes it
  std::string keys = "120";             // "360" means 360 keys, anything else 120
  bool operator==(const LayoutChoice&) const = default;
};

// One source's values; each is missing when that source does not set it.
struct PartialChoice {
  std::optional<std::string> emulator;
  std::optional<std::string> keys;
};

// {"emulator": "German", "keys": "360"}, the same under "lumivane", or
// {"lumivane.emulator": ..., "lumivane.keys": ...}; keys may be a number.
// Anything else sets nothing.
PartialChoice ChoiceFromSettings(const Json& settings);
// The answer to the configuration request that asks for the sections
// kConfigurationSections, in that order.
PartialChoice ChoiceFromConfigurationAnswer(const Json& result);
// The items of that request.
Json ConfigurationItems();

// The first source that sets each value, in the order given, else the default.
LayoutChoice ResolveChoice(const PartialChoice& first, const PartialChoice& second, const PartialChoice& third);

}  // namespace lumivane::lsp
