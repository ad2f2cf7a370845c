#pragma once

#include "ui/Colors.h"

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
class TShape;

namespace Ui {
class TPageControlFrame;
}

// One tab: the body shape, the caption label over it and a flat button on top taking the mouse,
// with the page that belongs to the tab. Owns the page.
class TPageButton {
public:
    TPageButton(TPageControlFrame* bar, QWidget* page);
    ~TPageButton();
    TPageButton(const TPageButton&) = delete;
    TPageButton& operator=(const TPageButton&) = delete;

    void SetPosition(int left, int top);
    void SetSize(int width, int height);
    void SetCaption(const QString& text);
    void FitToText(int extraWidth);
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
    TShape* Shape() const { return FShape; }
    QLabel* Label() const { return FLabel; }
    QWidget* Frame() const { return FFrame; }
    TColor Color() const { return FColor; }
    TColor FontColor() const { return FFontColor; }
    bool Alarm() const { return FAlarm; }
    QString Caption() const;  // without the mark
    int Width() const;
    QRect Geometry() const; // the body's rectangle

private:
    void CentreLabel();
    QString LabelText() const;

    QToolButton* FButton;
    TShape* FShape;
    QWidget* FFrame;
    QLabel* FLabel;
    TColor FColor = clBtnFace;
    TColor FFontColor = clBlack;
    bool FClicked = false;
    bool FAlarm = false;
    bool FMarked = false;
    QString FCaption;
};

// The tab bar: a row of tabs over a framed holder that shows one page at a time. A page may
// offer Q_INVOKABLE FrameEnter(QObject*) and FrameExit(QObject*); the bar calls them with null
// each time it shows or hides the page. A page shown puts the keyboard focus on its first field.
class TPageControlFrame : public QFrame {
    Q_OBJECT
public:
    explicit TPageControlFrame(QWidget* owner);
    ~TPageControlFrame() override;

    void AddPage(const QString& caption, QWidget* page);
    void SelectPage(int index);
    void SetButtonHeight(int height);
    void SetButtonSpacing(int spacing);
    void SetHolderGap(int gap);
    void SetActiveFontColor(TColor color);
    void FitButtonsToText(int extraWidth);

    int ActiveIndex() const { return FActiveIndex; }
    int PageCount() const { return int(FPages.size()); }
    TPageButton* Tab(int index) const;
    QRect HolderRect() const;
    TShape* Holder() const;
    TShape* Line() const;
    QTimer* AlarmTimer() const { return FAlarmTimer; }
    int AlarmPhase() const;

    // Inset of the shown page inside the holder on every side.
    int PageIndent;

    std::function<void(TPageControlFrame*)> OnBeforeShowPage;
    std::function<void(TPageControlFrame*)> OnAfterShowPage;
    std::function<void(TPageControlFrame*)> OnBeforeHidePage;

    // A click on the bar (sender set) or on a tab (sender null).
    void FrameClick(QObject* sender);
    void AlarmTimerTimer();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void FrameResize();
    void LayoutButtons();
    void PlaceActivePage();
    void HighlightTab(int index);
    void ShowActivePage();
    void HideActivePage();

    std::unique_ptr<Ui::TPageControlFrame> ui;
    QTimer* FAlarmTimer;
    std::vector<TPageButton*> FPages;
    int FMargin = 0;
    int FButtonWidth = 64;
    int FButtonHeight = 28;
    int FActiveIndex = -1;
    int FButtonSpacing = 8;
    int FHolderGap = 6;
    TColor FActiveFontColor = clYellow;
    TColor FFontColor = clBlack;
    TColor FAlarmFontColor = clRed;
    TColor FAlarmColor = clNavy;
};
