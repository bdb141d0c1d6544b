#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "annotation/SaveDialog.h"

namespace ivra {

// The save dialog of the desktop (through the platform theme or portal when there is one,
// else Qt's own), offering one image type and adding its extension to a bare name.
class FileSaveDialog final : public SaveDialog {
public:
    // Starts in `startDirectory`, or the Pictures folder when empty.
    explicit FileSaveDialog(QWidget* parent = nullptr, const QString& startDirectory = {});

    std::optional<QString> askForPath(const QString& suggestedName, ExportFormat format) override;

private:
    QPointer<QWidget> m_parent;
    QString m_startDirectory;
};

} // namespace ivra
