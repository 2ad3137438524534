#include "translator/ImageListing.h"

#include <charconv>
#include <cstdio>

#include "translator/ImageCodes.h"

namespace lumivane {

namespace {

void AppendFormat(std::string& out, const char* format, unsigned a, unsigned b = 0) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b);
  out += text;
}

// The decimal digits of `value`, as "%u" gives them, without the cost of
// snprintf for every byte of a large image.
void AppendNumber(std::string& out, unsigned value) {
  char text[16];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// Decodes one key's data from `offset` up to its end-of-key code (or the end
// of the image) and returns where the decode stopped.
std::size_t DecodeKeyData(const std::uint8_t* image, std::size_t length, std::size_t offset,
                          std::string& out) {
  std::size_t at = offset;
  auto word = [&](const char* label) {
    if (at + 2 >= length) {
      out += ' ';
      out += label;
      out += " (cut short)";
      at = length;
      return;
    }
    out += ' ';
    out += label;
    out += ' ';
    AppendNumber(out, (static_cast<unsigned>(image[at + 1]) << 8) | image[at + 2]);
    at += 3;
  };
  while (at < length) {
    const std::uint8_t code = image[at];
    switch (code) {
      case kCodeEndOfKey:
        return at;
      case kCodeDelay: word("DELAY"); break;
      case kCodeWaitAck: word("WAITACK"); break;
      case kCodeReport: word("REPORT"); break;
      case kCodeRepeatBegin: out += " RE-"; ++at; break;
      case kCodeRepeatEnd: out += " -PEAT"; ++at; break;
      case kCodeOut: {
        out += " OUT(";
        ++at;
        const std::size_t first = at;
        while (at < length && image[at] != 0x00) {
          if (at != first) out += ',';
          AppendNumber(out, image[at]);
          ++at;
        }
        if (at < length) {
          out += ')';
          ++at;  // the 0x00 that ends the run
        } else {
          out += " cut short)";
        }
        break;
      }
      default:
        out += ' ';
        AppendNumber(out, code);
        ++at;
        break;
    }
  }
  return at;
}

}  // namespace

std::string FormatImageListing(const std::uint8_t* image, std::size_t length, int tableSize,
                               std::uint16_t entryBase) {
  std::string out;
  if (!image || length < 3) {
    out += "Image too short to hold a header\n";
    return out;
  }
  const std::size_t table = tableSize > 3 ? static_cast<std::size_t>(tableSize) : 3;
  AppendFormat(out, "Header delay: %u\n", (static_cast<unsigned>(image[1]) << 8) | image[2]);
  AppendFormat(out, "Image length: %u bytes, data area from %u\n", static_cast<unsigned>(length),
               static_cast<unsigned>(table));
  if (length < table) {
    out += "Key table cut short\n";
    return out;
  }

  if (table < length && image[table] != kCodeEndOfKey) {
    out += "Ahead of the first key:";
    DecodeKeyData(image, length, table, out);
    out += '\n';
  }

  const std::size_t keyCount = (table - 1) / 2;  // entries of keys 1..keyCount-1
  for (std::size_t key = 1; key < keyCount; ++key) {
    const unsigned entry = (static_cast<unsigned>(image[2 * key + 1]) << 8) | image[2 * key + 2];
    if (entry == 0) continue;
    const long offset = static_cast<long>(entry) - entryBase;
    char heading[48];
    std::snprintf(heading, sizeof heading, "Key %3u at %ld:", static_cast<unsigned>(key), offset);
    out += heading;
    if (offset < static_cast<long>(table) || offset > static_cast<long>(length)) {
      out += " (points outside the data area)\n";
      continue;
    }
    const std::size_t end = DecodeKeyData(image, length, static_cast<std::size_t>(offset), out);
    if (end >= length) out += " (no end mark)";
    out += '\n';
  }
  return out;
}

}  // namespace lumivane
