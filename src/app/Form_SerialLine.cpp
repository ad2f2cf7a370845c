#include "app/Form_SerialLine.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "app/PortComboBox.h"
#include "device/DeviceOperation.h"
#include "module/GprsBlock.h"
#include "module/ModuleFile.h"
#include "ui/Mydialogs.h"

namespace {

const QString kPassedColour = QStringLiteral("#c6efce");
const QString kFailedColour = QStringLiteral("#ffc7ce");
const QString kWorkingColour = QStringLiteral("#ffeb9c");

}  // namespace

TSerialLineForm::TSerialLineForm(QWidget* owner)
    : QWidget(owner, Qt::Window), FCounter(std::make_unique<TSerialCounter>(DefaultSerialCounterFile()))
{
    setProperty(OnlookerWindowProperty, true);
    setWindowTitle(QStringLiteral("Серийная настройка"));

    auto* templateBox = new QGroupBox(QStringLiteral("Шаблон"));
    FTemplateName = new QLineEdit;
    FTemplateName->setReadOnly(true);
    FTemplateButton = new QPushButton(QStringLiteral("Выбрать…"));
    FSettings = new QCheckBox(QStringLiteral("настройки"));
    FKeys = new QCheckBox(QStringLiteral("ключи"));
    FGprs = new QCheckBox(QStringLiteral("GPRS"));
    auto* templateRow = new QHBoxLayout;
    templateRow->addWidget(FTemplateName, 1);
    templateRow->addWidget(FTemplateButton);
    auto* partsRow = new QHBoxLayout;
    partsRow->addWidget(new QLabel(QStringLiteral("Записывать:")));
    for (QCheckBox* part : {FSettings, FKeys, FGprs}) {
        part->setEnabled(false);
        partsRow->addWidget(part);
    }
    partsRow->addStretch();
    auto* templateLayout = new QVBoxLayout(templateBox);
    templateLayout->addLayout(templateRow);
    templateLayout->addLayout(partsRow);

    auto* serialBox = new QGroupBox(QStringLiteral("Серийные номера"));
    FAssign = new QCheckBox(QStringLiteral("Давать каждому модулю следующий «Серийный номер устройства»"));
    FFirst = new QSpinBox;
    FFirst->setRange(0, int(LargestGprsSerial));
    FNext = new QLabel;
    auto* serialRow = new QHBoxLayout;
    serialRow->addWidget(new QLabel(QStringLiteral("Первый номер:")));
    serialRow->addWidget(FFirst);
    serialRow->addWidget(FNext, 1);
    auto* serialLayout = new QVBoxLayout(serialBox);
    serialLayout->addWidget(FAssign);
    serialLayout->addLayout(serialRow);

    auto* portBox = new QGroupBox(QStringLiteral("Порты (до %1)").arg(MaxPorts));
    FPorts = new QListWidget;
    FPortPath = new QLineEdit;
    FPortPath->setPlaceholderText(QStringLiteral("/dev/ttyUSB0"));
    auto* addPort = new QPushButton(QStringLiteral("Добавить"));
    auto* refresh = new QPushButton(QStringLiteral("Обновить список"));
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(FPortPath, 1);
    portRow->addWidget(addPort);
    portRow->addWidget(refresh);
    auto* portLayout = new QVBoxLayout(portBox);
    portLayout->addWidget(FPorts);
    portLayout->addLayout(portRow);

    FReport = new QLineEdit(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                            QStringLiteral("/serial-report.csv"));
    auto* reportRow = new QFormLayout;
    reportRow->addRow(QStringLiteral("Отчёт (CSV):"), FReport);

    FStart = new QPushButton(QStringLiteral("Начать"));
    FCounts = new QLabel;
    auto* startRow = new QHBoxLayout;
    startRow->addWidget(FCounts, 1);
    startRow->addWidget(FStart);

    FTileArea = new QWidget;
    new QGridLayout(FTileArea);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(templateBox);
    layout->addWidget(serialBox);
    layout->addWidget(portBox);
    layout->addLayout(reportRow);
    layout->addLayout(startRow);
    layout->addWidget(FTileArea, 1);

    FAssign->setObjectName(QStringLiteral("cbAssign"));
    FFirst->setObjectName(QStringLiteral("seFirst"));
    FStart->setObjectName(QStringLiteral("btStart"));
    connect(FTemplateButton, &QPushButton::clicked, this, &TSerialLineForm::ChooseTemplateClick);
    connect(FStart, &QPushButton::clicked, this, &TSerialLineForm::StartStopClick);
    connect(refresh, &QPushButton::clicked, this, &TSerialLineForm::FillPorts);
    connect(addPort, &QPushButton::clicked, this, [this] {
        if (!FPortPath->text().trimmed().isEmpty())
            AddPort(FPortPath->text().trimmed());
        FPortPath->clear();
    });
    connect(FAssign, &QCheckBox::toggled, FFirst, &QWidget::setEnabled);

    QString error;
    if (!FCounter->Load(error))
        FNext->setText(error);
    else
        FNext->setText(QStringLiteral("следующий: %1").arg(GprsSerialText(FCounter->Next())));
    FFirst->setValue(int(FCounter->First()));
    FFirst->setEnabled(false);
    FillPorts();
    ShowCounts();
    resize(560, 640);
}

TSerialLineForm::~TSerialLineForm()
{
    FLine.reset();  // its workers tell this window: they end first
}

bool TSerialLineForm::SetTemplate(const QString& fileName)
{
    TModuleCopy copy;
    TModuleFileInfo info;
    QString error;
    if (!LoadModuleFile(fileName, copy, info, error)) {
        ErrorDlg(this, error);
        return false;
    }
    FTemplate = copy;
    FTemplateName->setText(QDir::toNativeSeparators(fileName));
    const std::pair<QCheckBox*, bool> parts[] = {
        {FSettings, bool(copy.Settings)}, {FKeys, bool(copy.Keys)}, {FGprs, bool(copy.Gprs)}};
    for (const auto& [box, held] : parts) {
        box->setEnabled(held);
        box->setChecked(held);
    }
    return true;
}

void TSerialLineForm::AddPort(const QString& port)
{
    QList<QListWidgetItem*> found = FPorts->findItems(port, Qt::MatchExactly);
    QListWidgetItem* item = found.isEmpty() ? new QListWidgetItem(port, FPorts) : found.first();
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
}

void TSerialLineForm::SetReportFile(const QString& fileName)
{
    FReport->setText(fileName);
}

void TSerialLineForm::FillPorts()
{
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString port = PortLocation(info);
        if (FPorts->findItems(port, Qt::MatchExactly).isEmpty()) {
            auto* item = new QListWidgetItem(port, FPorts);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            if (!info.serialNumber().isEmpty())
                item->setToolTip(QStringLiteral("S/N %1").arg(info.serialNumber()));
        }
    }
}

void TSerialLineForm::ChooseTemplateClick()
{
    const QString name = QFileDialog::getOpenFileName(this, windowTitle(), QString(),
                                                      QStringLiteral("Копии модуля (*%1)").arg(ModuleFileSuffix));
    if (!name.isEmpty())
        SetTemplate(name);
}

void TSerialLineForm::StartStopClick()
{
    if (Running())
        Stop();
    else
        Start();
}

bool TSerialLineForm::Start()
{
    QStringList ports;
    for (int i = 0; i < FPorts->count(); ++i) {
        if (FPorts->item(i)->checkState() == Qt::Checked)
            ports << FPorts->item(i)->text();
    }
    TLineOptions options;
    options.Template = FTemplate;
    if (!FSettings->isChecked())
        options.Template.Settings.reset();
    if (!FKeys->isChecked())
        options.Template.Keys.reset();
    if (!FGprs->isChecked())
        options.Template.Gprs.reset();
    QString problem;
    if (options.Template.IsEmpty() && !FAssign->isChecked())
        problem = QStringLiteral("Выберите шаблон и что из него записывать.");
    else if (ports.isEmpty())
        problem = QStringLiteral("Отметьте хотя бы один порт.");
    else if (ports.size() > MaxPorts)
        problem = QStringLiteral("Отметьте не больше %1 портов.").arg(MaxPorts);
    if (!problem.isEmpty()) {
        WarningDlg(this, problem);
        return false;
    }
    if (FAssign->isChecked()) {
        FCounter->StartAt(quint32(FFirst->value()));
        options.Counter = FCounter.get();
    }
    options.ReportFile = FReport->text().trimmed();
    options.AdapterSerial = PortAdapterSerial;
    options.Events = [this](const TLineEvent& event) {
        QMetaObject::invokeMethod(this, [this, event] { OnEvent(event); }, Qt::QueuedConnection);
    };

    auto* grid = static_cast<QGridLayout*>(FTileArea->layout());
    for (TTile& tile : FTiles)
        delete tile.Frame;
    FTiles.clear();
    for (const QString& port : ports) {
        TTile tile;
        tile.Frame = new QWidget;
        tile.Frame->setAutoFillBackground(true);
        tile.Frame->setObjectName(QStringLiteral("tile"));
        auto* title = new QLabel(QStringLiteral("<b>%1</b>").arg(port.toHtmlEscaped()));
        tile.State = new QLabel;
        tile.State->setWordWrap(true);
        tile.Progress = new QProgressBar;
        tile.Progress->setTextVisible(false);
        auto* tileLayout = new QVBoxLayout(tile.Frame);
        tileLayout->addWidget(title);
        tileLayout->addWidget(tile.State, 1);
        tileLayout->addWidget(tile.Progress);
        const int index = int(FTiles.size());
        grid->addWidget(tile.Frame, index / 2, index % 2);
        ShowTile(tile, QStringLiteral("Ожидание модуля"), QString());
        FTiles.insert(port, tile);
    }
    FPassed = FFailed = 0;
    ShowCounts();
    EnableSetup(false);
    FLine = std::make_unique<TProductionLine>(options);
    FLine->Start(ports);
    return true;
}

void TSerialLineForm::Stop()
{
    if (!FLine)
        return;
    FLine.reset();
    for (TTile& tile : FTiles) {
        if (tile.Progress->value() < tile.Progress->maximum())
            tile.Progress->reset();
    }
    EnableSetup(true);
}

void TSerialLineForm::EnableSetup(bool enabled)
{
    for (QWidget* widget : std::initializer_list<QWidget*>{FTemplateButton, FAssign, FPorts, FPortPath, FReport})
        widget->setEnabled(enabled);
    FFirst->setEnabled(enabled && FAssign->isChecked());
    const std::pair<QCheckBox*, bool> parts[] = {
        {FSettings, bool(FTemplate.Settings)}, {FKeys, bool(FTemplate.Keys)}, {FGprs, bool(FTemplate.Gprs)}};
    for (const auto& [box, held] : parts)
        box->setEnabled(enabled && held);
    FStart->setText(enabled ? QStringLiteral("Начать") : QStringLiteral("Остановить"));
}

void TSerialLineForm::ShowTile(TTile& tile, const QString& text, const QString& colour)
{
    tile.State->setText(text);
    tile.Frame->setStyleSheet(colour.isEmpty() ? QString()
                                               : QStringLiteral("QWidget#tile { background: %1; }").arg(colour));
}

void TSerialLineForm::ShowCounts()
{
    FCounts->setText(QStringLiteral("Успешно: %1    Ошибок: %2").arg(FPassed).arg(FFailed));
}

QString TSerialLineForm::TileText(const QString& port) const
{
    const auto tile = FTiles.find(port);
    return tile == FTiles.end() ? QString() : tile->State->text();
}

void TSerialLineForm::OnEvent(const TLineEvent& event)
{
    const auto found = FTiles.find(event.Port);
    if (found == FTiles.end() || !FLine)
        return;
    TTile& tile = *found;
    switch (event.Kind) {
    case TLineEvent::Waiting:
        tile.Progress->reset();
        ShowTile(tile, QStringLiteral("Ожидание модуля"), QString());
        break;
    case TLineEvent::Working:
        tile.Progress->setRange(0, event.Total);
        tile.Progress->setValue(event.Step);
        ShowTile(tile, QStringLiteral("Настройка: %1").arg(event.Text), kWorkingColour);
        break;
    case TLineEvent::Ended: {
        const TLineResult& result = event.Result;
        (result.Passed ? FPassed : FFailed)++;
        tile.Progress->setRange(0, 1);
        tile.Progress->setValue(result.Passed ? 1 : 0);
        QString text = result.Passed
                           ? QStringLiteral("Успешно ✓ Серийный номер %1").arg(result.SerialAfter)
                           : QStringLiteral("Ошибка ✗ %1").arg(result.Cause);
        if (!result.ReportProblem.isEmpty())
            text += QStringLiteral("\nСтрока отчёта не сохранена: ") + result.ReportProblem;
        ShowTile(tile, text, result.Passed ? kPassedColour : kFailedColour);
        QApplication::beep();
        ShowCounts();
        if (FAssign->isChecked())
            FNext->setText(QStringLiteral("следующий: %1").arg(GprsSerialText(FCounter->Next())));
        break;
    }
    case TLineEvent::Stopped:
        break;
    }
}

void TSerialLineForm::closeEvent(QCloseEvent* event)
{
    if (Running() && !ConfirmationDlg(this, QStringLiteral("Остановить серийную настройку?"))) {
        event->ignore();
        return;
    }
    Stop();
    event->accept();
}
