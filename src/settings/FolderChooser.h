#pragma once

#include <optional>

#include <QString>

namespace ivra {

struct FolderChoiceRequest {
    QString acceptLabel;
    QString message;
    QString startDirectory;
};

// Asks the user for one existing (or newly created) directory. Implemented with a dialog
// in the widgets layer; the settings core only sees this interface.
class FolderChooser {
public:
    virtual ~FolderChooser() = default;
    // The chosen directory's path, or nothing when the user cancels.
    virtual std::optional<QString> chooseFolder(const FolderChoiceRequest& request) = 0;
};

} // namespace ivra
