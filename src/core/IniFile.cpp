#include "IniFile.h"

#include <QFile>
#include <QSaveFile>

#include <string>

#include "Cp1251.h"

namespace {

// Files larger than this are not configuration files; they read as empty rather than stall.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

bool IsSectionLine(const QString& trimmed) { return trimmed.startsWith(QLatin1Char('[')); }

QString SectionName(const QString& trimmed)
{
    const int close = trimmed.indexOf(QLatin1Char(']'));
    return (close < 0 ? trimmed.mid(1) : trimmed.mid(1, close - 1)).trimmed();
}

bool IsComment(const QString& trimmed) { return trimmed.startsWith(QLatin1Char(';')); }

// Splits "key=value" into its trimmed halves; false for lines that hold no key.
bool SplitKey(const QString& trimmed, QString& key, QString& value)
{
    if (trimmed.isEmpty() || IsComment(trimmed) || IsSectionLine(trimmed))
        return false;
    const int eq = trimmed.indexOf(QLatin1Char('='));
    key = (eq < 0 ? trimmed : trimmed.left(eq)).trimmed();
    value = eq < 0 ? QString() : trimmed.mid(eq + 1).trimmed();
    return !key.isEmpty();
}

// A value in one pair of matching quotes reads without them, as Windows reads such files.
QString Unquoted(const QString& value)
{
    if (value.size() >= 2 && value.front() == value.back() &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
        return value.mid(1, value.size() - 2);
    return value;
}

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// The line range [begin, end) of the first section with that name; begin is its header line.
bool FindSection(const QStringList& lines, const QString& section, int& begin, int& end)
{
    for (int i = 0; i < lines.size(); ++i) {
        const QString t = lines[i].trimmed();
        if (IsSectionLine(t) && SameName(SectionName(t), section)) {
            begin = i;
            end = i + 1;
            while (end < lines.size() && !IsSectionLine(lines[end].trimmed()))
                ++end;
            return true;
        }
    }
    return false;
}

int FindKey(const QStringList& lines, int begin, int end, const QString& key)
{
    for (int i = begin + 1; i < end; ++i) {
        QString k, v;
        if (SplitKey(lines[i].trimmed(), k, v) && SameName(k, key))
            return i;
    }
    return -1;
}

// The line of the key within the first section of that name, or -1.
int FindEntry(const QStringList& lines, const QString& section, const QString& key)
{
    int begin, end;
    return FindSection(lines, section, begin, end) ? FindKey(lines, begin, end, key) : -1;
}

bool UsableName(const QString& name)
{
    if (name.trimmed().isEmpty())
        return false;
    for (QChar c : name) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char('[') ||
            c == QLatin1Char(']') || c == QLatin1Char('='))
            return false;
    }
    return true;
}

}  // namespace

TIniFile::TIniFile(const QString& fileName) : FFileName(fileName) {}

bool TIniFile::CanStore(const QString& text)
{
    std::string bytes;
    return Utf8ToCp1251(text.toStdString(), bytes);
}

QStringList TIniFile::LoadLines() const
{
    QStringList lines;
    LoadLines(lines);
    return lines;
}

bool TIniFile::LoadLines(QStringList& lines) const
{
    lines.clear();
    QFile file(FFileName);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return false;
    const QByteArray raw = file.read(kMaxFileSize);
    const QString text = QString::fromStdString(Cp1251ToUtf8(raw.toStdString()));
    lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return true;
}

bool TIniFile::SaveLines(const QStringList& lines) const
{
    std::string bytes;
    for (const QString& line : lines) {
        std::string encoded;
        if (!Utf8ToCp1251(line.toStdString(), encoded))
            return false;
        bytes += encoded;
        bytes += "\r\n";
    }
    // Temporary file, flush, rename: a crash or a full disk never leaves half a file.
    QSaveFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QStringList lines = LoadLines();
    const int at = FindEntry(lines, section, key);
    if (at < 0)
        return defaultValue;
    QString k, v;
    SplitKey(lines[at].trimmed(), k, v);
    return Unquoted(v);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const
{
    bool ok = false;
    const int value = ReadString(section, key, QString()).toInt(&ok);
    return ok ? value : defaultValue;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    if (!UsableName(section) || !UsableName(key) || value.contains(QLatin1Char('\n')) ||
        value.contains(QLatin1Char('\r')) || !CanStore(section) || !CanStore(key) || !CanStore(value))
        return false;
    QStringList lines;
    if (!LoadLines(lines))
        return false;
    const QString entry = key.trimmed() + QLatin1Char('=') + value.trimmed();
    int begin, end;
    if (!FindSection(lines, section, begin, end)) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines << QString();
        lines << QLatin1Char('[') + section.trimmed() + QLatin1Char(']') << entry;
        return SaveLines(lines);
    }
    const int at = FindKey(lines, begin, end, key);
    if (at >= 0) {
        QString existingKey, oldValue;
        SplitKey(lines[at].trimmed(), existingKey, oldValue);
        lines[at] = existingKey + QLatin1Char('=') + value.trimmed();  // the file keeps its spelling
    } else {
        int insertAt = end;  // after the section's last non-blank line
        while (insertAt - 1 > begin && lines[insertAt - 1].trimmed().isEmpty())
            --insertAt;
        lines.insert(insertAt, entry);
    }
    return SaveLines(lines);
}

bool TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    return WriteString(section, key, QString::number(value));
}

bool TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    return WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QStringList TIniFile::ReadSections() const
{
    QStringList sections;
    for (const QString& line : LoadLines()) {
        const QString t = line.trimmed();
        if (!IsSectionLine(t))
            continue;
        const QString name = SectionName(t);
        bool seen = false;
        for (const QString& s : sections)
            seen = seen || SameName(s, name);
        if (!seen)
            sections << name;
    }
    return sections;
}

QStringList TIniFile::ReadSection(const QString& section) const
{
    const QStringList lines = LoadLines();
    QStringList keys;
    int begin, end;
    if (!FindSection(lines, section, begin, end))
        return keys;
    for (int i = begin + 1; i < end; ++i) {
        QString k, v;
        if (SplitKey(lines[i].trimmed(), k, v))
            keys << k;
    }
    return keys;
}

bool TIniFile::SectionExists(const QString& section) const
{
    int begin, end;
    return FindSection(LoadLines(), section, begin, end);
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    const QStringList lines = LoadLines();
    return FindEntry(lines, section, key) >= 0;
}

bool TIniFile::EraseSection(const QString& section)
{
    QStringList lines;
    if (!LoadLines(lines))
        return false;
    int begin, end;
    if (!FindSection(lines, section, begin, end))
        return true;
    while (end - begin > 0) {
        lines.removeAt(begin);
        --end;
    }
    return SaveLines(lines);
}

bool TIniFile::DeleteKey(const QString& section, const QString& key)
{
    QStringList lines;
    if (!LoadLines(lines))
        return false;
    const int at = FindEntry(lines, section, key);
    if (at < 0)
        return true;
    lines.removeAt(at);
    return SaveLines(lines);
}
