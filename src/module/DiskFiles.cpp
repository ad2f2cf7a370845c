#include "module/DiskFiles.h"

#include <QDir>
#include <QFile>

#include <string>

#include "module/TextValues.h"
#include "util/Dnxfileutils.h"

namespace {

QString FailureText(const QString& format, const QString& fileName, int fileError)
{
    return format.arg(ClippedText(QDir::toNativeSeparators(fileName)),
                      QString::fromStdString(FileErrorReason(fileError)));
}

}  // namespace

std::string LocalFileName(const QString& fileName)
{
#ifdef Q_OS_WIN
    // The file utilities take UTF-8 there and call the wide-character API: the ANSI code page
    // could not hold every name (a Cyrillic one on a Western system).
    return fileName.toStdString();
#else
    return QFile::encodeName(fileName).toStdString();
#endif
}

QString SaveFailureText(const QString& fileName, int fileError)
{
    return FailureText(QStringLiteral("Не удалось сохранить файл «%1»: %2"), fileName, fileError);
}

bool SaveFileAtomically(const QString& fileName, const QByteArray& bytes, bool ownerOnly, QString& error)
{
    const int fileError =
        SaveFileDurably(LocalFileName(fileName), bytes.constData(), size_t(bytes.size()), ownerOnly);
    if (fileError != 0)
        error = SaveFailureText(fileName, fileError);
    return fileError == 0;
}

bool ReadFileBounded(const QString& fileName, qint64 limit, QByteArray& bytes, QString& error)
{
    std::string read;
    const int fileError = ReadRegularFile(LocalFileName(fileName), size_t(limit), read);
    if (fileError != 0) {
        error = FailureText(QStringLiteral("Не удалось открыть файл «%1»: %2"), fileName, fileError);
        return false;
    }
    bytes = QByteArray(read.data(), qsizetype(read.size()));
    return true;
}
