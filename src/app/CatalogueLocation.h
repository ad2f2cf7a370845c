#pragma once
#include <QString>

// The catalogue a run works on: the one given (--catalogue), else "[Catalogue] Database=" of
// ZEM.cfg (a relative path there is ZEM.cfg's folder's), else TCatalogue::DefaultLocation().
// AppDir() must be set.
QString CatalogueLocation(const QString& given);
