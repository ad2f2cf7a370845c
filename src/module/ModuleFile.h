#pragma once
#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "module/ModuleCopy.h"

// A copy of the module in a file of the tool's own: JSON in UTF-8 with a format name and
// version, when and from which port it was saved, the raw bytes of each area it holds (what is
// loaded back) and, for people, every value under its page and caption.
struct TModuleFileInfo {
    QDateTime Saved;
    QString Port;
    QString Tool = QStringLiteral("ZEM 2.0");  // the tool and version that saved it
};

// The file's extension, with its dot.
extern const QString ModuleFileSuffix;

QByteArray ModuleFileBytes(const TModuleCopy& copy, const TModuleFileInfo& info);

// The copy in the file's bytes, or false with the message for the operator: a file that is not
// ours, of a newer version, cut short, with an area of the wrong length or bytes that are not
// hexadecimal is refused whole and `copy` is left as it was.
bool ParseModuleFile(const QByteArray& bytes, TModuleCopy& copy, TModuleFileInfo& info, QString& error);

// Saves atomically, readable by the owner only (the GPRS block holds a password).
bool SaveModuleFile(const QString& fileName, const TModuleCopy& copy, const TModuleFileInfo& info, QString& error);
bool LoadModuleFile(const QString& fileName, TModuleCopy& copy, TModuleFileInfo& info, QString& error);
