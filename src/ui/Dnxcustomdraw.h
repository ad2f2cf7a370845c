#pragma once

#include <QString>

class QPainter;
class QRect;

// Alignment codes for cell text.
constexpr int taLeftIndent = 0;  // left, 2 pixels in
constexpr int taRightIndent = 1; // right, 2 pixels in
constexpr int taCentre = 2;

// Paints the rectangle with the painter's brush and the text in its font and pen, clipped to the
// rectangle and centred vertically. Returns the text width in pixels (0 for empty text).
int DrawCellText(QPainter& canvas, const QString& text, const QRect& rect, int alignment);
