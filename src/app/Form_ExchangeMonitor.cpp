#include "app/Form_ExchangeMonitor.h"

#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeySequence>
#include <QShortcut>
#include <QStandardPaths>

#include "module/DiskFiles.h"
#include "operation/DeviceOperation.h"
#include "ui/Mydialogs.h"
#include "ui_Form_ExchangeMonitor.h"

namespace {

enum TColumn { ColTime, ColDirection, ColBytes, ColMeaning, ColOutcome };

constexpr int kPollMs = 100;
constexpr int kLineRole = Qt::UserRole;       // the row as a line of text
constexpr int kErrorRole = Qt::UserRole + 1;  // an error frame, or a failed operation
constexpr int kTitleRole = Qt::UserRole + 2;  // an operation's title, for the filter
constexpr int kPortRole = Qt::UserRole + 3;   // the port it went through, for the filter
// The hex column's width in bytes shown before it is cut; the full row is in its tool tip.
constexpr int kHexBytesWide = 20;

QString Utf8(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

TExchangeMonitorForm::TExchangeMonitorForm(const TExchangeRecorder& recorder, QWidget* owner)
    : QWidget(owner, Qt::Window), ui(new Ui::TExchangeMonitorForm), FRecorder(recorder)
{
    ui->setupUi(this);
    setProperty(OnlookerWindowProperty, true);
    ui->cbOperation->addItem(QStringLiteral("Все операции"));
    ui->cbPort->addItem(QStringLiteral("Все порты"));
    ui->laLogNotice->hide();
    QTreeWidget* tree = ui->tvFrames;
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFontMetrics fixedMetrics(fixed);
    const QFontMetrics metrics(tree->font());
    tree->header()->setStretchLastSection(true);
    tree->header()->setSectionResizeMode(QHeaderView::Interactive);
    tree->setColumnWidth(ColTime, metrics.horizontalAdvance(QStringLiteral("0000000 мс")) + 40);
    tree->setColumnWidth(ColDirection, metrics.horizontalAdvance(QStringLiteral("←")) + 16);
    tree->setColumnWidth(ColBytes, fixedMetrics.horizontalAdvance(QString(kHexBytesWide * 3, QLatin1Char('0'))) + 12);
    tree->setColumnWidth(ColMeaning, metrics.horizontalAdvance(QStringLiteral("Запись параметров: адрес 1000, 250 байт")) + 16);
    tree->setProperty("fixedFont", fixed);
    resize(std::max(width(), tree->header()->length() + metrics.horizontalAdvance(QStringLiteral("нет ответа за 1000 мс, попытка 3 из 3")) + 40),
           height());

    connect(ui->cbOperation, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { ApplyFilters(); });
    connect(ui->cbPort, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { ApplyFilters(); });
    connect(ui->cbErrorsOnly, &QCheckBox::toggled, this, [this] { ApplyFilters(); });
    connect(ui->btCopy, &QPushButton::clicked, this, [this] { CopyClick(); });
    connect(ui->btSave, &QPushButton::clicked, this, [this] { SaveClick(); });
    auto* copy = new QShortcut(QKeySequence::Copy, tree, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copy, &QShortcut::activated, this, [this] { CopyClick(); });
    FPoll.setInterval(kPollMs);
    connect(&FPoll, &QTimer::timeout, this, [this] { Refresh(); });
}

TExchangeMonitorForm::~TExchangeMonitorForm() = default;

void TExchangeMonitorForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    Refresh();
    FPoll.start();
}

void TExchangeMonitorForm::hideEvent(QHideEvent* event)
{
    FPoll.stop();
    QWidget::hideEvent(event);
}

void TExchangeMonitorForm::Refresh()
{
    const uint64_t version = FRecorder.Version();
    if (version == FSeenVersion)
        return;
    FSeenVersion = version;
    const QString notice = Utf8(FRecorder.LogNotice());
    ui->laLogNotice->setText(notice);
    ui->laLogNotice->setVisible(!notice.isEmpty());
    // Finished operations no longer change: the next look starts after the last of them in a row.
    bool finishedSoFar = true;
    for (const TOperationRecord& operation : FRecorder.Since(FFirstOpen)) {
        ShowOperation(operation);
        finishedSoFar = finishedSoFar && operation.Finished;
        if (finishedSoFar)
            FFirstOpen = operation.Number + 1;
    }
    ApplyFilters();
}

void TExchangeMonitorForm::ShowOperation(const TOperationRecord& operation)
{
    QTreeWidget* tree = ui->tvFrames;
    QTreeWidgetItem*& item = FItems[operation.Number];
    const bool added = item == nullptr;
    if (added) {
        item = new QTreeWidgetItem(tree);
        const QString title = Utf8(operation.Title);
        item->setData(0, kTitleRole, title);
        item->setFirstColumnSpanned(true);
        QFont bold = item->font(0);
        bold.setBold(true);
        item->setFont(0, bold);
        if (ui->cbOperation->findText(title) < 0)
            ui->cbOperation->addItem(title);
        // A production line's ports run side by side: each can be followed alone.
        const QString port = Utf8(operation.Port);
        item->setData(0, kPortRole, port);
        if (!port.isEmpty() && ui->cbPort->findText(port) < 0)
            ui->cbPort->addItem(port);
    }
    const QString header = Utf8(OperationHeader(operation));
    item->setText(0, header);
    item->setData(0, kLineRole, header);
    const bool failed = operation.Finished && !operation.Succeeded;
    item->setData(0, kErrorRole, failed);
    item->setForeground(0, failed ? QBrush(Qt::darkRed) : QBrush());

    const QFont fixed = tree->property("fixedFont").value<QFont>();
    for (size_t i = static_cast<size_t>(item->childCount()); i < operation.Frames.size(); ++i) {
        const TFrameRecord& frame = operation.Frames[i];
        auto* row = new QTreeWidgetItem(item);
        row->setText(ColTime, QStringLiteral("%1 мс").arg(frame.TimeMs));
        row->setTextAlignment(ColTime, Qt::AlignRight | Qt::AlignVCenter);
        row->setText(ColDirection, frame.ToModule ? QStringLiteral("→") : QStringLiteral("←"));
        row->setTextAlignment(ColDirection, Qt::AlignCenter);
        row->setText(ColBytes, Utf8(frame.Text.Hex));
        row->setToolTip(ColBytes, Utf8(frame.Text.Hex));
        row->setFont(ColBytes, fixed);
        row->setText(ColMeaning, Utf8(frame.Text.Meaning));
        row->setText(ColOutcome, Utf8(frame.Outcome));
        row->setData(0, kLineRole, Utf8(FrameLine(frame)));
        row->setData(0, kErrorRole, frame.Error);
        if (frame.Error)
            row->setForeground(ColOutcome, QBrush(Qt::red));
    }
    // A running operation is followed; a finished one folds away unless it failed.
    if (added || !operation.Finished)
        item->setExpanded(true);
    else if (operation.Succeeded)
        item->setExpanded(false);
    if (!operation.Finished)
        tree->scrollToItem(item->child(item->childCount() - 1) ? item->child(item->childCount() - 1) : item);
}

void TExchangeMonitorForm::ApplyFilters()
{
    const QString only = ui->cbOperation->currentIndex() > 0 ? ui->cbOperation->currentText() : QString();
    const QString onlyPort = ui->cbPort->currentIndex() > 0 ? ui->cbPort->currentText() : QString();
    const bool errorsOnly = ui->cbErrorsOnly->isChecked();
    for (const auto& [number, item] : FItems) {
        bool anyError = item->data(0, kErrorRole).toBool();
        for (int i = 0; i < item->childCount(); ++i) {
            QTreeWidgetItem* row = item->child(i);
            const bool error = row->data(0, kErrorRole).toBool();
            row->setHidden(errorsOnly && !error);
            anyError = anyError || error;
        }
        (void)number;
        item->setHidden((!only.isEmpty() && item->data(0, kTitleRole).toString() != only) ||
                        (!onlyPort.isEmpty() && item->data(0, kPortRole).toString() != onlyPort) ||
                        (errorsOnly && !anyError));
    }
}

QString TExchangeMonitorForm::ShownText(bool selectedOnly) const
{
    QStringList lines;
    for (const auto& [number, item] : FItems) {
        (void)number;
        if (item->isHidden())
            continue;
        if (!selectedOnly || item->isSelected())
            lines << item->data(0, kLineRole).toString();
        for (int i = 0; i < item->childCount(); ++i) {
            const QTreeWidgetItem* row = item->child(i);
            if (!row->isHidden() && (!selectedOnly || row->isSelected() || item->isSelected()))
                lines << row->data(0, kLineRole).toString();
        }
    }
    return lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void TExchangeMonitorForm::CopyClick()
{
    const QString text = ShownText(true);
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void TExchangeMonitorForm::SaveClick()
{
    const QString suggested = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/обмен-") +
                              QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmm")) + QStringLiteral(".txt");
    const QString name =
        QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить журнал обмена"), suggested, QStringLiteral("Текст (*.txt)"));
    if (name.isEmpty())
        return;
    QString error;
    if (!SaveFileAtomically(name, ShownText(false).toUtf8(), false, error))
        ErrorDlg(this, error);
}
