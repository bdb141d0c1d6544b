#pragma once

#include "settings/FolderChooser.h"

namespace ivra {

// The directories-only chooser: can create folders, single selection, with the
// request's accept label and message above the file list.
class FolderChooserDialog final : public FolderChooser {
public:
    std::optional<QString> chooseFolder(const FolderChoiceRequest& request) override;
};

} // namespace ivra
