#include "Accents.h"

namespace emugen {

namespace {

constexpr Composition kGrave[] = {
    {U'a', U'à'}, {U'e', U'è'}, {U'i', U'ì'}, {U'o', U'ò'}, {U'u', U'ù'},
    {U'A', U'À'}, {U'E', U'È'}, {U'I', U'Ì'}, {U'O', U'Ò'}, {U'U', U'Ù'},
};
constexpr Composition kAcute[] = {
    {U'a', U'á'}, {U'e', U'é'}, {U'i', U'í'}, {U'o', U'ó'}, {U'u', U'ú'}, {U'y', U'ý'},
    {U'A', U'Á'}, {U'E', U'É'}, {U'I', U'Í'}, {U'O', U'Ó'}, {U'U', U'Ú'}, {U'Y', U'Ý'},
};
constexpr Composition kCircumflex[] = {
    {U'a', U'â'}, {U'e', U'ê'}, {U'i', U'î'}, {U'o', U'ô'}, {U'u', U'û'},
    {U'A', U'Â'}, {U'E', U'Ê'}, {U'I', U'Î'}, {U'O', U'Ô'}, {U'U', U'Û'},
};
constexpr Composition kTilde[] = {
    {U'a', U'ã'}, {U'n', U'ñ'}, {U'o', U'õ'}, {U'A', U'Ã'}, {U'N', U'Ñ'}, {U'O', U'Õ'},
};
// Capital Y with diaeresis is left out: not every Windows layout composes it,
// and an Alt code types it everywhere.
constexpr Composition kDiaeresis[] = {
    {U'a', U'ä'}, {U'e', U'ë'}, {U'i', U'ï'}, {U'o', U'ö'}, {U'u', U'ü'}, {U'y', U'ÿ'},
    {U'A', U'Ä'}, {U'E', U'Ë'}, {U'I', U'Ï'}, {U'O', U'Ö'}, {U'U', U'Ü'},
};
constexpr Composition kCedilla[] = {
    {U'c', U'ç'}, {U'C', U'Ç'},
};

}  // namespace

std::span<const Composition> CompositionsOf(Accent accent) {
  switch (accent) {
    case Accent::kGrave: return kGrave;
    case Accent::kAcute: return kAcute;
    case Accent::kCircumflex: return kCircumflex;
    case Accent::kTilde: return kTilde;
    case Accent::kDiaeresis: return kDiaeresis;
    case Accent::kCedilla: return kCedilla;
    case Accent::kNone: break;
  }
  return {};
}

char32_t SpacingFormOf(Accent accent) {
  switch (accent) {
    case Accent::kGrave: return U'`';
    case Accent::kAcute: return U'´';
    case Accent::kCircumflex: return U'^';
    case Accent::kTilde: return U'~';
    case Accent::kDiaeresis: return U'¨';
    case Accent::kCedilla: return U'¸';
    case Accent::kNone: break;
  }
  return 0;
}

Accent AccentOfDeadKeysym(unsigned keysym) {
  switch (keysym) {
    case 0xfe50: return Accent::kGrave;
    case 0xfe51: return Accent::kAcute;
    case 0xfe52: return Accent::kCircumflex;
    case 0xfe53: return Accent::kTilde;
    case 0xfe57: return Accent::kDiaeresis;
    case 0xfe5b: return Accent::kCedilla;
    default: return Accent::kNone;
  }
}

const char* AccentName(Accent accent) {
  switch (accent) {
    case Accent::kGrave: return "grave";
    case Accent::kAcute: return "acute";
    case Accent::kCircumflex: return "circumflex";
    case Accent::kTilde: return "tilde";
    case Accent::kDiaeresis: return "diaeresis";
    case Accent::kCedilla: return "cedilla";
    case Accent::kNone: break;
  }
  return "none";
}

}  // namespace emugen
