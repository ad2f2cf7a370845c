#pragma once

#include "ui/Colors.h"

#include <QWidget>

// A filled rectangle with a border of PenWidth pixels, drawn inside its bounds. With a height
// equal to the pen width it draws a line in the pen colour.
class TShape : public QWidget {
    Q_OBJECT
public:
    explicit TShape(QWidget* parent = nullptr);

    TColor BrushColor() const { return FBrushColor; }
    void SetBrushColor(TColor color);
    TColor PenColor() const { return FPenColor; }
    void SetPenColor(TColor color);
    int PenWidth() const { return FPenWidth; }
    void SetPenWidth(int width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TColor FBrushColor = clWhite;
    TColor FPenColor = clBlack;
    int FPenWidth = 1;
};
