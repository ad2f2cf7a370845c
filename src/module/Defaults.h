#pragma once
#include <cstdint>

// The module mirrors its settings at parameter addresses 0 to 124; the window and the
// image-backed pages share one copy of them.
constexpr int SettingsSize = 125;

// The working copy of the module's settings: zero at start, filled by a read or a reset.
// Touched on the GUI thread only.
extern uint8_t SettingsImage[SettingsSize];

// The module's factory settings, address by address.
extern const uint8_t DefaultSettings[SettingsSize];
