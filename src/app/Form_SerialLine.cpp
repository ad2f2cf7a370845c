#include "app/Form_SerialLine.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QSysInfo>
#include <QUrl>
#include <QVBoxLayout>

#include "app/PortComboBox.h"
#include "device/Appconfig.h"
#include "module/IniFile.h"
#include "operation/DeviceOperation.h"
#include "module/GprsBlock.h"
#include "module/ModuleFile.h"
#include "module/SerialCounter.h"
#include "ui/Mydialogs.h"
#include "ui_Form_SerialLine.h"

namespace {

const QString kPassedColour = QStringLiteral("#c6efce");
const QString kFailedColour = QStringLiteral("#ffc7ce");
const QString kWorkingColour = QStringLiteral("#ffeb9c");
// ZEM.cfg keeps the series last numbered, to take it up again the next time.
const QString kSection = QStringLiteral("SerialLine");
const QString kSeriesKey = QStringLiteral("Series");

QString ReservationText(const TSerialReservation& reservation)
{
    return QStringLiteral("%1 — серия %2, станция %3, порт %4, %5%6")
        .arg(GprsSerialText(reservation.Number), GprsSerialText(reservation.Series), reservation.Station,
             reservation.Port, reservation.Time.toString(QStringLiteral("yyyy-MM-dd HH:mm")),
             reservation.ProcessGone ? QStringLiteral(" (программа завершилась)") : QString());
}

// A number a program on this station still holds is a running line's: not the operator's to
// release. Another station's programs cannot be seen from here.
bool LeftBehind(const TSerialReservation& reservation)
{
    return reservation.ProcessGone || reservation.Station != QSysInfo::machineHostName();
}

}  // namespace

TSerialLineForm::TSerialLineForm(TExchangeRecorder& recorder, QWidget* owner)
    : QWidget(owner, Qt::Window), ui(new Ui::TSerialLineForm), FRecorder(recorder)
{
    ui->setupUi(this);
    setProperty(OnlookerWindowProperty, true);
    ui->gbPorts->setTitle(QStringLiteral("Порты (до %1)").arg(MaxPorts));
    ui->edPortPath->setPlaceholderText(ExamplePortLocation());
    ui->seFirst->setRange(1, int(LargestGprsSerial));
    ui->edReport->setText(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                          QStringLiteral("/serial-report.csv"));

    connect(ui->btTemplate, &QPushButton::clicked, this, &TSerialLineForm::ChooseTemplateClick);
    connect(ui->btStart, &QPushButton::clicked, this, &TSerialLineForm::StartStopClick);
    connect(ui->btRefresh, &QPushButton::clicked, this, &TSerialLineForm::FillPorts);
    connect(ui->btAddPort, &QPushButton::clicked, this, [this] {
        if (!ui->edPortPath->text().trimmed().isEmpty())
            AddPort(ui->edPortPath->text().trimmed());
        ui->edPortPath->clear();
    });
    connect(ui->cbAssign, &QCheckBox::toggled, ui->seFirst, &QWidget::setEnabled);
    connect(ui->btRelease, &QPushButton::clicked, this, &TSerialLineForm::ReleaseClick);
    connect(ui->lwReservations, &QListWidget::currentRowChanged, this,
            [this](int row) { ui->btRelease->setEnabled(row >= 0 && !Running()); });

    if (!ConfigFileName().isEmpty())
        ui->seFirst->setValue(TIniFile(ConfigFileName()).ReadInteger(kSection, kSeriesKey, 1));
    FillPorts();
    ShowCounts();
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
    ui->edTemplate->setText(QDir::toNativeSeparators(fileName));
    const std::pair<QCheckBox*, bool> parts[] = {
        {ui->cbSettings, bool(copy.Settings)}, {ui->cbKeys, bool(copy.Keys)}, {ui->cbGprs, bool(copy.Gprs)}};
    for (const auto& [box, held] : parts) {
        box->setEnabled(held);
        box->setChecked(held);
    }
    return true;
}

void TSerialLineForm::AddPort(const QString& port)
{
    QList<QListWidgetItem*> found = ui->lwPorts->findItems(port, Qt::MatchExactly);
    QListWidgetItem* item = found.isEmpty() ? new QListWidgetItem(port, ui->lwPorts) : found.first();
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
}

void TSerialLineForm::SetReportFile(const QString& fileName)
{
    ui->edReport->setText(fileName);
}

void TSerialLineForm::SetCatalogue(const QString& url)
{
    if (url == FCatalogueUrl)
        return;
    FCatalogueUrl = url;
    FCatalogue.reset();
    // What it is until it opens and describes itself; a password or options given in a server's
    // address are not shown.
    QUrl server(url);
    server.setPassword(QString());
    server.setQuery(QString());
    ui->laCatalogue->setText(QStringLiteral("Каталог модулей: «%1»")
                                 .arg(TCatalogue::IsServerUrl(url) ? server.toString() : QDir::toNativeSeparators(url)));
    if (isVisible())
        RefreshReservations();
}

TCatalogue* TSerialLineForm::Catalogue(QString& error)
{
    if (!FCatalogue) {
        auto catalogue = std::make_unique<TCatalogue>();
        // Reservations are the server's: no offline copy of them to show.
        if (!catalogue->Open(FCatalogueUrl, error))
            return nullptr;
        ui->laCatalogue->setText(catalogue->Description());
        FCatalogue = std::move(catalogue);
    }
    return FCatalogue.get();
}

void TSerialLineForm::RefreshReservations()
{
    QString error;
    TCatalogue* catalogue = Catalogue(error);
    FReservations.clear();
    if (catalogue) {
        for (const TSerialReservation& reservation : catalogue->Reservations(error)) {
            if (LeftBehind(reservation))
                FReservations << reservation;
        }
    }
    ui->lwReservations->clear();
    for (const TSerialReservation& reservation : FReservations)
        ui->lwReservations->addItem(ReservationText(reservation));
    if (!error.isEmpty())
        ui->laReservations->setText(QStringLiteral("Каталог модулей недоступен: ") + error);
    else if (FReservations.isEmpty())
        ui->laReservations->setText(QStringLiteral("Зарезервированных номеров нет."));
    else
        ui->laReservations->setText(QStringLiteral("Зарезервированы, но не выданы:"));
    ui->lwReservations->setVisible(!FReservations.isEmpty());
    ui->btRelease->setVisible(!FReservations.isEmpty());
    ui->btRelease->setEnabled(false);
}

void TSerialLineForm::ReleaseClick()
{
    const int row = ui->lwReservations->currentRow();
    if (row < 0 || row >= FReservations.size() || Running())
        return;
    const TSerialReservation reservation = FReservations[row];
    const QString number = GprsSerialText(reservation.Number);
    if (!ConfirmationDlg(this, QStringLiteral("Освободить номер %1? Его зарезервировал порт %2 на станции %3 (%4). "
                                              "Если модуль уже получил этот номер, его получит и следующий модуль.")
                                   .arg(number, reservation.Port, reservation.Station,
                                        reservation.Time.toString(QStringLiteral("yyyy-MM-dd HH:mm")))))
        return;
    QString error;
    TCatalogue* catalogue = Catalogue(error);
    if (!catalogue || !catalogue->Release(reservation.Number, error))
        ErrorDlg(this, QStringLiteral("Номер %1 не освобождён: %2").arg(number, error));
    RefreshReservations();
}

void TSerialLineForm::FillPorts()
{
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString port = PortLocation(info);
        if (ui->lwPorts->findItems(port, Qt::MatchExactly).isEmpty()) {
            auto* item = new QListWidgetItem(port, ui->lwPorts);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            if (!info.serialNumber().isEmpty())
                item->setToolTip(QStringLiteral("S/N %1").arg(info.serialNumber()));
        }
    }
}

void TSerialLineForm::ChooseTemplateClick()
{
    const QString name = QFileDialog::getOpenFileName(this, QStringLiteral("Копия модуля для серийной настройки"), QString(),
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
    for (int i = 0; i < ui->lwPorts->count(); ++i) {
        if (ui->lwPorts->item(i)->checkState() == Qt::Checked)
            ports << ui->lwPorts->item(i)->text();
    }
    TLineOptions options;
    options.Recorder = &FRecorder;
    options.Template = FTemplate;
    if (!ui->cbSettings->isChecked())
        options.Template.Settings.reset();
    if (!ui->cbKeys->isChecked())
        options.Template.Keys.reset();
    if (!ui->cbGprs->isChecked())
        options.Template.Gprs.reset();
    QString problem;
    if (options.Template.IsEmpty() && !ui->cbAssign->isChecked())
        problem = QStringLiteral("Выберите шаблон и что из него записывать.");
    else if (ports.isEmpty())
        problem = QStringLiteral("Отметьте хотя бы один порт.");
    else if (ports.size() > MaxPorts)
        problem = QStringLiteral("Отметьте не больше %1 портов.").arg(MaxPorts);
    else
        problem = TProductionLine::PortsProblem(ports);
    if (!problem.isEmpty()) {
        WarningDlg(this, problem);
        return false;
    }
    options.Catalogue = FCatalogueUrl;
    options.OldCounterFile = DefaultSerialCounterFile();
    if (ui->cbAssign->isChecked())
        options.SerialFrom = quint32(ui->seFirst->value());
    options.ReportFile = ui->edReport->text().trimmed();
    options.AdapterSerial = PortAdapterSerial;
    options.Events = [this](const TLineEvent& event) {
        QMetaObject::invokeMethod(this, [this, event] { OnEvent(event); }, Qt::QueuedConnection);
    };

    auto line = std::make_unique<TProductionLine>(options);
    // The line opens its own; the window's opens again when the reserved numbers are read next.
    FCatalogue.reset();
    if (!line->Start(ports, problem)) {
        WarningDlg(this, problem);
        return false;
    }
    if (options.SerialFrom != 0 && !ConfigFileName().isEmpty())
        TIniFile(ConfigFileName()).WriteInteger(kSection, kSeriesKey, int(options.SerialFrom));

    QGridLayout* grid = ui->loTiles;
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
    FPortsRunning = int(ports.size());
    ShowCounts();
    EnableSetup(false);
    FLine = std::move(line);
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
    RefreshReservations();
}

void TSerialLineForm::EnableSetup(bool enabled)
{
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->btTemplate, ui->cbAssign, ui->lwPorts, ui->edPortPath,
                                                           ui->btAddPort, ui->btRefresh, ui->edReport,
                                                           ui->lwReservations})
        widget->setEnabled(enabled);
    ui->btRelease->setEnabled(enabled && ui->lwReservations->currentRow() >= 0);
    ui->seFirst->setEnabled(enabled && ui->cbAssign->isChecked());
    const std::pair<QCheckBox*, bool> parts[] = {
        {ui->cbSettings, bool(FTemplate.Settings)}, {ui->cbKeys, bool(FTemplate.Keys)}, {ui->cbGprs, bool(FTemplate.Gprs)}};
    for (const auto& [box, held] : parts)
        box->setEnabled(enabled && held);
    ui->btStart->setText(enabled ? QStringLiteral("Начать") : QStringLiteral("Остановить"));
}

void TSerialLineForm::ShowTile(TTile& tile, const QString& text, const QString& colour)
{
    tile.State->setText(text);
    tile.Frame->setStyleSheet(colour.isEmpty() ? QString()
                                               : QStringLiteral("QWidget#tile { background: %1; }").arg(colour));
}

void TSerialLineForm::ShowCounts()
{
    ui->laCounts->setText(QStringLiteral("Успешно: %1    Ошибок: %2").arg(FPassed).arg(FFailed));
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
        // A failure stays in sight, red, until the next module answers.
        if (tile.Failed) {
            ShowTile(tile, tile.Ended + QStringLiteral("\nОжидание модуля"), kFailedColour);
            break;
        }
        tile.Ended.clear();
        ShowTile(tile, QStringLiteral("Ожидание модуля"), QString());
        break;
    case TLineEvent::Working:
        tile.Ended.clear();
        tile.Failed = false;
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
                           ? QStringLiteral("Успешно ✓ Серийный номер %1").arg(ShownGprsSerial(result.SerialAfter))
                           : QStringLiteral("Ошибка ✗ %1").arg(result.Cause);
        if (!result.ReportProblem.isEmpty())
            text += QStringLiteral("\nСтрока отчёта не сохранена: ") + result.ReportProblem;
        ShowTile(tile, text, result.Passed ? kPassedColour : kFailedColour);
        tile.Ended = text;
        tile.Failed = !result.Passed;
        QApplication::beep();
        ShowCounts();
        break;
    }
    case TLineEvent::Stopped:
        if (!event.Text.isEmpty()) {
            // The last module's result stays on the tile above the reason the port ended.
            ShowTile(tile, (tile.Ended.isEmpty() ? QString() : tile.Ended + QLatin1Char('\n')) +
                               QStringLiteral("Порт остановлен: ") + event.Text,
                     kFailedColour);
        }
        // Every port ended on its own: the line is over.
        if (--FPortsRunning == 0)
            Stop();
        break;
    }
}

void TSerialLineForm::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!Running())
        RefreshReservations();
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
