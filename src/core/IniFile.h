#pragma once
#include <QString>
#include <QStringList>

// A Windows private-profile (INI) file: sections and keys matched without regard to case,
// sections listed in file order, values trimmed, Windows-1251 bytes on disk. The file is the only
// state: every read looks at the disk and every write is on disk, whole, when the call returns.
class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return FFileName; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

    // False when nothing was written: the text has a character that Windows-1251 cannot hold, a
    // name is unusable (empty, or holding a line break, '[', ']' or '='), or the disk refused.
    // The file on disk is then as it was.
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteInteger(const QString& section, const QString& key, int value);
    bool WriteBool(const QString& section, const QString& key, bool value);

    QStringList ReadSections() const;
    QStringList ReadSection(const QString& section) const;  // the keys, in file order
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    bool EraseSection(const QString& section);
    bool DeleteKey(const QString& section, const QString& key);

    // Whether the text can be stored in the file at all (every character has a Windows-1251 byte).
    static bool CanStore(const QString& text);

private:
    QStringList LoadLines() const;
    // False when the file is there but cannot be taken in whole (unreadable, oversized): a
    // rewrite from what was read would then lose the rest of it.
    bool LoadLines(QStringList& lines) const;
    bool SaveLines(const QStringList& lines) const;

    QString FFileName;
};
