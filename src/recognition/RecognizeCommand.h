#pragma once

#include <QString>
#include <QTextStream>

namespace ivra {

// `ivra --recognize FILE`: prints the text recognised in an image file, one line per text
// line, and returns the exit status: 0 on success (also when the image holds no text), 1
// with a message on `err` when the file cannot be read or recognition fails. Needs no
// display and no application object.
int runRecognizeCommand(const QString& path, QTextStream& out, QTextStream& err);

} // namespace ivra
