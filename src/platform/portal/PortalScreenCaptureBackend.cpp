#include "platform/portal/PortalScreenCaptureBackend.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QTimer>
#include <QtConcurrent>

#include "platform/portal/DesktopImageLayout.h"
#include "platform/portal/PortalScreenshotRequest.h"

namespace ivra::platform {

namespace {

const QString kDisplayGone = QStringLiteral("The display is no longer connected.");

// FNV-1a of the screen's name: the same number for the same output in every run. A
// screen without a name falls back to its position in Qt's list.
DisplayID screenDisplayID(const QScreen& screen, qsizetype index) {
    const QByteArray name = screen.name().toUtf8();
    if (name.isEmpty()) {
        return static_cast<DisplayID>(index + 1);
    }
    quint32 hash = 2166136261u;
    for (const char byte : name) {
        hash = (hash ^ static_cast<quint8>(byte)) * 16777619u;
    }
    return hash;
}

QScreen* screenForDisplay(DisplayID id) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        if (screenDisplayID(*screens[i], i) == id) {
            return screens[i];
        }
    }
    return nullptr;
}

// Whether the portal's file is a temporary one made for this request, which Ivra may
// delete once read: a file of this user directly in a temporary folder (not below one,
// where a home folder may lie), written since the request began. Anything else, such as
// a desktop that keeps its screenshots in the user's Pictures, or an older file, is left
// alone. The portal runs with its own environment, so /tmp counts as well as this
// process's temporary folder.
bool isTemporaryFileOfRequest(const QString& path, const QDateTime& requestStart) {
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink() || info.ownerId() != ::geteuid()) {
        return false;
    }
    // Timestamps may be as coarse as a second.
    if (info.lastModified() < requestStart.addSecs(-1)) {
        return false;
    }
    const QString folder = info.canonicalPath();
    for (const QString& temporary : {QDir::tempPath(), QStringLiteral("/tmp")}) {
        if (folder == QDir(temporary).canonicalPath()) {
            return true;
        }
    }
    return false;
}

// What a worker needs to turn the portal's file into the display's image: the screens as
// they were when the answer came, since QScreen belongs to the main thread.
struct DisplayCut {
    QString path;
    QDateTime requestStart;
    QList<QRect> screenFramesPt;
    QRect displayFramePt;
    QSize sizePx;
};

// Decoding a whole-desktop PNG takes a tenth of a second or more, so it runs off the main
// thread.
CaptureResult<QImage> readDisplayImage(const DisplayCut& cut) {
    QImageReader reader(cut.path);
    const QImage desktopImage = reader.read();
    if (isTemporaryFileOfRequest(cut.path, cut.requestStart)) {
        QFile::remove(cut.path);
    }
    if (desktopImage.isNull()) {
        return CaptureError{QStringLiteral("Could not read the desktop portal's screenshot "
                                           "\"%1\": %2")
                                .arg(cut.path, reader.errorString())};
    }
    const auto layout = DesktopImageLayout::create(cut.screenFramesPt, desktopImage.size());
    if (!layout) {
        return CaptureError{QStringLiteral("The desktop portal's screenshot does not match "
                                           "the screens' layout. Try again.")};
    }
    return layout->extract(desktopImage, cut.displayFramePt, cut.sizePx);
}

} // namespace

PortalScreenCaptureBackend::PortalScreenCaptureBackend(std::chrono::milliseconds responseTimeout)
    : m_responseTimeout(responseTimeout)
    , m_pending(std::make_unique<QObject>()) {
}

PortalScreenCaptureBackend::~PortalScreenCaptureBackend() = default;

QString PortalScreenCaptureBackend::name() const {
    return QStringLiteral("portal");
}

void PortalScreenCaptureBackend::shareableContent(
    bool, bool, std::function<void(CaptureResult<ShareableContent>)> done) {
    // Both flags filter windows, and there are none to list.
    ShareableContent content;
    const QList<QScreen*> screens = QGuiApplication::screens();
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QPoint origin = primary != nullptr ? primary->geometry().topLeft() : QPoint();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        content.displays.append(CaptureDisplay{screenDisplayID(*screens[i], i),
                                               screens[i]->geometry().translated(-origin),
                                               screens[i]->name()});
    }
    completeLater(std::move(done), CaptureResult<ShareableContent>(std::move(content)));
}

void PortalScreenCaptureBackend::captureImage(const ContentFilter& filter,
                                              const CaptureConfiguration& configuration,
                                              std::function<void(CaptureResult<QImage>)> done) {
    if (filter.kind == ContentFilter::Kind::Window) {
        completeLater(std::move(done),
                      CaptureResult<QImage>(CaptureError{QStringLiteral(
                          "Capturing a single window is not available on Wayland yet.")}));
        return;
    }
    if (configuration.sizePx.isEmpty()) {
        completeLater(std::move(done), CaptureResult<QImage>(CaptureError{
                                           QStringLiteral("The requested image size is empty.")}));
        return;
    }
    if (screenForDisplay(filter.displayID) == nullptr) {
        completeLater(std::move(done), CaptureResult<QImage>(CaptureError{kDisplayGone}));
        return;
    }

    const QDateTime requestStart = QDateTime::currentDateTimeUtc();
    requestScreenshot(
        QDBusConnection::sessionBus(), m_responseTimeout, m_pending.get(),
        [this, requestStart, id = filter.displayID, sizePx = configuration.sizePx,
         done = std::move(done)](const PortalScreenshotResponse& response) {
            using Status = PortalScreenshotResponse::Status;
            if (response.status != Status::Saved) {
                if (response.status == Status::Refused) {
                    m_refused = true;
                }
                done(CaptureError{response.errorDescription});
                return;
            }
            m_refused = false;
            // The screens are read now, closest to the moment the portal took the picture.
            const QScreen* screen = screenForDisplay(id);
            if (screen == nullptr) {
                done(CaptureError{kDisplayGone});
                return;
            }
            DisplayCut cut{response.filePath, requestStart, {}, screen->geometry(), sizePx};
            for (const QScreen* each : QGuiApplication::screens()) {
                cut.screenFramesPt.append(each->geometry());
            }
            auto* watcher = new QFutureWatcher<CaptureResult<QImage>>(m_pending.get());
            QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [watcher, done] {
                watcher->deleteLater();
                done(watcher->result());
            });
            watcher->setFuture(QtConcurrent::run(readDisplayImage, std::move(cut)));
        });
}

std::optional<DisplayID> PortalScreenCaptureBackend::displayID(const QScreen& screen) const {
    const qsizetype index = QGuiApplication::screens().indexOf(&screen);
    if (index < 0) {
        return std::nullopt;
    }
    return screenDisplayID(screen, index);
}

bool PortalScreenCaptureBackend::preflightAccess() const {
    return !m_refused;
}

void PortalScreenCaptureBackend::requestAccess() {
}

template <typename T>
void PortalScreenCaptureBackend::completeLater(std::function<void(CaptureResult<T>)> done,
                                               CaptureResult<T> result) {
    QTimer::singleShot(0, m_pending.get(),
                       [done = std::move(done), result = std::move(result)] { done(result); });
}

} // namespace ivra::platform
