#pragma once

#include <QPixmap>

// Number of faces: 0 smile, 1 sceptical, 2 angry, 3 saluting, 4 shocked, 5 thumbs down,
// 6 thumbs up, 7 squinting.
constexpr int kFaceCount = 8;
constexpr int kFaceSize = 64;

// A 64 × 64 face drawn at the given device pixel ratio, on a transparent background.
QPixmap MakeFace(int index, qreal devicePixelRatio);
