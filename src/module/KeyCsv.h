#pragma once
#include <QByteArray>
#include <QStringList>

#include "module/ModuleCopy.h"

// The key list as a spreadsheet: a header row, then a row a key with its serial number, its
// code as typed in the key dialog, its parameter's name and a comment. UTF-8 with a byte-order
// mark and ";" between cells, as spreadsheets in Russian locales open it.
QByteArray KeysToCsv(const TKeyTable& table, const QStringList& comments, const QStringList& paramNames);

// The keys of a CSV file (";" or "," between cells, quotes as spreadsheets write them; UTF-8 or,
// when it is not valid UTF-8, Windows-1251). An unclosed quote is a bad row. Every
// row is checked as a typed key is, its parameter by name or number (empty: the parameter a new
// key gets); duplicates and keys beyond the table's 32 are refused. With any bad row the result
// is false, `errors` lists every one ("Строка 4: …") and the table is left as it was.
bool KeysFromCsv(const QByteArray& bytes, const QStringList& paramNames, TKeyTable& table, QStringList& comments,
                 QStringList& errors);
