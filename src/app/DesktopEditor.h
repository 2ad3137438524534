#pragma once
#include <functional>
#include <string>
#include <vector>

#include "app/EditorCommand.h"

namespace lumivane {

// Where the desktop's default applications are looked up.
struct DesktopLookup {
  // The folders holding applications/: $XDG_DATA_HOME, then $XDG_DATA_DIRS.
  std::vector<std::string> dataDirectories;
  // The desktop-file id of a MIME type's default handler, empty for none.
  std::function<std::string(const std::string& mimeType)> defaultHandler;

  // From the environment; the handler is what `xdg-mime query default` says.
  static DesktopLookup FromEnvironment();
};

// The source's MIME type, and the one its handler falls back to.
inline constexpr const char* kSourceMimeType = "text/x-lumivane-pos";
inline constexpr const char* kPlainTextMimeType = "text/plain";

// The command when neither type has a handler: the system's default editor
// (Debian's `editor` alternative) in the system's terminal emulator.
inline constexpr const char* kFallbackTerminal = "x-terminal-emulator";
inline constexpr const char* kFallbackEditor = "editor";

// The invocation of a desktop entry's Exec line for `path`: quoting and
// escapes undone, the field codes expanded (%f %F %u %U the path, %i the
// icon, %c the name, %k the entry's file, %% a percent sign; the others
// dropped), the path added when the line takes no file, and the terminal
// emulator put first for Terminal=true. No shell is involved. An empty
// program when the entry has no usable Exec line.
EditorInvocation DesktopEntryInvocation(const std::string& entryText, const std::string& entryPath,
                                        const std::string& path);

// The editor Edit starts when no Editor setting is given: the default
// handler of the source's type, else of plain text, else the fallback.
EditorInvocation DefaultEditorInvocation(const DesktopLookup& lookup, const std::string& path);

}  // namespace lumivane
