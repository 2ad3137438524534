#pragma once
#include <QString>

#include <string>

namespace lumivane {

// File names are bytes; Qt's text is UTF-16 and decodes file names as UTF-8,
// replacing what is not. Paths that come from the system (arguments, the
// settings file, the program directory) therefore cross into the window
// through this pair: valid UTF-8 becomes its characters, and every byte that
// is not part of valid UTF-8 becomes the lone surrogate U+DC80..U+DCFF, so
// that TextToPath(PathToText(bytes)) == bytes for any bytes, and a path
// survives a trip through a text field, around whatever the user types.
QString PathToText(const std::string& bytes);
std::string TextToPath(const QString& text);

// A path chosen in Qt's file dialog, which shows a name that is not UTF-8
// with U+FFFD in place of its odd bytes: each such name is looked up among
// the names of its folder and, when exactly one of them reads the same, its
// bytes are taken.
std::string RecoverDialogPath(const QString& chosen);

}  // namespace lumivane
