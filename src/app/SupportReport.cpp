#include "app/SupportReport.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>
#include <QSysInfo>

#include "app/PortComboBox.h"

namespace {

// What the system lists for the port (also when it was typed as a link to the device).
QStringList PortFacts(const QString& port)
{
    const QString device = QFileInfo(port).canonicalFilePath();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (PortLocation(info) != port && (device.isEmpty() || info.systemLocation() != device))
            continue;
        QStringList facts;
        const std::pair<const char*, QString> known[] = {
            {"Адаптер", info.description()},
            {"Изготовитель", info.manufacturer()},
            {"Серийный номер", info.serialNumber()},
            {"VID:PID", info.hasVendorIdentifier() ? QStringLiteral("%1:%2")
                                                         .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                                                         .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'))
                                                   : QString()},
        };
        for (const auto& [caption, value] : known)
            if (!value.isEmpty())
                facts << QStringLiteral("  %1: %2").arg(QString::fromUtf8(caption), value);
        return facts.isEmpty() ? QStringList{QStringLiteral("  система ничего не сообщает о порте")} : facts;
    }
    return {QStringLiteral("  порт не найден среди последовательных портов системы")};
}

}  // namespace

QString SupportReport(const QString& port, const std::vector<TOperationRecord>& operations)
{
    QStringList lines;
    lines << QStringLiteral("Отчёт ZEM %1 для поддержки, %2")
                 .arg(QStringLiteral(ZEM_VERSION), QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    lines << QStringLiteral("Система: %1 (%2, ядро %3), Qt %4")
                 .arg(QSysInfo::prettyProductName(), QSysInfo::currentCpuArchitecture(), QSysInfo::kernelVersion(),
                      QString::fromLatin1(qVersion()));
    lines << QStringLiteral("Порт: %1").arg(port.isEmpty() ? QStringLiteral("не выбран") : port);
    if (!port.isEmpty())
        lines << PortFacts(port);
    lines << QString() << QStringLiteral("Последние операции: %1").arg(operations.size());
    for (const TOperationRecord& operation : operations)
        lines << QString() << QString::fromStdString(OperationText(operation)).trimmed();
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
