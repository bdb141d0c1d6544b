#pragma once

#include <QDialog>
#include <QString>

namespace ivra {

// Ivra's name, version, icon and promise. One at a time: asking again brings the open
// dialog to the front.
class AboutDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kCreditsPointSize = 11;

    // Shows the dialog, or raises the one already open, and returns it. It deletes itself
    // when closed.
    static AboutDialog* present();

    static QString credits();
    // The application's version, or the build's when the application did not set one.
    static QString version();

private:
    AboutDialog();
};

} // namespace ivra
