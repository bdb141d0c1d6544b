#pragma once

#include <QProcess>
#include <QStringList>

#include "capture/ScreenCaptureBackend.h"

namespace ivra::test {

// The real capture backend with two things a test can script: a key typed (xdotool, to the
// end) the moment a capture asks for the displays, as a user typing right after the
// shortcut does while Ivra still prepares its overlay; and screens that show none of the
// displays, as when the monitors change between the frames and the overlays.
class ScriptedCaptureBackend final : public ScreenCaptureBackend {
public:
    explicit ScriptedCaptureBackend(ScreenCaptureBackend& real)
        : m_real(real) {}

    // The key to type at the next request (once), e.g. "r" or "Escape".
    void typeAtNextRequest(const QString& key) { m_key = key; }

    QString name() const override { return m_real.name(); }
    void shareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly,
                          std::function<void(CaptureResult<ShareableContent>)> done) override {
        if (!m_key.isEmpty()) {
            QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), m_key});
            m_key.clear();
        }
        m_real.shareableContent(excludeDesktopWindows, onScreenWindowsOnly, std::move(done));
    }
    void captureImage(const ContentFilter& filter, const CaptureConfiguration& configuration,
                      std::function<void(CaptureResult<QImage>)> done) override {
        m_real.captureImage(filter, configuration, std::move(done));
    }
    std::optional<DisplayID> displayID(const QScreen& screen) const override {
        return m_screensShowDisplays ? m_real.displayID(screen) : std::nullopt;
    }
    void setScreensShowDisplays(bool show) { m_screensShowDisplays = show; }
    void warmUp() override { m_real.warmUp(); }
    bool preflightAccess() const override { return m_real.preflightAccess(); }
    void requestAccess() override { m_real.requestAccess(); }

private:
    ScreenCaptureBackend& m_real;
    QString m_key;
    bool m_screensShowDisplays = true;
};

} // namespace ivra::test
