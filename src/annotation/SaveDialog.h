#pragma once

#include <optional>

#include <QString>

#include "settings/SettingsEnums.h"

namespace ivra {

// Asks the user where to save an image. The widgets layer implements it with a file
// dialog; the export service only sees this interface.
class SaveDialog {
public:
    virtual ~SaveDialog() = default;
    // Offers `suggestedName` and only files of `format`. The chosen path, or nothing when
    // the user cancels. The dialog itself asks before replacing an existing file.
    virtual std::optional<QString> askForPath(const QString& suggestedName,
                                              ExportFormat format) = 0;
};

} // namespace ivra
