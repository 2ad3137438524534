#include "ui/PathText.h"

#include <dirent.h>

#include <QFile>
#include <QStringList>
#include <optional>

#include "common/Utf8.h"

namespace lumivane {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // + byte 0x80..0xFF

// The one name in `directory` that Qt shows as `shown`, or nothing.
std::optional<std::string> FindShownName(const std::string& directory, const QString& shown) {
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> found;
  int matches = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (QFile::decodeName(QByteArray(entry->d_name)) == shown && ++matches == 1) found = entry->d_name;
  }
  ::closedir(dir);
  if (matches != 1) return std::nullopt;
  return found;
}

}  // namespace

QString PathToText(const std::string& bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  for (std::size_t at = 0; at < bytes.size();) {
    const Utf8Sequence sequence = ValidUtf8Sequence(bytes, at);
    const char32_t value = sequence.codePoint;
    if (sequence.length == 0) {
      text += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[at])));
      ++at;
      continue;
    }
    if (QChar::requiresSurrogates(value)) {
      text += QChar(QChar::highSurrogate(value));
      text += QChar(QChar::lowSurrogate(value));
    } else {
      text += QChar(static_cast<char16_t>(value));
    }
    at += sequence.length;
  }
  return text;
}

std::string TextToPath(const QString& text) {
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(text.size()));
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      AppendUtf8(bytes, QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
      ++i;
    } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
      bytes += static_cast<char>(unit - kEscapeBase);
    } else if (QChar::isSurrogate(unit)) {
      AppendUtf8(bytes, QChar::ReplacementCharacter);
    } else {
      AppendUtf8(bytes, unit);
    }
  }
  return bytes;
}

std::string RecoverDialogPath(const QString& chosen) {
  if (!chosen.contains(QChar::ReplacementCharacter)) return TextToPath(chosen);
  const QStringList parts = chosen.split(QLatin1Char('/'));
  std::string path;
  for (qsizetype i = 0; i < parts.size(); ++i) {
    const std::string directory = i == 0 ? "." : path.empty() ? "/" : path;
    if (i > 0) path += '/';
    std::optional<std::string> name;
    if (parts[i].contains(QChar::ReplacementCharacter)) name = FindShownName(directory, parts[i]);
    path += name.value_or(TextToPath(parts[i]));
  }
  return path;
}

}  // namespace lumivane
