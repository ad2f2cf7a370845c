#pragma once
#include <cstdint>

// The module keeps its settings at parameter addresses 0 to 124.
constexpr int SettingsSize = 125;

// The module's factory settings, address by address.
extern const uint8_t DefaultSettings[SettingsSize];
