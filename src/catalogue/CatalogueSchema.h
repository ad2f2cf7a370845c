#pragma once
#include <QStringList>

#include "catalogue/CatalogueDialect.h"

// The statements that bring the schema from version - 1 to `version` (1: from nothing), one
// statement an entry, in the dialect's words.
QStringList SchemaStep(TDialect dialect, int version);

// The trigram indexes over sites and phones: SQLite's FTS5 or PostgreSQL's pg_trgm. Neither is
// needed for a search to find the right modules, only to find them fast, so a database without
// them still works.
QStringList TextIndexStatements(TDialect dialect);

// The installers' role on PostgreSQL and what it may do.
extern const char* const InstallerRole;
QStringList InstallerGrants();
