#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Replaces a whole file atomically (temporary file in the same folder, flush, rename). With
// ownerOnly the file is created readable and writable by its owner alone. Returns the error text,
// empty on success; on failure the previous file is left intact.
QString SaveToFile(const QString& path, const QByteArray& data, bool ownerOnly = false);
