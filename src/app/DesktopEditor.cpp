#include "app/DesktopEditor.h"

#include <cstdlib>
#include <optional>
#include <fstream>
#include <sstream>

#include "app/ProgramOutput.h"

namespace lumivane {
namespace {

std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream stream(text);
  for (std::string item; std::getline(stream, item, ':');)
    if (!item.empty()) items.push_back(item);
  return items;
}

// A key's value in the [Desktop Entry] group, with the string escapes
// (\s \n \t \r \\) undone; empty when absent.
std::string EntryValue(const std::string& entryText, const std::string& key) {
  std::stringstream lines(entryText);
  bool inEntry = false;
  for (std::string line; std::getline(lines, line);) {
    line = Trimmed(line);
    if (!line.empty() && line.front() == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!inEntry || equals == std::string::npos || Trimmed(line.substr(0, equals)) != key) continue;
    const std::string raw = Trimmed(line.substr(equals + 1));
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '\\' || i + 1 == raw.size()) {
        value += raw[i];
        continue;
      }
      // Other escapes stay for the Exec line's quoting (\" inside quotes).
      const char next = raw[++i];
      const std::string known = "\\snrt";
      const std::size_t index = known.find(next);
      value += index == std::string::npos ? std::string{'\\', next} : std::string(1, "\\ \n\r\t"[index]);
    }
    return value;
  }
  return {};
}

// The Exec line's arguments: blanks separate them, double quotes keep
// blanks, and inside them a backslash takes the next character. Nothing
// for an unterminated quote.
std::optional<std::vector<std::string>> SplitExecLine(const std::string& exec) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (std::size_t i = 0; i < exec.size(); ++i) {
    const char c = exec[i];
    if (quoted) {
      if (c == '"') {
        quoted = false;
      } else if (c == '\\' && i + 1 < exec.size()) {
        word += exec[++i];
      } else {
        word += c;
      }
    } else if (c == ' ' || c == '\t') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      inWord = true;
      if (c == '"') {
        quoted = true;
      } else {
        word += c;
      }
    }
  }
  if (quoted) return std::nullopt;
  if (inWord) words.push_back(word);
  return words;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The file of a desktop-file id: applications/<id>, or with the id's
// dashes read as subfolders (kde4-kate.desktop: applications/kde4/kate.desktop).
std::string FindDesktopEntry(const std::vector<std::string>& directories, const std::string& id) {
  if (id.empty() || id.find('/') != std::string::npos) return {};
  std::vector<std::string> relatives{id};
  std::string nested = id;
  for (std::size_t dash = nested.find('-'); dash != std::string::npos; dash = nested.find('-', dash + 1)) {
    nested[dash] = '/';
    relatives.push_back(nested);
  }
  for (std::string directory : directories) {
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    for (const std::string& relative : relatives) {
      const std::string path = directory + "/applications/" + relative;
      std::ifstream probe(path);
      if (probe) return path;
    }
  }
  return {};
}

}  // namespace

DesktopLookup DesktopLookup::FromEnvironment() {
  DesktopLookup lookup;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (dataHome != nullptr && *dataHome == '/') {
    lookup.dataDirectories.push_back(dataHome);
  } else if (home != nullptr && *home != '\0') {
    lookup.dataDirectories.push_back(std::string(home) + "/.local/share");
  }
  const char* dataDirs = std::getenv("XDG_DATA_DIRS");
  for (const std::string& directory :
       SplitList(dataDirs != nullptr && *dataDirs != '\0' ? dataDirs : "/usr/local/share:/usr/share"))
    lookup.dataDirectories.push_back(directory);
  lookup.defaultHandler = [](const std::string& mimeType) {
    // xdg-mime is a script that may ask the desktop; a hung one must not
    // hold up the window for long.
    const std::optional<std::string> output =
        RunForOutput("xdg-mime", {"query", "default", mimeType}, std::chrono::seconds(3));
    return output ? Trimmed(*output) : std::string();
  };
  return lookup;
}

EditorInvocation DesktopEntryInvocation(const std::string& entryText, const std::string& entryPath,
                                        const std::string& path) {
  EditorInvocation invocation;
  const std::optional<std::vector<std::string>> words = SplitExecLine(EntryValue(entryText, "Exec"));
  if (!words || words->empty()) return invocation;
  const std::string icon = EntryValue(entryText, "Icon");
  std::vector<std::string> command;
  bool tookFile = false;
  for (const std::string& word : *words) {
    if (word == "%F" || word == "%U" || word == "%f" || word == "%u") {
      if (!path.empty()) command.push_back(path);
      tookFile = true;
      continue;
    }
    if (word == "%i") {
      if (!icon.empty()) command.insert(command.end(), {"--icon", icon});
      continue;
    }
    std::string expanded;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (word[i] != '%' || i + 1 == word.size()) {
        expanded += word[i];
        continue;
      }
      switch (const char code = word[++i]) {
        case '%': expanded += '%'; break;
        case 'f': case 'F': case 'u': case 'U':
          expanded += path;
          tookFile = true;
          break;
        case 'c': expanded += EntryValue(entryText, "Name"); break;
        case 'k': expanded += entryPath; break;
        default: (void)code; break;  // deprecated or unknown codes are dropped
      }
    }
    // A word made only of dropped codes goes; an empty word given as "" stays.
    if (!expanded.empty() || word.find('%') == std::string::npos) command.push_back(expanded);
  }
  if (command.empty() || command.front().empty()) return invocation;
  if (!tookFile && !path.empty()) command.push_back(path);
  if (EntryValue(entryText, "Terminal") == "true") command.insert(command.begin(), {kFallbackTerminal, "-e"});
  invocation.program = command.front();
  invocation.arguments.assign(command.begin() + 1, command.end());
  return invocation;
}

EditorInvocation DefaultEditorInvocation(const DesktopLookup& lookup, const std::string& path) {
  for (const char* mimeType : {kSourceMimeType, kPlainTextMimeType}) {
    const std::string id = lookup.defaultHandler ? lookup.defaultHandler(mimeType) : std::string();
    const std::string entryPath = FindDesktopEntry(lookup.dataDirectories, id);
    if (entryPath.empty()) continue;
    EditorInvocation invocation = DesktopEntryInvocation(ReadWholeFile(entryPath), entryPath, path);
    if (!invocation.program.empty()) return invocation;
  }
  EditorInvocation fallback;
  fallback.program = kFallbackTerminal;
  fallback.arguments = {"-e", kFallbackEditor};
  if (!path.empty()) fallback.arguments.push_back(path);
  return fallback;
}

}  // namespace lumivane
