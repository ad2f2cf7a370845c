#include "ui/Frame_PageControl.h"

#include "ui_Frame_PageControl.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QStyleOptionFocusRect>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

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

// The tab itself: draws the body under its caption (an active one reaching down to the holder,
// open at the bottom), a thin raised frame under the pointer and a sunken one while pressed, and
// the focus mark while the bar has the keyboard focus.
class TTabButton : public QToolButton {
public:
    TTabButton(TPageControlFrame* bar, TPageButton* tab) : QToolButton(bar), FBar(bar), FTab(tab) {}

    QSize sizeHint() const override { return FBar->TabSize(FTab); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const bool active = FBar->IsActive(FTab);
        const int bottom = (active ? height() : FBar->ButtonHeight()) - 1;
        const int right = width() - 1;
        p.fillRect(QRect(0, 0, width(), bottom + 1), ToQColor(FTab->BodyColor()));
        p.setPen(ToQColor(clBlack));
        p.drawLine(0, 0, right, 0);
        p.drawLine(0, 0, 0, bottom);
        p.drawLine(right, 0, right, bottom);
        if (!active)
            p.drawLine(0, bottom, right, bottom);
        if (!active && (isDown() || underMouse())) {
            const QRect r = QRect(0, 0, width(), bottom + 1).adjusted(1, 1, -2, -2);
            const QColor light(255, 255, 255);
            const QColor dark(128, 128, 128);
            p.setPen(isDown() ? dark : light);
            p.drawLine(r.topLeft(), r.topRight());
            p.drawLine(r.topLeft(), r.bottomLeft());
            p.setPen(isDown() ? light : dark);
            p.drawLine(r.bottomLeft(), r.bottomRight());
            p.drawLine(r.topRight(), r.bottomRight());
        }
        if (active && FBar->hasFocus()) {
            QStyleOptionFocusRect mark;
            mark.initFrom(FBar);
            mark.rect = FTab->Label()->geometry().adjusted(-3, -1, 3, 1);
            mark.backgroundColor = ToQColor(FTab->BodyColor());
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &mark, &p, this);
        }
    }

private:
    TPageControlFrame* FBar;
    TPageButton* FTab;
};

} // namespace

// ---- TPageHolder ----

TPageHolder::TPageHolder(QWidget* parent) : TShape(parent)
{
    // The pages inside take the mouse.
    setAttribute(Qt::WA_TransparentForMouseEvents, false);
}

void TPageHolder::SetOpening(int left, int width)
{
    if (left == FOpeningLeft && width == FOpeningWidth)
        return;
    FOpeningLeft = left;
    FOpeningWidth = width;
    update();
}

void TPageHolder::paintEvent(QPaintEvent* event)
{
    TShape::paintEvent(event);
    if (FOpeningWidth <= 0)
        return;
    QPainter p(this);
    p.fillRect(QRect(FOpeningLeft, 0, FOpeningWidth, PenWidth()), ToQColor(BrushColor()));
}

// ---- TPageButton ----

TPageButton::TPageButton(TPageControlFrame* bar, QWidget* page)
    : FButton(new TTabButton(bar, this)), FFrame(page), FLabel(new QLabel(FButton))
{
    FLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    FLabel->setTextFormat(Qt::PlainText);
    FLabel->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(FButton);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(FLabel, 0, Qt::AlignCenter);
    FButton->setAutoRaise(true);
    FButton->setFocusPolicy(Qt::NoFocus);
    FButton->setAttribute(Qt::WA_NoSystemBackground);
    FButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    QObject::connect(FButton, &QToolButton::clicked, bar, [this, bar]() {
        FClicked = true;
        bar->FrameClick(nullptr);
    });
}

TPageButton::~TPageButton()
{
    delete FFrame;
    delete FButton;
}

QString TPageButton::LabelText() const
{
    return FMarked ? FCaption + kEditedMark : FCaption;
}

void TPageButton::SetCaption(const QString& text)
{
    FCaption = text;
    FLabel->setText(LabelText());
    FButton->updateGeometry();
}

void TPageButton::SetMarked(bool marked)
{
    if (marked == FMarked)
        return;
    FMarked = marked;
    FLabel->setText(LabelText());
}

int TPageButton::TextWidth() const
{
    return FLabel->fontMetrics().horizontalAdvance(FCaption + kEditedMark);
}

void TPageButton::SetBodyColor(TColor color)
{
    FBodyColor = color;
    FButton->update();
}

void TPageButton::SetColor(TColor color)
{
    FColor = color;
    SetBodyColor(color);
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
    SetBodyColor(FColor);
}

void TPageButton::SetColors(TColor fontColor, TColor color)
{
    SetLabelColor(FLabel, fontColor);
    SetBodyColor(color);
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
    return FButton->sizeHint().width();
}

QRect TPageButton::Geometry() const
{
    const auto* bar = static_cast<const TPageControlFrame*>(FButton->parentWidget());
    return QRect(FButton->pos(), QSize(Width(), bar->ButtonHeight()));
}

// ---- TPageControlFrame ----

TPageControlFrame::TPageControlFrame(QWidget* owner)
    : QFrame(owner), ui(new Ui::TPageControlFrame), FAlarmTimer(new QTimer(this))
{
    ui->setupUi(this);
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
    setFocusPolicy(Qt::TabFocus);

    ui->shHolder->SetBrushColor(clSystemGrey);
    ui->shHolder->SetPenColor(clBlack);
    ui->shHolder->SetPenWidth(1);
    SetPageIndent(ui->shHolder->PenWidth());

    FAlarmTimer->setObjectName(QStringLiteral("AlarmTimer"));
    FAlarmTimer->setInterval(kAlarmIntervalMs);
    FAlarmTimer->setProperty(kTagProperty, 0);
    connect(FAlarmTimer, &QTimer::timeout, this, &TPageControlFrame::AlarmTimerTimer);

    const std::pair<QKeyCombination, int> steps[] = {
        {Qt::CTRL | Qt::Key_Tab, 1},
        {Qt::CTRL | Qt::Key_PageDown, 1},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab, -1},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_Tab, -1},
        {Qt::CTRL | Qt::Key_PageUp, -1},
    };
    for (const auto& [keys, step] : steps) {
        auto* shortcut = new QShortcut(QKeySequence(keys), this);
        connect(shortcut, &QShortcut::activated, this, [this, step = step] { StepPage(step); });
    }

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

TPageHolder* TPageControlFrame::Holder() const
{
    return ui->shHolder;
}

int TPageControlFrame::AlarmPhase() const
{
    return FAlarmTimer->property(kTagProperty).toInt();
}

void TPageControlFrame::SetPageIndent(int indent)
{
    ui->loPages->setContentsMargins(indent, indent, indent, indent);
}

int TPageControlFrame::PageIndent() const
{
    return ui->loPages->contentsMargins().left();
}

void TPageControlFrame::SetCornerWidget(QWidget* widget)
{
    if (FCorner)
        ui->loTabs->removeWidget(FCorner);
    FCorner = widget;
    if (widget)
        ui->loTabs->addWidget(widget, 0, Qt::AlignTop);
}

QSize TPageControlFrame::TabSize(const TPageButton* tab) const
{
    const int width = FFitExtra >= 0 ? tab->TextWidth() + FFitExtra + 1
                                     : std::max(FButtonWidth, tab->TextWidth() + kCaptionPadding);
    return QSize(width, FButtonHeight + FHolderGap);
}

void TPageControlFrame::AddPage(const QString& caption, QWidget* page)
{
    auto* tab = new TPageButton(this, page);
    if (page) {
        page->hide();
        KeepOwnFont(page);
        ui->loPages->addWidget(page, 0, 0);
    }
    FPages.push_back(tab);
    tab->SetColor(ui->shHolder->BrushColor());
    tab->SetFontColor(FFontColor);
    tab->SetCaption(caption);
    tab->Button()->installEventFilter(this);
    ui->loTabs->insertWidget(PageCount() - 1, tab->Button());
    SizeTabs();
}

void TPageControlFrame::SizeTabs()
{
    for (TPageButton* tab : FPages) {
        tab->Button()->layout()->setContentsMargins(0, 0, 0, FHolderGap);
        tab->Button()->updateGeometry();
    }
    ui->loTabs->invalidate();
    ShowOpening();
}

// The holder's top border opens under the active tab, between the tab's sides.
void TPageControlFrame::ShowOpening()
{
    const TPageButton* tab = Tab(FActiveIndex);
    const int pen = ui->shHolder->PenWidth();
    if (!tab) {
        ui->shHolder->SetOpening(0, 0);
        return;
    }
    const QRect body = tab->Button()->geometry();
    ui->shHolder->SetOpening(body.left() - ui->shHolder->x() + pen, body.width() - 2 * pen);
}

bool TPageControlFrame::eventFilter(QObject* watched, QEvent* event)
{
    // The row's layout moves the tabs: the opening follows the active one.
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize) {
        const TPageButton* tab = Tab(FActiveIndex);
        if (tab && watched == tab->Button())
            ShowOpening();
    }
    return QFrame::eventFilter(watched, event);
}

void TPageControlFrame::ShowActivePage(bool focusPage)
{
    TPageButton* tab = Tab(FActiveIndex);
    if (!tab)
        return;
    if (OnBeforeShowPage)
        OnBeforeShowPage(this);
    if (!tab->Frame())
        return;
    RunPageHandler(tab->Frame(), "FrameEnter");
    if (OnAfterShowPage)
        OnAfterShowPage(this);
    tab->Frame()->show();
    if (focusPage)
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
    // Chosen from the bar by keyboard, the page is shown and the focus stays on the tabs.
    const bool focusPage = !hasFocus();
    if (index == FActiveIndex) {
        ShowActivePage(focusPage);
        return;
    }
    if (TPageButton* active = Tab(FActiveIndex)) {
        HideActivePage();
        active->SetFontColor(FFontColor);
        active->Button()->update();
    }
    FActiveIndex = index;
    ShowOpening();
    TPageButton* tab = Tab(index);
    if (!tab)
        return;
    tab->SetFontColor(FActiveFontColor);
    tab->Button()->update();
    ShowActivePage(focusPage);
}

void TPageControlFrame::StepPage(int step)
{
    if (PageCount() == 0)
        return;
    SelectPage(((std::max(FActiveIndex, 0) + step) % PageCount() + PageCount()) % PageCount());
}

void TPageControlFrame::SetButtonHeight(int height)
{
    FButtonHeight = height;
    SizeTabs();
}

void TPageControlFrame::SetButtonSpacing(int spacing)
{
    ui->loTabs->setSpacing(spacing);
}

void TPageControlFrame::SetHolderGap(int gap)
{
    FHolderGap = gap;
    SizeTabs();
}

void TPageControlFrame::SetActiveFontColor(TColor color)
{
    FActiveFontColor = color;
    if (TPageButton* tab = Tab(FActiveIndex))
        tab->SetFontColor(color);
}

void TPageControlFrame::FitButtonsToText(int extraWidth)
{
    FFitExtra = extraWidth;
    SizeTabs();
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
            if (i != FActiveIndex)
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

void TPageControlFrame::mousePressEvent(QMouseEvent* event)
{
    FrameClick(this);
    QFrame::mousePressEvent(event);
}

void TPageControlFrame::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QFrame::keyPressEvent(event);
        return;
    }
    const int last = PageCount() - 1;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        SelectPage(std::max(0, FActiveIndex - 1));
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        SelectPage(std::min(last, FActiveIndex + 1));
        break;
    case Qt::Key_Home:
        SelectPage(std::min(0, last));
        break;
    case Qt::Key_End:
        SelectPage(last);
        break;
    default:
        QFrame::keyPressEvent(event);
    }
}

void TPageControlFrame::focusInEvent(QFocusEvent* event)
{
    QFrame::focusInEvent(event);
    if (TPageButton* tab = Tab(FActiveIndex))
        tab->Button()->update();
}

void TPageControlFrame::focusOutEvent(QFocusEvent* event)
{
    QFrame::focusOutEvent(event);
    if (TPageButton* tab = Tab(FActiveIndex))
        tab->Button()->update();
}
