#pragma once

#include <QString>
#include <QTextStream>

namespace ivra {

class BackgroundRemover;

// `ivra --remove-background IN OUT`: writes the image file IN with its background removed
// to OUT as a PNG (replacing OUT) and returns the exit status: 0 when written; 1 with a
// message on `err` when IN cannot be read, the image has no subject to lift, or OUT cannot
// be written. Needs no display and no application object.
int runRemoveBackgroundCommand(const QString& input, const QString& output,
                               const BackgroundRemover& remover, QTextStream& err);

} // namespace ivra
