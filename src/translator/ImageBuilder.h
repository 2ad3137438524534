#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "translator/DownloadState.h"
#include "translator/EmulatorFailure.h"
#include "translator/TranslationDiagnostic.h"

namespace lumivane {

class EmulatorTable;
class SourceReader;
class TagLexer;

// What one translation reads from the window (or the command line).
// Where a key's data begins in the image: each key tag that starts a key,
// and the end of the source (key 0), in source order. The data of a key
// runs from its mark's offset (its 0xFF) up to the next mark's.
struct KeyMark {
  std::uint16_t key = 0;     // 0: the end of the source, where the image's last 0xFF goes
  std::uint64_t line = 1;    // of the key tag's '>' (the reader's position at the end)
  std::uint64_t column = 1;
  std::uint16_t imageOffset = 0;  // the image length before the mark's 0xFF
};

struct TranslationInput {
  std::string sourcePath;    // text of the path field
  std::string emulatorPath;  // programDirectory + emulator name + ".emu", or a file given directly
  std::string keysText;      // text of the keys list: "360" selects 360 keys, anything else 120
  bool pcAtLink = false;     // the nibble keys are derived only for the PC/AT link
};

// Turns a configuration source into the download image.
// One object serves every download of a window; Translate resets the run
// fields itself, so nothing of an earlier translation leaks into the next.
class ImageBuilder {
 public:
  static constexpr std::size_t kImageBufferSize = 200000;
  static constexpr std::size_t kMaxImageLength = 65535;

  // Receives the Lines Translated text ("%05d") whenever the counter is
  // refreshed: once with 00001 at the start, then at every fourth line.
  using LineCounterCallback = std::function<void(const std::string& text)>;
  // Asked now and then while the source is read; true stops the translation.
  using StopCheck = std::function<bool()>;
  // Told of every key mark of a translation as it is read.
  using KeyMarkObserver = std::function<void(const KeyMark& mark)>;

  ImageBuilder();

  void SetLineCounterCallback(LineCounterCallback callback);
  void SetStopCheck(StopCheck check) { stopCheck_ = std::move(check); }
  void SetKeyMarkObserver(KeyMarkObserver observer) { keyMarks_ = std::move(observer); }

  // Builds the image from the two files. Returns TranslationError (1),
  // ImageReady (2), SourceUnavailable (7) or EmulatorUnavailable (8); None
  // when the stop check ended it (stopped() is then true). The emulator is
  // loaded (and, for the PC/AT link, its nibble keys looked up) before the
  // source is opened; only regular files are read.
  DownloadState Translate(const TranslationInput& input);
  // The same translation of a source and a layout held in memory: no file
  // is touched, and SourceUnavailable never comes back.
  DownloadState TranslateBytes(std::string_view sourceBytes, std::string_view emulatorBytes,
                               std::string_view keysText, bool pcAtLink);
  // The translation of a source in memory with a layout the caller has
  // loaded and keeps for many translations; `layoutName` names it in the
  // sentences as the file's name does in Translate.
  DownloadState TranslateWith(std::string_view sourceBytes, EmulatorTable& emulator,
                              std::string_view layoutName, std::string_view keysText, bool pcAtLink);
  bool stopped() const { return stopped_; }
  // A line that tells more about the last failure than its status line
  // (which file, and why); empty when there is nothing more to tell. After
  // a translation error: "Kt90.pos:12:7: unknown key name <ENTRE> (did you
  // mean <ENTER>?)", with the source's file name (no file for bytes in memory).
  const std::string& detailLine() const { return detailLine_; }

  // How many translation errors one translation collects before it ends.
  // 1 (the default) ends at the first, as a download does; with more, the
  // translation resumes after an error where the language allows: after a
  // tag error at the next item, after a character error at the next tag or
  // line. The end of the source and an image too large always end it.
  void SetErrorLimit(std::size_t limit) { errorLimit_ = limit == 0 ? 1 : limit; }
  // Whether an error gets its sentence, its suggestion and the detail line
  // (the default), or only its kind, position and offending text: for a
  // caller that only asks where translations fail, such as the fuzzer's
  // plain runs, to which the sentences would be most of the cost.
  void SetErrorSentences(bool on) { errorSentences_ = on; }
  // The errors of the last translation in source order; empty unless it
  // ended with TranslationError.
  const std::vector<TranslationDiagnostic>& diagnostics() const { return diagnostics_; }
  // Drops the last translation's errors and detail line, memory and all: a
  // caller that keeps one builder for many inputs (the fuzzer) then sees
  // each input's allocations end with it.
  void ReleaseResults();
  // True when the last translation ended because the error limit was reached.
  bool errorLimitReached() const { return errorLimitReached_; }

  const std::uint8_t* image() const { return imageBuffer_.data(); }
  std::uint16_t imageLength() const { return imageLength_; }
  int tableSize() const { return tableSize_; }
  int keyLimit() const { return keyLimit_; }
  std::uint16_t defaultDelay() const { return defaultDelay_; }
  // Line being read when the translation ended (the line at fault on state 1).
  std::uint16_t lineNumber() const { return lineNumber_; }
  // Why the layout could not serve the last translation; None when it could.
  EmulatorFailure emulatorFailure() const { return emulatorFailure_; }
  // Upper-cased characters standing for the hexadecimal digits 0..15 on the PC/AT link.
  const std::array<char, 16>& nibbleKeys() const { return nibbleKeys_; }

 private:
  std::vector<std::uint8_t> imageBuffer_;
  std::uint16_t imageLength_ = 0;
  int keyLimit_ = 231;
  int tableSize_ = 463;
  std::uint16_t defaultDelay_ = 0;
  std::uint16_t lineNumber_ = 1;
  EmulatorFailure emulatorFailure_ = EmulatorFailure::None;
  std::array<char, 16> nibbleKeys_{};
  LineCounterCallback lineCounter_;
  StopCheck stopCheck_;
  KeyMarkObserver keyMarks_;
  bool stopped_ = false;
  std::string detailLine_;
  std::size_t errorLimit_ = 1;
  bool errorSentences_ = true;
  std::vector<TranslationDiagnostic> diagnostics_;
  bool errorLimitReached_ = false;
  std::string sourceName_;  // the source's file name for the detail line
  std::string layoutName_;  // the emulator file's name without ".emu"
  // Keywords and the layout's tag names, views into the layout being read.
  std::vector<std::string_view> suggestionCandidates_;

  // Run fields of one translation.
  std::uint16_t tagValue_ = 0;
  bool outRunOpen_ = false;
  bool headerRead_ = false;  // both header tags were read
  // The character after the first tag (after any line ends), taken as the
  // second tag's '<' without a look, and where it lies.
  struct SkippedChar {
    unsigned char value = '<';
    std::uint64_t line = 1;
    std::uint64_t column = 1;
  };
  SkippedChar secondTagOpener_;

  // Resets the run fields for a translation with that keys text.
  void Begin(std::string_view keysText);
  // Takes the loaded (or failed) layout: false when the translation ends
  // with EmulatorUnavailable. A file's path names it in the detail line;
  // bytes in memory (nullptr) get none, their caller knows their size.
  bool AcceptEmulator(EmulatorTable& emulator, bool pcAtLink, const std::string* emulatorPath);
  // Reads the opened source to its end (or the stop) and builds the image.
  DownloadState Finish(SourceReader& reader, EmulatorTable& emulator);
  DownloadState TranslateSource(SourceReader& reader, EmulatorTable& emulator);
  // What a translation reads, for the error sites.
  struct Run {
    SourceReader& reader;
    TagLexer& lexer;
    EmulatorTable& emulator;
  };
  // The header's two tags and the character after them, and the port of
  // an <OUT n> tag: None when the translation reads on, else how it ends.
  DownloadState ReadHeader(const Run& run);
  DownloadState AppendOutPort(const Run& run);
  // One tag of the body, from its '<': None when the body goes on.
  DownloadState TranslateTag(const Run& run);
  // Records a translation error at the reader's position; true when the
  // translation ends there (always at the error limit).
  bool Fail(const Run& run, DiagnosticKind kind);
  // The facts and the place of a wrong first or second header tag.
  void DescribeFirstTag(ErrorSite* site, TranslationDiagnostic* diagnostic) const;
  void DescribeSecondTag(ErrorSite* site, TranslationDiagnostic* diagnostic) const;
  // Fail for an error after which nothing can be read on: always TranslationError.
  DownloadState End(const Run& run, DiagnosticKind kind);
  // A tag that is no keyword, no key name and no valid key number.
  bool FailKeyTag(const Run& run);
  // Skips to the next '<' or line after a character error; false at the end.
  bool SkipToNextTagOrLine(SourceReader& reader);
  // Sets the detail line from the first error.
  void ComposeDetailLine();
  std::string SuggestTag(const std::string& name, EmulatorTable& emulator);
  bool FindNibbleKeys(EmulatorTable& emulator);
  // Appends one byte; false when the image would grow past kMaxImageLength.
  bool Append(std::uint8_t byte);
  bool AppendWord(std::uint8_t code, std::uint16_t value);
  bool AppendEntry(EmulatorTable& emulator);
  bool CloseOutRun();
  // Tells the observer of a key mark at the reader's position.
  void MarkKey(std::uint16_t key, const SourceReader& reader);
  // Starts key `key` (1 to keyLimit_ - 1); false when the image is full.
  bool StartKey(std::uint16_t key);
};

// The line after "Unable to open the selected emulator": the file and why
// it cannot be used ("/x/German.emu: No such file or directory").
std::string EmulatorFailureDetail(const std::string& path, const EmulatorTable& emulator);
// The line after "Unable to open file for Download": "<path>: <reason>".
std::string SourceFailureDetail(const std::string& path, const std::string& reason);

}  // namespace lumivane
