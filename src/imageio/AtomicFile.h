#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

namespace ivra::imageio {

// File writes that never leave a truncated file under the final name: the bytes go to a
// temporary file in the same folder, are flushed to disk, and only then take the name.
// On any failure the temporary file is removed and nothing else is touched.

// Writes to `path`, replacing a file already there.
bool writeFileReplacing(const QString& path, const QByteArray& bytes);

// Writes a new file "<baseName>.<extension>" in `directory` without ever replacing an
// existing one: when the name is taken, "<baseName> (2).<extension>", "(3)", … are tried.
// Returns the path written, or nothing on failure.
std::optional<QString> writeNewFile(const QString& directory, const QString& baseName,
                                    const QString& extension, const QByteArray& bytes);

} // namespace ivra::imageio
