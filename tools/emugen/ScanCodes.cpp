#include "ScanCodes.h"

#include <linux/input-event-codes.h>

namespace emugen {

namespace {

// Set 2 make codes as the kernel's PS/2 keyboard driver (atkbd) maps them.
constexpr PhysicalKey kTypingKeys[] = {
    {KEY_GRAVE, 0x0E, false},  {KEY_1, 0x16, false},          {KEY_2, 0x1E, false},
    {KEY_3, 0x26, false},      {KEY_4, 0x25, false},          {KEY_5, 0x2E, false},
    {KEY_6, 0x36, false},      {KEY_7, 0x3D, false},          {KEY_8, 0x3E, false},
    {KEY_9, 0x46, false},      {KEY_0, 0x45, false},          {KEY_MINUS, 0x4E, false},
    {KEY_EQUAL, 0x55, false},

    {KEY_Q, 0x15, false},      {KEY_W, 0x1D, false},          {KEY_E, 0x24, false},
    {KEY_R, 0x2D, false},      {KEY_T, 0x2C, false},          {KEY_Y, 0x35, false},
    {KEY_U, 0x3C, false},      {KEY_I, 0x43, false},          {KEY_O, 0x44, false},
    {KEY_P, 0x4D, false},      {KEY_LEFTBRACE, 0x54, false},  {KEY_RIGHTBRACE, 0x5B, false},

    {KEY_A, 0x1C, false},      {KEY_S, 0x1B, false},          {KEY_D, 0x23, false},
    {KEY_F, 0x2B, false},      {KEY_G, 0x34, false},          {KEY_H, 0x33, false},
    {KEY_J, 0x3B, false},      {KEY_K, 0x42, false},          {KEY_L, 0x4B, false},
    {KEY_SEMICOLON, 0x4C, false}, {KEY_APOSTROPHE, 0x52, false}, {KEY_BACKSLASH, 0x5D, false},

    {KEY_102ND, 0x61, false},  {KEY_Z, 0x1A, false},          {KEY_X, 0x22, false},
    {KEY_C, 0x21, false},      {KEY_V, 0x2A, false},          {KEY_B, 0x32, false},
    {KEY_N, 0x31, false},      {KEY_M, 0x3A, false},          {KEY_COMMA, 0x41, false},
    {KEY_DOT, 0x49, false},    {KEY_SLASH, 0x4A, false},

    {KEY_SPACE, 0x29, false},
};

constexpr NamedKey kNamedKeys[] = {
    {"ENTER", 90, false},
    {"TAB", 13, false},
    {"ESC", 118, false},
    {"BACKSPACE", 102, false},
    {"SPACE", 41, false},
    {"F1", 5, false},
    {"F2", 6, false},
    {"F3", 4, false},
    {"F4", 12, false},
    {"F5", 3, false},
    {"F6", 11, false},
    {"F7", 131, false},
    {"F8", 10, false},
    {"F9", 1, false},
    {"F10", 9, false},
    {"F11", 120, false},
    {"F12", 7, false},
    {"INSERT", 112, true},
    {"DELETE", 113, true},
    {"HOME", 108, true},
    {"END", 105, true},
    {"PGUP", 125, true},
    {"PGDN", 122, true},
    {"UP", 117, true},
    {"DOWN", 114, true},
    {"LEFT", 107, true},
    {"RIGHT", 116, true},
    {"SHIFT", 18, false},
    {"RSHIFT", 89, false},
    {"CTRL", 20, false},
    {"RCTRL", 20, true},
    {"ALT", 17, false},
    {"ALTGR", 17, true},
    {"WIN", 31, true},
    {"RWIN", 39, true},
    {"MENU", 47, true},
    {"CAPSLOCK", 88, false},
    {"NUMLOCK", 119, false},
    {"SCROLLLOCK", 126, false},
    {"PRINTSCREEN", 124, true},
    {"KP0", 112, false},
    {"KP1", 105, false},
    {"KP2", 114, false},
    {"KP3", 122, false},
    {"KP4", 107, false},
    {"KP5", 115, false},
    {"KP6", 116, false},
    {"KP7", 108, false},
    {"KP8", 117, false},
    {"KP9", 125, false},
    {"KPENTER", 90, true},
    {"KPPLUS", 121, false},
    {"KPMINUS", 123, false},
    {"KPMUL", 124, false},
    {"KPDIV", 74, true},
    {"KPDOT", 113, false},
    // The keypad's operators by their signs as well.
    {"KP.", 113, false},
    {"KP+", 121, false},
    {"KP-", 123, false},
    {"KP*", 124, false},
    {"KP/", 74, true},
};

}  // namespace

std::span<const PhysicalKey> TypingKeys() { return kTypingKeys; }

std::span<const NamedKey> NamedKeys() { return kNamedKeys; }

uint8_t MakeCodeOf(int evdevCode) {
  for (const PhysicalKey& key : kTypingKeys) {
    if (key.evdev == evdevCode) return key.make;
  }
  return 0;
}

}  // namespace emugen
