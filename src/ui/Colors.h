#pragma once

#include <QColor>
#include <cstdint>

// A colour as the designs give it: 24 bits written 0xBBGGRR (blue in the high byte).
// Values with the top bit set name a system colour instead.
using TColor = uint32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clNavy = 0x800000;
constexpr TColor clGray = 0x808080;
// The application's own grey, RGB(211, 208, 200), used wherever a surface is "button face".
constexpr TColor clSystemGrey = 0xC8D0D3;
// The system button-face colour: follows the application palette.
constexpr TColor clBtnFace = 0x8000000F;

constexpr TColor RGBColor(int r, int g, int b)
{
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}

QColor ToQColor(TColor color);
TColor FromQColor(const QColor& color);
