#include "module/KeyCsv.h"

#include <QHash>
#include <QStringDecoder>

#include <cstring>

#include "keys/Ow_keyutils.h"
#include "module/TextValues.h"
#include "module/TypedKey.h"
#include "util/Cp1251.h"

namespace {

const QString kSerialHeader = QStringLiteral("Серийный номер");
const QStringList kHeader{kSerialHeader, QStringLiteral("Код ключа"), QStringLiteral("Параметр"),
                          QStringLiteral("Комментарий")};

QString Quoted(const QString& cell)
{
    if (!cell.contains(QLatin1Char(';')) && !cell.contains(QLatin1Char('"')) && !cell.contains(QLatin1Char('\n')) &&
        !cell.contains(QLatin1Char('\r')))
        return cell;
    QString text = cell;
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// A byte-order mark or valid UTF-8 is UTF-8; anything else is what spreadsheets save on Russian
// Windows, Windows-1251.
QString DecodedText(const QByteArray& bytes)
{
    const QByteArray bom("\xEF\xBB\xBF");
    if (bytes.startsWith(bom))
        return QString::fromUtf8(bytes.mid(bom.size()));
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromStdString(Cp1251ToUtf8(bytes.toStdString()));
}

// The file's rows and their cells; a quoted cell may hold separators, quotes and line breaks. A
// quote opens a quoted cell only at the cell's start; anywhere else it is text. A quote left open
// would take the rest of the file into one cell: the row it opened in is `unclosedRow` (else -1).
QList<QStringList> SplitRows(const QString& text, QChar separator, int& unclosedRow)
{
    QList<QStringList> rows;
    QStringList row;
    QString cell;
    bool quoted = false;
    bool cellStarted = false;
    unclosedRow = -1;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                cell += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == QLatin1Char('"') && !cellStarted) {
            quoted = true;
            cellStarted = true;
        } else if (c == separator) {
            row << cell;
            cell.clear();
            cellStarted = false;
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            rows << (row << cell);
            row.clear();
            cell.clear();
            cellStarted = false;
        } else {
            cell += c;
            cellStarted = true;
        }
    }
    if (quoted)
        unclosedRow = int(rows.size());
    if (!cell.isEmpty() || !row.isEmpty() || quoted)
        rows << (row << cell);
    return rows;
}

// The key's code in display order from its serial or its code cell (or both, which must agree).
bool RowKey(const QString& serialCell, const QString& codeCell, uint8_t key[KeyCodeSize], QString& error)
{
    const QString serial = serialCell.trimmed();
    const QString code = codeCell.trimmed();
    if (serial.isEmpty() && code.isEmpty()) {
        error = QStringLiteral("нет ни серийного номера, ни кода ключа");
        return false;
    }
    uint8_t bySerial[KeyCodeSize];
    if (!serial.isEmpty() && !CheckTypedKey(serial, false, bySerial, error))
        return false;
    if (!code.isEmpty() && !CheckTypedKey(code, true, key, error))
        return false;
    if (code.isEmpty()) {
        std::memcpy(key, bySerial, KeyCodeSize);
    } else if (!serial.isEmpty() && std::memcmp(key + 1, bySerial + 1, 6) != 0) {
        error = QStringLiteral("серийный номер не совпадает с кодом ключа");
        return false;
    }
    return true;
}

}  // namespace

QByteArray KeysToCsv(const TKeyTable& table, const QStringList& comments, const QStringList& paramNames)
{
    QStringList lines{kHeader.join(QLatin1Char(';'))};
    int stored = 0;
    for (const TKeyRecord& record : StoredKeys(table)) {
        const int64_t serial = KeyRecordSerial(record);
        const QString param = record.Param < paramNames.size() ? paramNames[record.Param] : QString::number(record.Param);
        lines << QStringList{QString::number(serial), QString::fromStdString(KeyCodeText(serial, true)), Quoted(param),
                             Quoted(comments.value(stored++))}
                     .join(QLatin1Char(';'));
    }
    return QByteArray("\xEF\xBB\xBF") + lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n";
}

bool KeysFromCsv(const QByteArray& bytes, const QStringList& paramNames, TKeyTable& table, QStringList& comments,
                 QStringList& errors)
{
    const QString text = DecodedText(bytes);
    const QString firstLine = text.section(QLatin1Char('\n'), 0, 0);
    const QChar separator = firstLine.contains(QLatin1Char(';')) || !firstLine.contains(QLatin1Char(','))
                                ? QLatin1Char(';')
                                : QLatin1Char(',');
    int unclosedRow = -1;
    const QList<QStringList> rows = SplitRows(text, separator, unclosedRow);

    TKeyTable read;
    read.fill(EmptyKeySlot);
    QStringList readComments;
    QHash<int64_t, int> rowOfSerial;
    errors.clear();
    for (int i = 0; i < rows.size(); ++i) {
        const QStringList& cells = rows[i];
        const int line = i + 1;
        auto refuse = [&](const QString& why) {
            errors << QStringLiteral("Строка %1: %2").arg(line).arg(why) + (why.endsWith(QLatin1Char('!')) ? "" : ".");
        };
        if (i == unclosedRow) {
            refuse(QStringLiteral("незакрытая кавычка"));
            continue;
        }
        if (i == 0 && cells.value(0).trimmed().compare(kSerialHeader, Qt::CaseInsensitive) == 0)
            continue;
        if (cells.join(QString()).trimmed().isEmpty())
            continue;
        uint8_t key[KeyCodeSize];
        QString error;
        if (!RowKey(cells.value(0), cells.value(1), key, error)) {
            refuse(error);
            continue;
        }
        ReverseKeyCode(key);  // ROM order: family, serial least significant first, CRC
        TKeyRecord record;
        std::memcpy(record.Serial, key + 1, sizeof record.Serial);
        const int64_t serial = KeyRecordSerial(record);
        if (record.Serial[0] == EmptyKeySlot) {
            refuse(QStringLiteral("ключ с младшим байтом серийного номера FF не может быть записан в модуль"));
            continue;
        }
        if (rowOfSerial.contains(serial)) {
            refuse(QStringLiteral("ключ уже есть в строке %1").arg(rowOfSerial.value(serial)));
            continue;
        }
        const QString param = cells.value(2).trimmed();
        bool number = false;
        const int value = param.toInt(&number);
        int index = -1;
        for (int n = 0; n < paramNames.size() && index < 0; ++n) {
            if (paramNames[n].compare(param, Qt::CaseInsensitive) == 0)
                index = n;
        }
        if (param.isEmpty())
            index = NewKeyParam;
        else if (index < 0 && number && value >= 0 && value <= 255)
            index = value;
        if (index < 0) {
            refuse(QStringLiteral("неизвестный параметр «%1»").arg(ClippedText(param)));
            continue;
        }
        rowOfSerial.insert(serial, line);
        const int slot = rowOfSerial.size() - 1;
        if (slot >= KeySlotCount) {
            refuse(QStringLiteral("в модуле помещается не более %1 ключей").arg(KeySlotCount));
            continue;
        }
        // Stored as the page stores a key: family 0x01 and its CRC, whatever family was typed.
        const TKeyRecord stored = MakeKeyRecord(serial, uint8_t(index));
        std::memcpy(read.data() + KeySlotSize * slot, &stored, sizeof stored);
        readComments << cells.value(3);
    }
    if (errors.isEmpty() && rowOfSerial.isEmpty())
        errors << QStringLiteral("В файле нет ни одного ключа.");
    if (!errors.isEmpty())
        return false;
    table = read;
    comments = readComments;
    return true;
}
