#include "app/ui/AboutDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include "IvraConfig.h"
#include "app/ui/StatusItemController.h"
#include "presentation/ui/Appearance.h"

namespace ivra {

namespace {

constexpr int kIconSizePt = 64;
constexpr int kNamePointSize = 16;

QPointer<AboutDialog> g_openDialog;

// A centred line; a `pointSize` of 0 keeps the dialog's own size.
QLabel* label(const QString& text, const QString& objectName, int pointSize, bool bold = false) {
    auto* label = new QLabel(text);
    label->setObjectName(objectName);
    label->setAlignment(Qt::AlignCenter);
    QFont font = label->font();
    if (pointSize > 0) {
        font.setPointSize(pointSize);
    }
    font.setBold(bold);
    label->setFont(font);
    return label;
}

} // namespace

AboutDialog* AboutDialog::present() {
    if (!g_openDialog) {
        g_openDialog = new AboutDialog();
    }
    g_openDialog->show();
    g_openDialog->raise();
    g_openDialog->activateWindow();
    return g_openDialog;
}

QString AboutDialog::credits() {
    return QStringLiteral("Screenshots that wait for you — annotate, copy, pin.");
}

QString AboutDialog::version() {
    const QString version = QCoreApplication::applicationVersion();
    return version.isEmpty() ? QStringLiteral(IVRA_VERSION) : version;
}

AboutDialog::AboutDialog() {
    setAttribute(Qt::WA_DeleteOnClose);
    const QString name = QGuiApplication::applicationDisplayName();
    setWindowTitle(tr("About %1").arg(name));
    WindowPolicy::apply(*this);

    // The application icon once one is set; until then the tray item's.
    const QIcon appIcon = QApplication::windowIcon();
    const QIcon shownIcon = appIcon.isNull() ? StatusItemController::icon() : appIcon;
    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("icon"));
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(shownIcon.pixmap(QSize(kIconSizePt, kIconSizePt), devicePixelRatioF()));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 24, 28, 16);
    layout->setSpacing(8);
    layout->addWidget(icon);
    layout->addWidget(label(name, QStringLiteral("name"), kNamePointSize, true));
    layout->addWidget(label(tr("Version %1").arg(version()), QStringLiteral("version"), 0));
    layout->addWidget(label(credits(), QStringLiteral("credits"), kCreditsPointSize));
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

} // namespace ivra
