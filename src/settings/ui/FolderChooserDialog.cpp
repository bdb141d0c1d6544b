#include "settings/ui/FolderChooserDialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

namespace ivra {

std::optional<QString> FolderChooserDialog::chooseFolder(const FolderChoiceRequest& request) {
    // Qt's own dialog, so the message can stand above the list on every desktop.
    QFileDialog dialog(nullptr, QStringLiteral("Ivra"), request.startDirectory);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, request.acceptLabel);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
        auto* message = new QLabel(request.message, &dialog);
        message->setWordWrap(true);
        const int columns = grid->columnCount();
        // Move every row down by one to make room for the message at the top.
        QList<std::tuple<QLayoutItem*, int, int, int, int>> items;
        for (int i = grid->count() - 1; i >= 0; --i) {
            int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(i, &row, &column, &rowSpan, &columnSpan);
            items.append({grid->takeAt(i), row, column, rowSpan, columnSpan});
        }
        grid->addWidget(message, 0, 0, 1, columns);
        for (const auto& [item, row, column, rowSpan, columnSpan] : items) {
            grid->addItem(item, row + 1, column, rowSpan, columnSpan);
        }
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace ivra
