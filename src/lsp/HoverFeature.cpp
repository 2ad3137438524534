// Hover: what a key types and costs, the codes of a key name or a
// character, what a keyword does, and the image's size on the header.
#include <algorithm>
#include <cstdio>

#include "lsp/Features.h"
#include "lsp/LoadedLayout.h"
#include "lsp/TagCatalog.h"
#include "translator/ImageBuilder.h"

namespace lumivane::lsp {

namespace {

constexpr std::size_t kKeypadMemory = 64 * 1024;
// Longest text shown for what a key types.
constexpr std::size_t kLongestTyped = 400;

std::string Thousands(std::size_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

std::string CodesLine(const std::vector<unsigned>& codes, const std::string& layoutName) {
  if (codes.empty()) return "the layout " + layoutName + " cannot type it";
  std::string text = "scan codes";
  for (std::size_t i = 0; i < codes.size(); ++i) text += (i == 0 ? " " : ", ") + std::to_string(codes[i]);
  return text + " in the layout " + layoutName;
}

// A tag as the translator reads it: "<ENTER>", "<DELAY 500>".
std::string TagText(const OutlineTag& tag) {
  const std::string name(tag.name());
  const KeywordTag* keyword = tag.role == TagRole::Keyword ? FindKeywordTag(name) : nullptr;
  if (!keyword || keyword->argument.empty() || name == "REM") return "<" + name + ">";
  const unsigned value = name == "OUT" ? (tag.value & 0xFF) : (tag.value & 0xFFFF);
  return "<" + name + " " + std::to_string(value) + ">";
}

// What key definition `index` types: its text and named keys, comments
// and line ends left out.
std::string TypedText(const DocumentView& view, std::size_t index) {
  const SourceOutline& outline = view.analysis.outline;
  const KeyDefinition& key = outline.keys[index];
  const std::string& bytes = view.analysis.encoded.bytes;
  std::string typed;
  std::size_t nextTag = key.tag + 1;
  for (std::size_t at = outline.tags[key.tag].end; at < key.end && typed.size() < kLongestTyped;) {
    if (nextTag < outline.tags.size() && outline.tags[nextTag].begin == at) {
      const OutlineTag& tag = outline.tags[nextTag++];
      if (tag.name() != "REM") typed += TagText(tag);
      at = tag.end;
      continue;
    }
    const auto byte = static_cast<unsigned char>(bytes[at++]);
    if (byte != '\n' && byte != '\r') typed += view.CharacterText(byte);
  }
  if (typed.size() >= kLongestTyped) typed += "…";
  return typed.empty() ? "(nothing)" : typed;
}

std::string KeyHover(const DocumentView& view, std::size_t index) {
  const SourceAnalysis& analysis = view.analysis;
  const KeyDefinition& key = analysis.outline.keys[index];
  std::string text = "**Key " + std::to_string(key.key) + "**";
  if (analysis.keyBytes[index]) text += ": " + ByteCount(*analysis.keyBytes[index]) + " in the image";
  text += "\n\nTypes:\n```\n" + TypedText(view, index) + "\n```";
  for (std::size_t later = index + 1; later < analysis.outline.keys.size(); ++later) {
    if (analysis.outline.keys[later].key != key.key) continue;
    const std::size_t line = view.document.PositionOf(
        analysis.encoded.TextOffsetOf(analysis.outline.tags[analysis.outline.keys[later].tag].begin), view.units).line;
    text += "\n\nDefined again on line " + std::to_string(line + 1) + ": the later definition counts.";
    break;
  }
  return text;
}

std::string HeaderHover(const DocumentView& view) {
  const SourceAnalysis& analysis = view.analysis;
  const auto& tags = analysis.outline.tags;
  std::string text = "**Header**";
  if (analysis.outline.headerTags == 2) text += ": default delay " + std::to_string(tags[1].value & 0xFFFF);
  text += "\n\n";
  if (!analysis.translated) return text + "Not translated.";
  const bool tooLarge = std::any_of(analysis.findings.begin(), analysis.findings.end(),
                                    [](const Finding& finding) { return finding.code == "image_too_large"; });
  if (tooLarge) return text + "The image would be larger than the keypad's 64 KiB (65,535 bytes at most).";
  char share[16];
  std::snprintf(share, sizeof share, "%.1f%%", 100.0 * static_cast<double>(analysis.imageLength) / kKeypadMemory);
  text += "The image takes " + Thousands(analysis.imageLength) + " of the keypad's 64 KiB (" +
          Thousands(kKeypadMemory) + " bytes): " + share + ", with " + std::to_string(analysis.keyCount) + " keys.";
  if (analysis.state != DownloadState::ImageReady) text += "\n\nThe source has errors: this is the image as far as it was built.";
  return text;
}

std::string TagHover(const DocumentView& view, const OutlineTag& tag) {
  switch (tag.role) {
    case TagRole::FirstTag:
    case TagRole::HeaderDelay: return HeaderHover(view);
    case TagRole::KeyName:
      return "**" + TagText(tag) + "**: a key name, " + CodesLine(view.layout.CodesOf(std::string(tag.name())), view.layout.name());
    case TagRole::Keyword: {
      const KeywordTag* keyword = FindKeywordTag(tag.name());
      return "**" + TagText(tag) + "**: " + std::string(keyword->summary) +
             (keyword->imageBytes ? "\n\n" + ByteCount(static_cast<std::size_t>(keyword->imageBytes)) + " in the image"
                                  : "");
    }
    case TagRole::KeyStart: {
      const int index = view.analysis.outline.KeyAt(tag.begin);
      return index < 0 ? std::string() : KeyHover(view, static_cast<std::size_t>(index));
    }
    case TagRole::Unknown: break;
  }
  return {};
}

std::string CharacterHover(const DocumentView& view, std::size_t offset) {
  const auto& missing = view.analysis.encoded.missing;
  const auto found = std::lower_bound(missing.begin(), missing.end(), offset,
                                      [](const EncodedText::Missing& m, std::size_t at) { return m.offset < at; });
  if (found != missing.end() && found->offset == offset) {
    return "Not in code page " + std::to_string(view.layout.codePage().number()) + ": the keypad cannot type it";
  }
  const auto byte = static_cast<unsigned char>(view.analysis.encoded.bytes[offset]);
  const std::string shown = byte == ' ' ? "blank" : byte < 0x20 ? "control character" : "'" + view.CharacterText(byte) + "'";
  return "**" + shown + "**: " + CodesLine(view.layout.CodesOf(std::string(1, static_cast<char>(byte))), view.layout.name());
}

}  // namespace

Json HoverJson(const DocumentView& view, Position position) {
  const std::size_t offset = view.ByteOffsetOf(position);
  const std::string& bytes = view.analysis.encoded.bytes;
  if (offset >= bytes.size()) return nullptr;
  std::string text;
  std::size_t begin = offset, end = offset + 1;
  if (const OutlineTag* tag = view.analysis.outline.TagAt(offset)) {
    text = TagHover(view, *tag);
    begin = tag->begin;
    end = tag->end;
  } else if (bytes[offset] != '\n' && bytes[offset] != '\r' && view.layout.usable() &&
             view.analysis.outline.headerTags == 2 && offset >= view.analysis.outline.tags[1].end) {
    text = CharacterHover(view, offset);
  }
  if (text.empty()) return nullptr;
  return Json{{"contents", {{"kind", "markdown"}, {"value", text}}}, {"range", view.RangeJson(begin, end)}};
}

}  // namespace lumivane::lsp
