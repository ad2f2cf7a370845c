#pragma once
#include <QString>
#include <QStringList>

// A Windows private-profile (INI) file, read as Windows reads the files people edit by hand:
// names trimmed and matched without regard to case, sections listed in file order, values
// trimmed, any line end. On disk: Windows-1251 unless the file starts with a UTF-8 or UTF-16
// byte-order mark, and a rewrite keeps the file's own encoding. The file is the only state:
// every read looks at the disk and every write is on disk, whole, when the call returns.
class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    const QString& FileName() const { return FFileName; }
    // Every write leaves the file readable and writable by its owner only (it holds passwords).
    void SetOwnerOnly(bool ownerOnly) { FOwnerOnly = ownerOnly; }

    QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

    // False when nothing was written: the text has a character the file's encoding cannot hold, a
    // name is unusable (empty, holding a line break, NUL, '[', ']' or '=', or a key starting with
    // ';'), the file could not be taken in whole, or the disk refused. The file is then as it was.
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteInteger(const QString& section, const QString& key, int value);
    bool WriteBool(const QString& section, const QString& key, bool value);

    QStringList ReadSections() const;
    // The keys, in file order. Unlike every other lookup, the section name is not trimmed: Windows
    // lists nothing for a name given with blanks around it.
    QStringList ReadSection(const QString& section) const;
    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    bool EraseSection(const QString& section);
    bool DeleteKey(const QString& section, const QString& key);

    // Whether the text can be stored in a Windows-1251 file, the kind this program creates (every
    // character has a Windows-1251 byte).
    static bool CanStore(const QString& text);

    // Why the last write failed ("Не удалось сохранить файл «…»: нет места на диске"); empty when
    // it succeeded or its names were unusable.
    const QString& LastError() const { return FLastError; }

private:
    QString FFileName;
    bool FOwnerOnly = false;
    QString FLastError;
};
