#include "module/IniFile.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <string>
#include <vector>

#include "module/DiskFiles.h"
#include "util/Cp1251.h"

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");
const QByteArray kUtf16LeBom("\xFF\xFE");

enum class Encoding { Cp1251, Utf8, Utf16Le };

struct Content {
    QStringList lines;
    Encoding encoding = Encoding::Cp1251;
};

// Ctrl-Z is what old editors left at the end of a text file; Windows skips it like a blank.
bool IsBlank(QChar c) { return c.isSpace() || c == QChar(0x1A); }

QString Trimmed(const QString& text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// A header's name runs to the last ']' of the line, so "[A] note" is "A" and "[D]]" is "D]".
// Without a ']' the line is no header at all.
bool HeaderName(const QString& trimmed, QString& name)
{
    if (!trimmed.startsWith(QLatin1Char('[')))
        return false;
    const int close = trimmed.lastIndexOf(QLatin1Char(']'));
    if (close < 1)
        return false;
    name = Trimmed(trimmed.mid(1, close - 1));
    return true;
}

bool IsComment(const QString& trimmed) { return trimmed.startsWith(QLatin1Char(';')); }

// Splits "key=value" into its trimmed halves; false for lines that hold no key, which is any line
// without '='. The key may be empty ("=value"): such a line reads, but is never listed.
bool SplitKey(const QString& line, QString& key, QString& value)
{
    const QString trimmed = Trimmed(line);
    QString header;
    if (IsComment(trimmed) || HeaderName(trimmed, header))
        return false;
    const int eq = trimmed.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    key = Trimmed(trimmed.left(eq));
    value = trimmed.mid(eq + 1);
    const int nul = value.indexOf(QChar(0));  // Windows hands values over as C strings
    if (nul >= 0)
        value.truncate(nul);
    value = Trimmed(value);
    return true;
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

// A section's lines are (header, end); header is -1 for the keys before the first header.
struct Section {
    QString name;
    int header;
    int end;
};

bool HoldsKey(const QStringList& lines, const Section& section)
{
    QString k, v;
    for (int i = section.header + 1; i < section.end; ++i) {
        if (SplitKey(lines[i], k, v))
            return true;
    }
    return false;
}

std::vector<Section> Sections(const QStringList& lines)
{
    std::vector<Section> sections{{QString(), -1, 0}};
    for (int i = 0; i < lines.size(); ++i) {
        QString name;
        if (HeaderName(Trimmed(lines[i]), name))
            sections.push_back({name, i, i});
        sections.back().end = i + 1;
    }
    // Only keys make the top of the file a section: a comment there must not hide a "[]" below.
    if (!HoldsKey(lines, sections.front()))
        sections.erase(sections.begin());
    return sections;
}

// The first section with that name: later ones of the same name are unreachable, as in Windows.
const Section* FindSection(const std::vector<Section>& sections, const QString& name)
{
    for (const Section& s : sections) {
        if (SameName(s.name, name))
            return &s;
    }
    return nullptr;
}

int FindKey(const QStringList& lines, const Section& section, const QString& key)
{
    QString k, v;
    for (int i = section.header + 1; i < section.end; ++i) {
        if (SplitKey(lines[i], k, v) && SameName(k, key))
            return i;
    }
    return -1;
}

// The line of the key within the first section of that name, or -1. Both names are trimmed: a
// name asked for with blanks around it must find the entry, or each write would add a copy.
int FindEntry(const QStringList& lines, const QString& section, const QString& key)
{
    const std::vector<Section> sections = Sections(lines);
    const Section* s = FindSection(sections, Trimmed(section));
    return s ? FindKey(lines, *s, Trimmed(key)) : -1;
}

bool UsableName(const QString& trimmed)
{
    if (trimmed.isEmpty())
        return false;
    for (QChar c : trimmed) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0) || c == QLatin1Char('[') ||
            c == QLatin1Char(']') || c == QLatin1Char('='))
            return false;
    }
    return true;
}

// Every line end there is: CRLF, LF, and the lone CR of old Mac editors.
QStringList SplitLines(const QString& text)
{
    QStringList lines;
    int start = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\r') && text[i] != QLatin1Char('\n'))
            continue;
        lines << text.mid(start, i - start);
        if (text[i] == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

// False when the bytes do not decode cleanly: a rewrite would then change bytes nobody touched.
bool Decode(const QByteArray& raw, Content& content)
{
    QString text;
    bool clean = true;
    if (raw.startsWith(kUtf8Bom) || raw.startsWith(kUtf16LeBom)) {
        const bool utf8 = raw.startsWith(kUtf8Bom);
        content.encoding = utf8 ? Encoding::Utf8 : Encoding::Utf16Le;
        // A second mark is text, kept for the rewrite, not swallowed as the first one was.
        QStringDecoder decoder(utf8 ? QStringConverter::Utf8 : QStringConverter::Utf16LE,
                               QStringConverter::Flag::ConvertInitialBom);
        const QByteArray body = raw.mid(utf8 ? kUtf8Bom.size() : kUtf16LeBom.size());
        text = decoder(body);
        clean = !decoder.hasError() && (utf8 || body.size() % 2 == 0);
    } else {
        text = QString::fromStdString(Cp1251ToUtf8(raw.toStdString()));
    }
    content.lines = SplitLines(text);
    return clean;
}

bool Encode(const Content& content, QByteArray& bytes)
{
    QString text;
    for (const QString& line : content.lines)
        text += line + QLatin1String("\r\n");  // the Windows tool's line end, whatever ended it before
    if (content.encoding == Encoding::Cp1251) {
        std::string encoded;
        if (!Utf8ToCp1251(text.toStdString(), encoded))
            return false;
        bytes = QByteArray(encoded.data(), static_cast<qsizetype>(encoded.size()));
        return true;
    }
    const bool utf8 = content.encoding == Encoding::Utf8;
    QStringEncoder encoder(utf8 ? QStringConverter::Utf8 : QStringConverter::Utf16LE);
    bytes = (utf8 ? kUtf8Bom : kUtf16LeBom) + QByteArray(encoder(text));
    return !encoder.hasError();
}

// False, with the reason, when the file is there but cannot be taken in whole (a special file,
// unreadable, oversized, undecodable): a rewrite from what was read would then lose or change the
// rest of it. Larger files are not configuration files; they read as empty rather than stall.
bool Load(const QString& fileName, Content& content, QString& error)
{
    content = Content();
    if (!QFileInfo::exists(fileName))
        return true;
    QByteArray bytes;
    if (!ReadFileBounded(fileName, IniFileLimit, bytes, error))
        return false;
    if (Decode(bytes, content))
        return true;
    error = QStringLiteral("Файл «%1» не перезаписан: в нём есть байты, которых нет в его кодировке.")
                .arg(QFileInfo(fileName).fileName());
    return false;
}

QStringList LoadLines(const QString& fileName)
{
    Content content;
    QString error;
    Load(fileName, content, error);
    return content.lines;
}

bool Save(const QString& fileName, const Content& content, bool ownerOnly, QString& error)
{
    QByteArray bytes;
    if (!Encode(content, bytes)) {
        error = QStringLiteral("Текст нельзя сохранить в кодировке файла «%1».").arg(QFileInfo(fileName).fileName());
        return false;
    }
    return SaveFileAtomically(fileName, bytes, ownerOnly, error);
}

}  // namespace

TIniFile::TIniFile(const QString& fileName) : FFileName(fileName) {}

bool TIniFile::CanStore(const QString& text)
{
    std::string bytes;
    return Utf8ToCp1251(text.toStdString(), bytes);
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& defaultValue) const
{
    const QStringList lines = LoadLines(FFileName);
    const int at = FindEntry(lines, section, key);
    if (at < 0)
        return defaultValue;
    QString k, v;
    SplitKey(lines[at], k, v);
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
    FLastError.clear();
    const QString name = Trimmed(section);
    const QString keyName = Trimmed(key);
    const QString text = Trimmed(value);
    // A key starting with ';' would be written as a comment, unreadable, and added again next time.
    if (!UsableName(name) || !UsableName(keyName) || IsComment(keyName) || text.contains(QLatin1Char('\n')) ||
        text.contains(QLatin1Char('\r')) || text.contains(QChar(0)))
        return false;
    Content content;
    if (!Load(FFileName, content, FLastError))
        return false;
    QStringList& lines = content.lines;
    const std::vector<Section> sections = Sections(lines);
    const Section* s = FindSection(sections, name);
    if (!s) {
        if (!lines.isEmpty() && !Trimmed(lines.last()).isEmpty())
            lines << QString();
        lines << QLatin1Char('[') + name + QLatin1Char(']') << keyName + QLatin1Char('=') + text;
        return Save(FFileName, content, FOwnerOnly, FLastError);
    }
    const int at = FindKey(lines, *s, keyName);
    if (at >= 0) {
        QString existingKey, oldValue;
        SplitKey(lines[at], existingKey, oldValue);
        lines[at] = existingKey + QLatin1Char('=') + text;  // the file keeps its spelling
    } else {
        int insertAt = s->end;  // after the section's last non-blank line
        while (insertAt - 1 > s->header && Trimmed(lines[insertAt - 1]).isEmpty())
            --insertAt;
        lines.insert(insertAt, keyName + QLatin1Char('=') + text);
    }
    return Save(FFileName, content, FOwnerOnly, FLastError);
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
    QStringList names;
    for (const Section& s : Sections(LoadLines(FFileName))) {
        // The operator picks from this list: a name twice, or a blank one, is no choice.
        if (!s.name.isEmpty() && !names.contains(s.name, Qt::CaseInsensitive))
            names << s.name;
    }
    return names;
}

QStringList TIniFile::ReadSection(const QString& section) const
{
    const QStringList lines = LoadLines(FFileName);
    const std::vector<Section> sections = Sections(lines);
    const Section* s = FindSection(sections, section);
    QStringList keys;
    if (!s)
        return keys;
    for (int i = s->header + 1; i < s->end; ++i) {
        QString k, v;
        if (SplitKey(lines[i], k, v) && !k.isEmpty())
            keys << k;
    }
    return keys;
}

bool TIniFile::SectionExists(const QString& section) const
{
    return FindSection(Sections(LoadLines(FFileName)), Trimmed(section)) != nullptr;
}

bool TIniFile::ValueExists(const QString& section, const QString& key) const
{
    return FindEntry(LoadLines(FFileName), section, key) >= 0;
}

bool TIniFile::EraseSection(const QString& section)
{
    FLastError.clear();
    Content content;
    if (!Load(FFileName, content, FLastError))
        return false;
    const std::vector<Section> sections = Sections(content.lines);
    const Section* s = FindSection(sections, Trimmed(section));
    if (!s)
        return true;
    const int first = s->header < 0 ? 0 : s->header;
    content.lines.erase(content.lines.begin() + first, content.lines.begin() + s->end);
    return Save(FFileName, content, FOwnerOnly, FLastError);
}

bool TIniFile::DeleteKey(const QString& section, const QString& key)
{
    FLastError.clear();
    Content content;
    if (!Load(FFileName, content, FLastError))
        return false;
    const int at = FindEntry(content.lines, section, key);
    if (at < 0)
        return true;
    content.lines.removeAt(at);
    return Save(FFileName, content, FOwnerOnly, FLastError);
}
