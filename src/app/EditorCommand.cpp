#include "app/EditorCommand.h"

#include "app/DesktopEditor.h"
#include "app/SettingsStore.h"
#include "app/StartupChoices.h"

namespace lumivane {

std::optional<std::vector<std::string>> SplitCommandWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  enum class Quote { None, Single, Double } quote = Quote::None;

  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quote == Quote::Single) {
      if (c == '\'') {
        quote = Quote::None;
      } else {
        word += c;
      }
    } else if (quote == Quote::Double) {
      if (c == '"') {
        quote = Quote::None;
      } else if (c == '\\' && i + 1 < text.size() &&
                 std::string("\"\\$`").find(text[i + 1]) != std::string::npos) {
        word += text[++i];
      } else {
        word += c;
      }
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      inWord = true;
      if (c == '\'') {
        quote = Quote::Single;
      } else if (c == '"') {
        quote = Quote::Double;
      } else if (c == '\\' && i + 1 < text.size()) {
        word += text[++i];
      } else {
        word += c;
      }
    }
  }
  if (quote != Quote::None) return std::nullopt;
  if (inWord) words.push_back(word);
  return words;
}

EditorInvocation BuildEditorInvocation(const std::string& editorSetting, const std::string& path) {
  EditorInvocation invocation;
  const std::optional<std::vector<std::string>> words = SplitCommandWords(editorSetting);
  if (!words || words->empty()) return invocation;
  invocation.program = words->front();
  invocation.arguments.assign(words->begin() + 1, words->end());
  // An empty path field opens the editor without a file.
  if (!path.empty()) invocation.arguments.push_back(path);
  return invocation;
}

EditorInvocation EditorInvocationFromSettings(const SettingsStore& store, const std::string& path,
                                              const DesktopLookup& desktop) {
  const std::string setting = store.ReadQuoted(kSettingsSection, settings_key::kEditor, "");
  // Blanks alone are no command either.
  if (setting.find_first_not_of(" \t") == std::string::npos) return DefaultEditorInvocation(desktop, path);
  return BuildEditorInvocation(setting, path);
}

}  // namespace lumivane
