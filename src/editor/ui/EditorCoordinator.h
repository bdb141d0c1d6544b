#pragma once

#include <optional>

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>

#include "editor/EditorGeometry.h"
#include "editor/ui/EditorView.h"

namespace ivra {

// Opens editor windows and keeps track of the open ones. Every open() makes a new window,
// even for an image already open; each window has its own marks, dropped without asking
// when it closes.
class EditorCoordinator : public QObject {
    Q_OBJECT

public:
    // Windows delete themselves when closed; the coordinator only tracks them.
    explicit EditorCoordinator(EditorServices services, QObject* parent = nullptr);

    // The application's coordinator, created on first use: the shared settings, the
    // desktop's save dialog, and the application's background remover.
    static EditorCoordinator& shared();

    // Opens a window on `image`, centred on the screen the user works on, in front and
    // active. Nothing for a null image.
    EditorView* open(const QImage& image);
    // Opens an image file (PNG, JPEG or any format Qt reads, turned upright by its EXIF
    // orientation). False, with a message for the user in `error`, when it cannot be read.
    bool openFile(const QString& path, QString* error = nullptr);

    QList<EditorView*> openWindows() const;
    // What its windows work with; the capture overlay shares the background remover.
    const EditorServices& services() const { return m_services; }

    // The screen an editor opens on: the one under the pointer, else the primary one.
    static std::optional<ScreenMetrics> currentScreenMetrics();
    // "Screenshot 2880×1800".
    static QString windowTitle(QSize imageSizePx);

private:
    EditorServices m_services;
    QList<QPointer<EditorView>> m_windows;
};

} // namespace ivra
