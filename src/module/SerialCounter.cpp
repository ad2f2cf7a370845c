#include "module/SerialCounter.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

#include "module/DiskFiles.h"
#include "module/GprsBlock.h"

namespace {

constexpr qint64 kCounterFileLimit = 64 * 1024;

bool ParseNumber(const QString& text, quint32& number)
{
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok);
    if (!ok || value > LargestGprsSerial + 1ull)
        return false;
    number = quint32(value);
    return true;
}

}  // namespace

TSerialCounter::TSerialCounter(QString fileName) : FFileName(std::move(fileName)) {}

bool TSerialCounter::Load(QString& error)
{
    if (!QFileInfo::exists(FFileName))
        return true;
    QByteArray bytes;
    if (!ReadFileBounded(FFileName, kCounterFileLimit, bytes, error))
        return false;
    quint32 first = 0, next = 0;
    std::set<quint32> free;
    bool haveFirst = false, haveNext = false, ok = true;
    for (const QString& line : QString::fromUtf8(bytes).split(QLatin1Char('\n'))) {
        QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        const QString key = words.takeFirst();
        std::set<quint32> numbers;
        for (const QString& word : words) {
            quint32 number = 0;
            ok = ok && ParseNumber(word, number);
            numbers.insert(number);
        }
        if (key == QLatin1String("first") && words.size() == 1)
            first = *numbers.begin(), haveFirst = true;
        else if (key == QLatin1String("next") && words.size() == 1)
            next = *numbers.begin(), haveNext = true;
        else if (key == QLatin1String("free"))
            free.insert(numbers.begin(), numbers.end());
        else
            ok = false;
    }
    if (!ok || !haveFirst || !haveNext || next < first || (!free.empty() && *free.rbegin() >= next)) {
        error = QStringLiteral("Файл счётчика серийных номеров «%1» повреждён.").arg(FFileName);
        return false;
    }
    FFirst = first;
    FNext = next;
    FFree = std::move(free);
    return true;
}

void TSerialCounter::State(quint32& unused, std::set<quint32>& free) const
{
    unused = FNext;
    free = FFree;
}

QString DefaultSerialCounterFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/serial-counter.txt");
}
