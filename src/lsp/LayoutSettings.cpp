#include "lsp/LayoutSettings.h"

namespace lumivane::lsp {

namespace {

// A text value: a non-empty string, or a number (for keys).
std::optional<std::string> ValueOf(const Json& value) {
  if (value.is_string() && !value.get<std::string>().empty()) return value.get<std::string>();
  if (value.is_number_integer()) return std::to_string(value.get<long long>());
  return std::nullopt;
}

std::optional<std::string> MemberValue(const Json& object, const char* name) {
  if (!object.is_object()) return std::nullopt;
  const auto found = object.find(name);
  return found == object.end() ? std::nullopt : ValueOf(*found);
}

PartialChoice Merged(PartialChoice first, const PartialChoice& second) {
  if (!first.emulator) first.emulator = second.emulator;
  if (!first.keys) first.keys = second.keys;
  return first;
}

PartialChoice ChoiceFromObject(const Json& object) {
  return {MemberValue(object, "emulator"), MemberValue(object, "keys")};
}

}  // namespace

PartialChoice ChoiceFromSettings(const Json& settings) {
  if (!settings.is_object()) return {};
  PartialChoice choice = {MemberValue(settings, "lumivane.emulator"), MemberValue(settings, "lumivane.keys")};
  if (const Json* nested = OptionalObject(settings, "lumivane")) choice = Merged(choice, ChoiceFromObject(*nested));
  return Merged(choice, ChoiceFromObject(settings));
}

Json ConfigurationItems() {
  // The section itself for clients that answer with the whole object, and
  // each item for those that look dotted names up one by one.
  return Json::array({{{"section", "lumivane"}}, {{"section", "lumivane.emulator"}}, {{"section", "lumivane.keys"}}});
}

PartialChoice ChoiceFromConfigurationAnswer(const Json& result) {
  if (!result.is_array()) return {};
  PartialChoice choice;
  if (result.size() > 1) choice.emulator = ValueOf(result[1]);
  if (result.size() > 2) choice.keys = ValueOf(result[2]);
  if (!result.empty()) choice = Merged(choice, ChoiceFromObject(result[0]));
  return choice;
}

LayoutChoice ResolveChoice(const PartialChoice& first, const PartialChoice& second, const PartialChoice& third) {
  const PartialChoice merged = Merged(Merged(first, second), third);
  LayoutChoice choice;
  if (merged.emulator) choice.emulator = *merged.emulator;
  if (merged.keys) choice.keys = *merged.keys;
  return choice;
}

}  // namespace lumivane::lsp
