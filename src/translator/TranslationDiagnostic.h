#pragma once
#include <cstdint>
#include <string>

namespace lumivane {

// The kinds of translation error the translator knows.
enum class DiagnosticKind {
  BadFirstTag,        // the first tag has a number other than 0, or is not complete
  MissingBody,        // the source ends after the first tag or after the header
  SecondTagNotDelay,  // the header's second tag is not DELAY
  IncompleteTag,      // the source ends inside a tag
  OutZero,            // an OUT number whose low 8 bits are 0
  UnknownName,        // neither a keyword, a key name of the layout nor a key number
  KeyOutOfRange,      // a key number of 0 or beyond the keys of the keypad
  UntypableChar,      // a character the layout has no entry for
  ImageTooLarge,      // the image would grow past 65,535 bytes
};

// One translation error: where it is and what is wrong, as a sentence.
struct TranslationDiagnostic {
  DiagnosticKind kind = DiagnosticKind::UnknownName;
  // The line as counted by the reader (LF ends a line), without the 16-bit
  // wrap of the window's counter, which shows the same number below 65,536.
  std::uint64_t line = 1;
  // 1-based byte column on that line: the offending character, the '>' of
  // the offending tag, or one past the line's last byte when the source ended.
  std::uint64_t column = 1;
  std::string text;        // the offending character or tag as read; empty at the end of the source
  std::string message;     // one sentence without a full stop, printable ASCII only
  std::string suggestion;  // a tag the user may have meant ("<ENTER>"); empty when none
};

// The stable snake_case name of a kind ("unknown_name"), for machine-readable output.
const char* DiagnosticKindName(DiagnosticKind kind);

// The message with its suggestion: "unknown key name <ENTRE> (did you mean <ENTER>?)".
std::string DiagnosticText(const TranslationDiagnostic& diagnostic);

// Facts gathered where a translation stopped, from which its sentence is made.
struct ErrorSite {
  DiagnosticKind kind = DiagnosticKind::UnknownName;
  std::string tagName;      // the last tag's name, as the lexer left it
  unsigned tagValue = 0;    // its number, low 16 bits
  unsigned char character = 0;
  bool sourceEnded = false;  // the error is the end of the source
  bool afterHeader = false;  // both header tags were read
  int keyLimit = 231;        // key numbers run from 1 to keyLimit - 1
  int keyCount = 120;
  std::string layoutName;  // the emulator file's name without ".emu"; empty for a layout in memory
  // BadFirstTag: text came before the first '<', and tagName starts with it.
  bool textBeforeHeader = false;
  // SecondTagNotDelay: the character after the first tag, read as the
  // second tag's '<' without a look, and whether <DELAY> came right after it.
  unsigned char secondTagOpener = '<';
  bool delayAfterGap = false;
};

// The sentence for an error: "unknown key name <ENTRE>".
std::string DescribeError(const ErrorSite& site);

// Bytes as printable ASCII: other bytes become \xNN, so that no name read
// from a source or a layout can send control sequences to a terminal.
std::string PrintableBytes(const std::string& bytes);

}  // namespace lumivane
