#pragma once
#include <optional>
#include <string>
#include <vector>

namespace lumivane {

class SettingsStore;
struct DesktopLookup;

// Splits a command text into words the way a POSIX shell would, without
// running one: blanks separate words, single quotes keep everything
// literally, double quotes keep blanks and honour \" \\ \$ \` escapes, and a
// backslash outside quotes takes the next character literally. No
// expansions of any kind. Nothing for an unterminated quote.
std::optional<std::vector<std::string>> SplitCommandWords(const std::string& text);

// The process that opens a source for editing: the Editor setting split
// into program and arguments, the path (when not empty) added as one more
// argument, however many blanks it holds.
struct EditorInvocation {
  std::string program;  // empty: nothing to start
  std::vector<std::string> arguments;
};

EditorInvocation BuildEditorInvocation(const std::string& editorSetting, const std::string& path);

// The invocation for the Editor setting. The splitter sees the value as
// stored, quotes included: Editor="/opt/My Editor/edit" is one program, not
// "/opt/My" with an argument. Without a value, the desktop's default
// editor (DefaultEditorInvocation), looked up through `desktop`.
EditorInvocation EditorInvocationFromSettings(const SettingsStore& store, const std::string& path,
                                              const DesktopLookup& desktop);

}  // namespace lumivane
