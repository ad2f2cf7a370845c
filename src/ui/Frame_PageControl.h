#pragma once

#include "ui/Colors.h"
#include "ui/Shape.h"

#include <QFrame>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QTimer;
class QToolButton;
class TPageControlFrame;

namespace Ui {
class TPageControlFrame;
}

// The framed area under the tabs that holds the shown page. Its top border opens under the
// active tab, so that the tab and the page read as one sheet.
class TPageHolder : public TShape {
    Q_OBJECT
public:
    explicit TPageHolder(QWidget* parent = nullptr);
    // The opening in the top border, in the holder's x; an empty width closes it.
    void SetOpening(int left, int width);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int FOpeningLeft = 0;
    int FOpeningWidth = 0;
};

// One tab: a flat button in the bar's row that draws the tab's body and takes the mouse, its
// caption label, and the page that belongs to the tab. Owns the page.
class TPageButton {
public:
    TPageButton(TPageControlFrame* bar, QWidget* page);
    ~TPageButton();
    TPageButton(const TPageButton&) = delete;
    TPageButton& operator=(const TPageButton&) = delete;

    void SetCaption(const QString& text);
    void SetColor(TColor color);
    void SetFontColor(TColor color);
    void SetAlarm(bool alarm);
    // Marks the caption: the page holds edits not yet stored. The tab is sized for the mark
    // from the start, so marking never moves the tabs.
    void SetMarked(bool marked);
    bool Marked() const { return FMarked; }
    void RestoreColors();
    void SetColors(TColor fontColor, TColor color);
    bool WasClicked();

    QToolButton* Button() const { return FButton; }
    QLabel* Label() const { return FLabel; }
    QWidget* Frame() const { return FFrame; }
    TColor Color() const { return FColor; }
    TColor FontColor() const { return FFontColor; }
    TColor BodyColor() const { return FBodyColor; }  // as drawn now, blinking included
    bool Alarm() const { return FAlarm; }
    QString Caption() const;  // without the mark
    // The caption's width with the mark, the tab's least width being that plus padding.
    int TextWidth() const;
    int Width() const;
    QRect Geometry() const;  // the body's rectangle in the bar, as an inactive tab has it

private:
    QString LabelText() const;
    void SetBodyColor(TColor color);

    QToolButton* FButton;
    QWidget* FFrame;
    QLabel* FLabel;
    TColor FColor = clBtnFace;
    TColor FBodyColor = clBtnFace;
    TColor FFontColor = clBlack;
    bool FClicked = false;
    bool FAlarm = false;
    bool FMarked = false;
    QString FCaption;
};

// The tab bar: a row of tabs over a framed holder that shows one page at a time, with room at
// the row's right end for a widget of the owner's. A page may offer Q_INVOKABLE
// FrameEnter(QObject*) and FrameExit(QObject*); the bar calls them with null each time it shows
// or hides the page. A page shown puts the keyboard focus on its first field.
// By keyboard the bar is one stop: the arrows, Home and End choose the tab; anywhere in its
// window Ctrl+Tab / Ctrl+PgDn and Ctrl+Shift+Tab / Ctrl+PgUp go to the next and previous page,
// round the end.
class TPageControlFrame : public QFrame {
    Q_OBJECT
public:
    explicit TPageControlFrame(QWidget* owner);
    ~TPageControlFrame() override;

    void AddPage(const QString& caption, QWidget* page);
    void SelectPage(int index);
    // The next page (`step` 1) or the previous one (-1), round the end.
    void StepPage(int step);
    void SetButtonHeight(int height);
    void SetButtonSpacing(int spacing);
    void SetHolderGap(int gap);
    void SetActiveFontColor(TColor color);
    // Tabs as wide as their caption and `extraWidth`, narrower than the plain width too.
    void FitButtonsToText(int extraWidth);
    // Inset of the shown page inside the holder on every side.
    void SetPageIndent(int indent);
    int PageIndent() const;
    // Placed at the right end of the tabs' row, on its top.
    void SetCornerWidget(QWidget* widget);

    int ActiveIndex() const { return FActiveIndex; }
    int PageCount() const { return int(FPages.size()); }
    TPageButton* Tab(int index) const;
    QRect HolderRect() const;
    TPageHolder* Holder() const;
    int ButtonHeight() const { return FButtonHeight; }
    QTimer* AlarmTimer() const { return FAlarmTimer; }
    int AlarmPhase() const;

    std::function<void(TPageControlFrame*)> OnBeforeShowPage;
    std::function<void(TPageControlFrame*)> OnAfterShowPage;
    std::function<void(TPageControlFrame*)> OnBeforeHidePage;

    // A click on the bar (sender set) or on a tab (sender null).
    void FrameClick(QObject* sender);
    void AlarmTimerTimer();

    QSize TabSize(const TPageButton* tab) const;
    bool IsActive(const TPageButton* tab) const { return Tab(FActiveIndex) == tab; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SizeTabs();
    void ShowOpening();
    void ShowActivePage(bool focusPage);
    void HideActivePage();

    std::unique_ptr<Ui::TPageControlFrame> ui;
    QTimer* FAlarmTimer;
    std::vector<TPageButton*> FPages;
    QWidget* FCorner = nullptr;
    int FButtonWidth = 64;
    int FButtonHeight = 28;
    int FFitExtra = -1;  // FitButtonsToText's, while tabs fit their text
    int FActiveIndex = -1;
    int FHolderGap = 6;
    TColor FActiveFontColor = clYellow;
    TColor FFontColor = clBlack;
    TColor FAlarmFontColor = clRed;
    TColor FAlarmColor = clNavy;
};
