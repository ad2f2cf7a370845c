#include "ui/Frame_PageControl.h"

#include "ui_Frame_PageControl.h"

#include "ui/Shape.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kCaptionPadding = 10;
const QString kEditedMark = QStringLiteral(" •");
constexpr int kAlarmIntervalMs = 500;
const char* const kTagProperty = "tag";

int g_instanceCount = 0;

void SetLabelColor(QLabel* label, TColor color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ToQColor(color));
    label->setPalette(palette);
}

// Runs the page's FrameEnter / FrameExit with no sender, when its class has one.
void RunPageHandler(QWidget* page, const char* name)
{
    if (!page)
        return;
    const QByteArray signature = QByteArray(name) + "(QObject*)";
    if (page->metaObject()->indexOfMethod(signature.constData()) < 0)
        return;
    QMetaObject::invokeMethod(page, name, Qt::DirectConnection, Q_ARG(QObject*, nullptr));
}

// The page's first field, in the order the Tab key visits them, takes the keyboard focus; a page
// without one takes it itself, so that it is not left where hiding the page before put it.
void FocusFirstField(QWidget* page)
{
    for (QWidget* w = page->nextInFocusChain(); w != page; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy() && w->isEnabled() &&
            w->isVisibleTo(page)) {
            w->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    page->setFocus(Qt::OtherFocusReason);
}

// Makes the page keep its own font instead of taking the bar's bold one.
void KeepOwnFont(QWidget* page)
{
    QFont own = page->font();
    own.setFamilies(own.families());
    own.setWeight(own.weight());
    own.setStyle(own.style());
    if (own.pixelSize() > 0)
        own.setPixelSize(own.pixelSize());
    else
        own.setPointSizeF(own.pointSizeF());
    page->setFont(own);
}

// The tab's mouse catcher: it paints only a thin raised frame under the pointer and a sunken
// one while pressed, so the tab body and caption beneath stay visible.
class TTabHotButton : public QToolButton {
public:
    using QToolButton::QToolButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        const bool pressed = isDown();
        if (!pressed && !underMouse())
            return;
        QPainter p(this);
        const QRect r = rect().adjusted(1, 1, -2, -2);
        const QColor light(255, 255, 255);
        const QColor dark(128, 128, 128);
        p.setPen(pressed ? dark : light);
        p.drawLine(r.topLeft(), r.topRight());
        p.drawLine(r.topLeft(), r.bottomLeft());
        p.setPen(pressed ? light : dark);
        p.drawLine(r.bottomLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomRight());
    }
};

} // namespace

// ---- TPageButton ----

TPageButton::TPageButton(TPageControlFrame* bar, QWidget* page)
    : FButton(new TTabHotButton(bar)), FShape(new TShape(bar)), FFrame(page), FLabel(new QLabel(bar))
{
    FShape->SetBrushColor(FColor);
    FShape->show();
    FLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    FLabel->setTextFormat(Qt::PlainText);
    FLabel->show();
    FButton->setAutoRaise(true);
    FButton->setFocusPolicy(Qt::NoFocus);
    FButton->setAttribute(Qt::WA_NoSystemBackground);
    FButton->show();
    FLabel->raise();
    FButton->raise();
    QObject::connect(FButton, &QToolButton::clicked, bar, [this, bar]() {
        FClicked = true;
        bar->FrameClick(nullptr);
    });
}

TPageButton::~TPageButton()
{
    delete FFrame;
    delete FButton;
    delete FLabel;
    delete FShape;
}

void TPageButton::CentreLabel()
{
    FLabel->move(FButton->x() + (FButton->width() - FLabel->width()) / 2,
                 FButton->y() + (FButton->height() - FLabel->height()) / 2);
}

void TPageButton::SetPosition(int left, int top)
{
    FButton->move(left, top);
    FShape->move(left, top);
    CentreLabel();
}

void TPageButton::SetSize(int width, int height)
{
    FButton->resize(width, height);
    FShape->resize(width, height);
    CentreLabel();
}

QString TPageButton::LabelText() const
{
    return FMarked ? FCaption + kEditedMark : FCaption;
}

void TPageButton::SetCaption(const QString& text)
{
    FCaption = text;
    FLabel->setText(text + kEditedMark);
    FLabel->adjustSize();
    const int widest = FLabel->width();
    FLabel->setText(LabelText());
    FLabel->adjustSize();
    if (widest + kCaptionPadding > FButton->width())
        SetSize(widest + kCaptionPadding, FButton->height());
    else
        CentreLabel();
}

void TPageButton::SetMarked(bool marked)
{
    if (marked == FMarked)
        return;
    FMarked = marked;
    FLabel->setText(LabelText());
    FLabel->adjustSize();
    CentreLabel();
}

void TPageButton::FitToText(int extraWidth)
{
    const int width = QFontMetrics(FLabel->font()).horizontalAdvance(FCaption + kEditedMark) + extraWidth + 1;
    SetSize(width, FShape->height());
}

void TPageButton::SetColor(TColor color)
{
    FColor = color;
    FShape->SetBrushColor(color);
}

void TPageButton::SetFontColor(TColor color)
{
    FFontColor = color;
    SetLabelColor(FLabel, color);
}

void TPageButton::SetAlarm(bool alarm)
{
    FAlarm = alarm;
    if (!alarm)
        RestoreColors();
}

void TPageButton::RestoreColors()
{
    SetLabelColor(FLabel, FFontColor);
    FShape->SetBrushColor(FColor);
}

void TPageButton::SetColors(TColor fontColor, TColor color)
{
    SetLabelColor(FLabel, fontColor);
    FShape->SetBrushColor(color);
}

bool TPageButton::WasClicked()
{
    const bool clicked = FClicked;
    FClicked = false;
    return clicked;
}

QString TPageButton::Caption() const
{
    return FCaption;
}

int TPageButton::Width() const
{
    return FButton->width();
}

QRect TPageButton::Geometry() const
{
    return FShape->geometry();
}

// ---- TPageControlFrame ----

TPageControlFrame::TPageControlFrame(QWidget* owner)
    : QFrame(owner), ui(new Ui::TPageControlFrame), FAlarmTimer(new QTimer(this))
{
    ui->setupUi(this);
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);

    ui->shHolder->SetBrushColor(clSystemGrey);
    ui->shHolder->SetPenColor(clBlack);
    ui->shHolder->SetPenWidth(1);
    PageIndent = ui->shHolder->PenWidth();

    ui->shLine->SetPenColor(ui->shHolder->BrushColor());
    ui->shLine->SetPenWidth(ui->shHolder->PenWidth());
    ui->shLine->resize(ui->shLine->width(), ui->shLine->PenWidth());

    FAlarmTimer->setObjectName(QStringLiteral("AlarmTimer"));
    FAlarmTimer->setInterval(kAlarmIntervalMs);
    FAlarmTimer->setProperty(kTagProperty, 0);
    connect(FAlarmTimer, &QTimer::timeout, this, &TPageControlFrame::AlarmTimerTimer);

    ++g_instanceCount;
    setObjectName(QStringLiteral("PageControl%1").arg(g_instanceCount));
}

TPageControlFrame::~TPageControlFrame()
{
    SelectPage(-1);
    for (TPageButton* tab : FPages)
        delete tab;
    FPages.clear();
    --g_instanceCount;
}

TPageButton* TPageControlFrame::Tab(int index) const
{
    return index >= 0 && index < PageCount() ? FPages[index] : nullptr;
}

QRect TPageControlFrame::HolderRect() const
{
    return ui->shHolder->geometry();
}

TShape* TPageControlFrame::Holder() const
{
    return ui->shHolder;
}

TShape* TPageControlFrame::Line() const
{
    return ui->shLine;
}

int TPageControlFrame::AlarmPhase() const
{
    return FAlarmTimer->property(kTagProperty).toInt();
}

void TPageControlFrame::AddPage(const QString& caption, QWidget* page)
{
    const int n = PageCount();
    if (page) {
        page->hide();
        KeepOwnFont(page);
        page->setParent(this);
    }
    auto* tab = new TPageButton(this, page);
    FPages.push_back(tab);
    tab->SetSize(FButtonWidth, FButtonHeight);
    tab->SetColor(ui->shHolder->BrushColor());
    tab->SetFontColor(FFontColor);
    tab->SetCaption(caption);
    int x = FMargin;
    for (int i = 0; i < n; ++i)
        x += FPages[i]->Width() + FButtonSpacing;
    tab->SetPosition(x, FMargin);
    ui->shLine->raise();
}

void TPageControlFrame::LayoutButtons()
{
    int x = FMargin;
    for (TPageButton* tab : FPages) {
        if (!tab->Shape()->isVisibleTo(this))
            continue;
        tab->SetPosition(x, FMargin);
        x += tab->Width() + FButtonSpacing;
    }
}

void TPageControlFrame::FrameResize()
{
    const int top = FMargin + FButtonHeight + FHolderGap;
    ui->shHolder->setGeometry(FMargin, top, width() - 2 * FMargin, height() - top - FMargin);
    ui->shLine->move(ui->shLine->x(), top);
    PlaceActivePage();
}

void TPageControlFrame::PlaceActivePage()
{
    TPageButton* tab = Tab(FActiveIndex);
    if (!tab || !tab->Frame())
        return;
    const QRect holder = ui->shHolder->geometry();
    tab->Frame()->setGeometry(holder.left() + PageIndent, holder.top() + PageIndent,
                              holder.width() - 2 * PageIndent, holder.height() - 2 * PageIndent);
}

void TPageControlFrame::HighlightTab(int index)
{
    TPageButton* tab = Tab(index);
    if (!tab)
        return;
    // The body reaches over the holder's top border, and the line hides that border under it.
    tab->Shape()->resize(tab->Shape()->width(), FButtonHeight + FHolderGap + 1);
    tab->Button()->hide();
    tab->SetFontColor(FActiveFontColor);
    TShape* line = ui->shLine;
    line->setGeometry(tab->Button()->x() + line->PenWidth(), line->y(),
                      tab->Button()->width() - 2 * line->PenWidth(), line->height());
    line->SetPenColor(tab->Color());
}

void TPageControlFrame::ShowActivePage()
{
    TPageButton* tab = Tab(FActiveIndex);
    if (!tab)
        return;
    if (OnBeforeShowPage)
        OnBeforeShowPage(this);
    if (!tab->Frame())
        return;
    PlaceActivePage();
    RunPageHandler(tab->Frame(), "FrameEnter");
    if (OnAfterShowPage)
        OnAfterShowPage(this);
    tab->Frame()->show();
    FocusFirstField(tab->Frame());
}

void TPageControlFrame::HideActivePage()
{
    TPageButton* tab = Tab(FActiveIndex);
    if (!tab || !tab->Frame())
        return;
    if (OnBeforeHidePage)
        OnBeforeHidePage(this);
    RunPageHandler(tab->Frame(), "FrameExit");
    // Hiding the field that has the focus hands it on along the Tab chain, to the port box
    // before any page (which then selects its text and scrolls to its end): the bar keeps it
    // until the next page takes it.
    if (tab->Frame()->isAncestorOf(QApplication::focusWidget()))
        setFocus(Qt::OtherFocusReason);
    tab->Frame()->hide();
}

void TPageControlFrame::SelectPage(int index)
{
    if (index > PageCount() - 1)
        return;
    if (index < -1)
        return; // only -1 means "none"
    if (index == FActiveIndex) {
        ShowActivePage();
        return;
    }
    if (TPageButton* active = Tab(FActiveIndex)) {
        HideActivePage();
        active->Shape()->resize(active->Shape()->width(), FButtonHeight);
        active->Button()->show();
        active->SetFontColor(FFontColor);
    }
    FActiveIndex = index;
    if (index < 0)
        return;
    HighlightTab(index);
    ShowActivePage();
}

void TPageControlFrame::SetButtonHeight(int height)
{
    FButtonHeight = height;
    for (TPageButton* tab : FPages)
        tab->SetSize(FButtonWidth, FButtonHeight);
    FrameResize();
    HighlightTab(FActiveIndex);
}

void TPageControlFrame::SetButtonSpacing(int spacing)
{
    FButtonSpacing = spacing;
    LayoutButtons();
    HighlightTab(FActiveIndex);
}

void TPageControlFrame::SetHolderGap(int gap)
{
    FHolderGap = gap;
    FrameResize();
    HighlightTab(FActiveIndex);
}

void TPageControlFrame::SetActiveFontColor(TColor color)
{
    FActiveFontColor = color;
    HighlightTab(FActiveIndex);
}

void TPageControlFrame::FitButtonsToText(int extraWidth)
{
    for (TPageButton* tab : FPages)
        tab->FitToText(extraWidth);
    LayoutButtons();
    HighlightTab(FActiveIndex);
}

void TPageControlFrame::FrameClick(QObject* sender)
{
    if (sender)
        return;
    for (int i = 0; i < PageCount(); ++i) {
        TPageButton* tab = FPages[i];
        if (tab->WasClicked()) {
            if (tab->Alarm()) {
                tab->SetAlarm(false);
                tab->RestoreColors();
            }
            SelectPage(i);
        }
    }
}

void TPageControlFrame::AlarmTimerTimer()
{
    const int phase = AlarmPhase();
    bool any = false;
    for (TPageButton* tab : FPages) {
        if (!tab->Alarm())
            continue;
        any = true;
        if (phase == 0)
            tab->SetColors(FAlarmFontColor, FAlarmColor);
        else
            tab->RestoreColors();
    }
    if (!any) {
        FAlarmTimer->stop();
        FAlarmTimer->setProperty(kTagProperty, 0);
    } else {
        FAlarmTimer->setProperty(kTagProperty, phase == 0 ? 1 : 0);
    }
}

void TPageControlFrame::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    FrameResize();
}

void TPageControlFrame::mousePressEvent(QMouseEvent* event)
{
    FrameClick(this);
    QFrame::mousePressEvent(event);
}
