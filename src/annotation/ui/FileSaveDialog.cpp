#include "annotation/ui/FileSaveDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>

#include "annotation/ExportService.h"

namespace ivra {

FileSaveDialog::FileSaveDialog(QWidget* parent, const QString& startDirectory)
    : m_parent(parent)
    , m_startDirectory(startDirectory) {
}

std::optional<QString> FileSaveDialog::askForPath(const QString& suggestedName,
                                                  ExportFormat format) {
    QFileDialog dialog(m_parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const bool jpeg = format == ExportFormat::Jpeg;
    dialog.setNameFilter(jpeg ? QStringLiteral("JPEG image (*.jpg *.jpeg)")
                              : QStringLiteral("PNG image (*.png)"));
    dialog.setDefaultSuffix(ExportService::fileExtension(format));
    const QString directory =
        m_startDirectory.isEmpty()
            ? QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)
            : m_startDirectory;
    dialog.setDirectory(directory);
    dialog.selectFile(suggestedName);
    // In front of whatever the user was looking at: the capture may have started from a
    // global shortcut while another application was active.
    if (m_parent) {
        m_parent->window()->activateWindow();
    }
    dialog.raise();
    dialog.activateWindow();
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) {
        return std::nullopt;
    }
    return files.first();
}

} // namespace ivra
