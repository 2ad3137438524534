#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace lumivane::ini {

// The text of a settings file in INI form: "[Section]" lines, "Key=Value"
// lines, ';' comments. A line ends at CR LF, LF or a bare CR, for reading
// and writing alike; a leading UTF-8 byte order mark is skipped. Section and key names compare without regard to letter
// case, and only the first section of a name counts, up to the next header.
// Nothing here allocates per line: a file costs memory by its size only.

// The value of the first `key` in `section`, trimmed of blanks and tabs,
// quotes kept; nothing when the section or the key is missing.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key);

// Every key line of `section`, in file order, with its value as FindValue gives it.
void ForEachEntry(std::string_view text, std::string_view section,
                  const std::function<void(std::string_view key, std::string_view value)>& visit);

// The text with `key` in `section` set to `value`: the key's line is
// rewritten in place (its line break kept), or the key is added after the
// section's last non-blank line, or the section and the key are appended.
// Every other byte stays as it was. New line breaks copy the first line's
// break (LF in a file without one; CR LF where a bare CR would join the LF
// of the line below); a last line without a break gets one before anything
// is added after it. `section`, `key` and `value` must not
// hold line breaks.
std::string WithValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value);

}  // namespace lumivane::ini
