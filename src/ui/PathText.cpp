#include "ui/PathText.h"

#include <dirent.h>

#include <QFile>
#include <QStringList>
#include <optional>

namespace lumivane {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // + byte 0x80..0xFF

// A valid UTF-8 sequence: its length and the code point it encodes.
struct Utf8Sequence {
  std::size_t length = 0;  // 0: the byte starts none
  char32_t codePoint = 0;
};

// The valid UTF-8 sequence at `at`, of length 0 when the byte starts none
// (overlong forms, encoded surrogates and values past U+10FFFF are invalid).
Utf8Sequence ValidSequence(const std::string& bytes, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char first = byte(at);
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // range of the second byte
  if (first < 0x80) {
    return {1, first};
  } else if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return {};
  }
  if (at + length > bytes.size()) return {};
  if (byte(at + 1) < low || byte(at + 1) > high) return {};
  char32_t value = first & (0xFF >> (length + 1));
  for (std::size_t i = 1; i < length; ++i) {
    if (i > 1 && (byte(at + i) & 0xC0) != 0x80) return {};
    value = (value << 6) | (byte(at + i) & 0x3F);
  }
  return {length, value};
}

// The UTF-8 bytes of a code point.
std::string Utf8Of(char32_t value) {
  std::string out;
  if (value < 0x80) {
    out += static_cast<char>(value);
  } else if (value < 0x800) {
    out += static_cast<char>(0xC0 | (value >> 6));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    out += static_cast<char>(0xE0 | (value >> 12));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (value >> 18));
    out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  }
  return out;
}

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
    const Utf8Sequence sequence = ValidSequence(bytes, at);
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
      bytes += Utf8Of(QChar::surrogateToUcs4(unit, text[i + 1].unicode()));
      ++i;
    } else if (unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
      bytes += static_cast<char>(unit - kEscapeBase);
    } else if (QChar::isSurrogate(unit)) {
      bytes += Utf8Of(QChar::ReplacementCharacter);
    } else {
      bytes += Utf8Of(unit);
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
