#pragma once
#include <QByteArray>
#include <QString>

// The tool's files on disk, with what the installer is told when one cannot be had.

// What a reader takes at most: a module copy or a CSV file, and an INI file.
constexpr qint64 CopyFileLimit = 1024 * 1024;
constexpr qint64 IniFileLimit = 4 * 1024 * 1024;

// The file's name as the file utilities take it: the system's own bytes, or UTF-8 on Windows.
std::string LocalFileName(const QString& fileName);

// "Не удалось сохранить файл «…»: <reason>" for a code of the file utilities.
QString SaveFailureText(const QString& fileName, int fileError);

// Writes the file whole or not at all (see SaveFileDurably); with ownerOnly it is readable and
// writable by its owner only from its first byte. False with the message when the old file, if
// any, stays as it was.
bool SaveFileAtomically(const QString& fileName, const QByteArray& bytes, bool ownerOnly, QString& error);

// Reads a regular file of at most `limit` bytes; false with "Не удалось открыть файл «…»: <reason>".
bool ReadFileBounded(const QString& fileName, qint64 limit, QByteArray& bytes, QString& error);
