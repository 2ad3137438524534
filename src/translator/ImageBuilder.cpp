#include "translator/ImageBuilder.h"

#include <cstdio>
#include <cstring>

#include "translator/EmulatorTable.h"
#include "translator/ImageCodes.h"
#include "translator/NibbleKeys.h"
#include "translator/SourceReader.h"
#include "translator/TagLexer.h"

namespace lumivane {

namespace {

constexpr int kKeyLimit120 = 231;
constexpr int kTableSize120 = 463;
constexpr int kKeyLimit360 = 691;
constexpr int kTableSize360 = 1383;

bool NameIs(const char* name, const char* keyword) { return std::strcmp(name, keyword) == 0; }

std::string TooLargeLine(const std::string& path) {
  char limit[32];
  std::snprintf(limit, sizeof limit, "%zu MiB", EmulatorTable::kMaximumFileSize / (1024 * 1024));
  return "The emulator file " + path + " is larger than " + limit;
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string EmulatorFailureDetail(const std::string& path, const EmulatorTable& emulator) {
  if (emulator.Failure() == EmulatorFailure::TooLarge) return TooLargeLine(path);
  return path + ": " + emulator.FailureReason();
}

std::string SourceFailureDetail(const std::string& path, const std::string& reason) {
  return path + ": " + reason;
}

ImageBuilder::ImageBuilder() : imageBuffer_(kImageBufferSize, 0) {}

void ImageBuilder::SetLineCounterCallback(LineCounterCallback callback) {
  lineCounter_ = std::move(callback);
}

DownloadState ImageBuilder::Translate(const TranslationInput& input) {
  Begin(input.keysText);
  sourceName_ = FileNameOf(input.sourcePath);
  layoutName_ = FileNameOf(input.emulatorPath);
  if (layoutName_.size() > 4 && layoutName_.compare(layoutName_.size() - 4, 4, ".emu") == 0) {
    layoutName_.resize(layoutName_.size() - 4);
  }
  // The emulator comes first: a missing layout is reported even when the
  // source is missing too.
  EmulatorTable emulator(input.emulatorPath);
  if (!AcceptEmulator(emulator, input.pcAtLink, &input.emulatorPath)) {
    return DownloadState::EmulatorUnavailable;
  }
  SourceReader reader;
  if (!reader.Open(input.sourcePath)) {
    detailLine_ = SourceFailureDetail(input.sourcePath, reader.openFailure());
    return DownloadState::SourceUnavailable;
  }
  return Finish(reader, emulator);
}

DownloadState ImageBuilder::TranslateBytes(std::string_view sourceBytes, std::string_view emulatorBytes,
                                           std::string_view keysText, bool pcAtLink) {
  EmulatorTable emulator(EmulatorTable::InMemory{emulatorBytes});
  return TranslateWith(sourceBytes, emulator, {}, keysText, pcAtLink);
}

DownloadState ImageBuilder::TranslateWith(std::string_view sourceBytes, EmulatorTable& emulator,
                                          std::string_view layoutName, std::string_view keysText,
                                          bool pcAtLink) {
  Begin(keysText);
  layoutName_ = layoutName;
  if (!AcceptEmulator(emulator, pcAtLink, nullptr)) return DownloadState::EmulatorUnavailable;
  SourceReader reader;
  reader.OpenBytes(reinterpret_cast<const unsigned char*>(sourceBytes.data()), sourceBytes.size());
  return Finish(reader, emulator);
}

void ImageBuilder::Begin(std::string_view keysText) {
  imageLength_ = 0;
  emulatorFailure_ = EmulatorFailure::None;
  outRunOpen_ = false;
  tagValue_ = 0;
  defaultDelay_ = 0;
  lineNumber_ = 1;
  stopped_ = false;
  detailLine_.clear();
  diagnostics_.clear();
  errorLimitReached_ = false;
  headerRead_ = false;
  sourceName_.clear();
  layoutName_.clear();

  const bool large = keysText == "360";
  keyLimit_ = large ? kKeyLimit360 : kKeyLimit120;
  tableSize_ = large ? kTableSize360 : kTableSize120;
  std::memset(imageBuffer_.data(), 0, static_cast<std::size_t>(tableSize_));
  imageLength_ = static_cast<std::uint16_t>(tableSize_);
  if (lineCounter_) lineCounter_("00001");
}

void ImageBuilder::ReleaseResults() {
  diagnostics_ = {};
  detailLine_ = std::string();
  suggestionCandidates_ = {};
}

bool ImageBuilder::AcceptEmulator(EmulatorTable& emulator, bool pcAtLink, const std::string* emulatorPath) {
  if (!emulator.IsLoaded()) {
    emulatorFailure_ = emulator.Failure();
    if (emulatorPath) detailLine_ = EmulatorFailureDetail(*emulatorPath, emulator);
    return false;
  }
  if (pcAtLink && !FindNibbleKeys(emulator)) {
    if (emulatorPath) detailLine_ = *emulatorPath + ": " + MissingNibbleKeysReason(nibbleKeys_);
    return false;
  }
  return true;
}

DownloadState ImageBuilder::Finish(SourceReader& reader, EmulatorTable& emulator) {
  reader.SetLineCounterCallback(lineCounter_);
  reader.SetStopCheck(stopCheck_);
  const DownloadState state = TranslateSource(reader, emulator);
  suggestionCandidates_.clear();  // they point into the layout, which goes now
  lineNumber_ = reader.lineNumber();
  stopped_ = reader.stopped();
  if (stopped_) {
    // Errors at the end a stop made are not the source's.
    diagnostics_.clear();
    errorLimitReached_ = false;
    return DownloadState::None;
  }
  if (state == DownloadState::TranslationError) ComposeDetailLine();
  return state;
}

bool ImageBuilder::FindNibbleKeys(EmulatorTable& emulator) {
  nibbleKeys_ = DeriveNibbleKeys(emulator);
  if (EveryNibbleKeyTypes(nibbleKeys_)) return true;
  emulatorFailure_ = EmulatorFailure::NibbleKeyMissing;
  return false;
}

DownloadState ImageBuilder::TranslateSource(SourceReader& reader, EmulatorTable& emulator) {
  constexpr DownloadState kError = DownloadState::TranslationError;
  TagLexer lexer(reader);
  const Run run{reader, lexer, emulator};
  if (const DownloadState ended = ReadHeader(run); ended != DownloadState::None) return ended;

  for (;;) {
    if (reader.currentChar() == '<') {
      if (const DownloadState ended = TranslateTag(run); ended != DownloadState::None) return ended;
    } else {
      if (!CloseOutRun()) return End(run, DiagnosticKind::ImageTooLarge);
      // A NUL makes an empty name, which no entry has.
      if (!emulator.FindChar(reader.currentChar())) {
        if (Fail(run, DiagnosticKind::UntypableChar)) return kError;
        if (!SkipToNextTagOrLine(reader)) break;
        continue;
      }
      if (!AppendEntry(emulator)) return End(run, DiagnosticKind::ImageTooLarge);
    }
    if (reader.ReadChar() != 0) break;
  }
  if (!CloseOutRun()) return End(run, DiagnosticKind::ImageTooLarge);
  MarkKey(0, reader);
  if (!Append(kCodeEndOfKey)) return End(run, DiagnosticKind::ImageTooLarge);
  return diagnostics_.empty() ? DownloadState::ImageReady : kError;
}

DownloadState ImageBuilder::TranslateTag(const Run& run) {
  tagValue_ = static_cast<std::uint16_t>(run.lexer.ReadTag());
  if (run.reader.eofCount() != 0) return End(run, DiagnosticKind::IncompleteTag);
  const char* name = run.lexer.tagName();
  if (NameIs(name, "OUT")) return AppendOutPort(run);
  if (!CloseOutRun()) return End(run, DiagnosticKind::ImageTooLarge);
  bool ok = true;
  if (NameIs(name, "DELAY")) {
    ok = AppendWord(kCodeDelay, tagValue_);
  } else if (NameIs(name, "RDELAY")) {
    ok = AppendWord(kCodeDelay, defaultDelay_);
  } else if (NameIs(name, "REM")) {
    // a comment: nothing
  } else if (NameIs(name, "RE-")) {
    ok = Append(kCodeRepeatBegin);
  } else if (NameIs(name, "-PEAT")) {
    ok = Append(kCodeRepeatEnd);
  } else if (NameIs(name, "WAITACK")) {
    ok = AppendWord(kCodeWaitAck, tagValue_);
  } else if (NameIs(name, "REPORT")) {
    ok = AppendWord(kCodeReport, tagValue_);
  } else if (run.emulator.FindName(name)) {
    // A key name of the layout; asked before the name is taken as a key
    // number, so "<5>" types 5 when the layout has it while "<05>" starts key 5.
    ok = AppendEntry(run.emulator);
  } else if (tagValue_ == 0 || tagValue_ >= keyLimit_) {
    if (FailKeyTag(run)) return DownloadState::TranslationError;
  } else {
    MarkKey(tagValue_, run.reader);
    ok = StartKey(tagValue_);
  }
  if (!ok) return End(run, DiagnosticKind::ImageTooLarge);
  return DownloadState::None;
}

DownloadState ImageBuilder::ReadHeader(const Run& run) {
  constexpr DownloadState kError = DownloadState::TranslationError;
  SourceReader& reader = run.reader;
  // Header: a first tag with number 0 (its name is never looked at), then
  // the DELAY tag that sets the default delay, then at least one character.
  // The first read starts at the file's first byte, so a leading '<' becomes
  // part of the first tag's name.
  tagValue_ = static_cast<std::uint16_t>(run.lexer.ReadTag());
  if (reader.eofCount() != 0) return End(run, DiagnosticKind::BadFirstTag);
  if (tagValue_ != 0 && Fail(run, DiagnosticKind::BadFirstTag)) return kError;
  // The '<' of the second tag, not examined.
  if (reader.ReadChar() != 0) return End(run, DiagnosticKind::MissingBody);
  secondTagOpener_ = {reader.currentChar(), reader.fullLineNumber(), reader.column()};
  const int delay = run.lexer.ReadTag();
  if (reader.eofCount() != 0) return End(run, DiagnosticKind::IncompleteTag);
  headerRead_ = true;
  if (!NameIs(run.lexer.tagName(), "DELAY") && Fail(run, DiagnosticKind::SecondTagNotDelay)) return kError;
  defaultDelay_ = static_cast<std::uint16_t>(delay);
  imageBuffer_[1] = static_cast<std::uint8_t>(defaultDelay_ >> 8);
  imageBuffer_[2] = static_cast<std::uint8_t>(defaultDelay_ & 0xFF);
  if (reader.ReadChar() != 0) return End(run, DiagnosticKind::MissingBody);
  return DownloadState::None;
}

DownloadState ImageBuilder::AppendOutPort(const Run& run) {
  const auto port = static_cast<std::uint8_t>(tagValue_ & 0xFF);
  if (port == 0) {
    // 0 would read as the end of the run
    return Fail(run, DiagnosticKind::OutZero) ? DownloadState::TranslationError : DownloadState::None;
  }
  if (!outRunOpen_ && !Append(kCodeOut)) return End(run, DiagnosticKind::ImageTooLarge);
  if (!Append(port)) return End(run, DiagnosticKind::ImageTooLarge);
  outRunOpen_ = true;
  return DownloadState::None;
}

bool ImageBuilder::Append(std::uint8_t byte) {
  // Lengths and key offsets are 16 bits wide: a longer image would wrap.
  if (imageLength_ >= kMaxImageLength) return false;
  imageBuffer_[imageLength_] = byte;
  ++imageLength_;
  return true;
}

bool ImageBuilder::AppendWord(std::uint8_t code, std::uint16_t value) {
  return Append(code) && Append(static_cast<std::uint8_t>(value >> 8)) &&
         Append(static_cast<std::uint8_t>(value & 0xFF));
}

bool ImageBuilder::AppendEntry(EmulatorTable& emulator) {
  for (unsigned code = emulator.NextNumber(); code != 0; code = emulator.NextNumber()) {
    if (!Append(static_cast<std::uint8_t>(code & 0xFF))) return false;
  }
  return true;
}

bool ImageBuilder::CloseOutRun() {
  if (!outRunOpen_) return true;
  outRunOpen_ = false;
  return Append(0x00);
}

void ImageBuilder::MarkKey(std::uint16_t key, const SourceReader& reader) {
  if (keyMarks_) keyMarks_({key, reader.fullLineNumber(), reader.column(), imageLength_});
}

bool ImageBuilder::StartKey(std::uint16_t key) {
  if (!Append(kCodeEndOfKey)) return false;
  imageBuffer_[2u * key + 1] = static_cast<std::uint8_t>(imageLength_ >> 8);
  imageBuffer_[2u * key + 2] = static_cast<std::uint8_t>(imageLength_ & 0xFF);
  return true;
}

}  // namespace lumivane
