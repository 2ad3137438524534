#pragma once
#include <cstdint>
#include <span>

namespace emugen {

// The accents of the dead keys on the Windows layouts we emulate.
enum class Accent : uint8_t { kNone, kGrave, kAcute, kCircumflex, kTilde, kDiaeresis, kCedilla };

// One combination of a dead key: the base letter typed after it and the
// character that results.
struct Composition {
  char32_t base;
  char32_t result;
};

// The letters a Windows dead key of this accent combines with, limited to
// results in the Latin-1 range (the only ones the 8-bit code pages need).
std::span<const Composition> CompositionsOf(Accent accent);

// What the dead key gives when followed by the space bar: the spacing accent.
char32_t SpacingFormOf(Accent accent);

// The accent of an xkb dead keysym; kNone for the ones Windows has no use for.
Accent AccentOfDeadKeysym(unsigned keysym);

const char* AccentName(Accent accent);

}  // namespace emugen
