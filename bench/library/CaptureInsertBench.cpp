// The capture library on the user's critical path: storing a 4K screenshot against Qt's
// own PNG writer, and reading a large library back.
#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "BenchSupport.h"
#include "ScreenshotFixture.h"
#include "imageio/ImageCodec.h"
#include "library/CaptureRepository.h"
#include "library/CaptureStore.h"
#include "library/HistoryStore.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"

using namespace ivra;

namespace {

constexpr int kRuns = 9;
constexpr int kLibrarySize = 10000;

double elapsedMs(const std::function<void()>& body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void benchInsert(SettingsStore& settings, const QString& root) {
    const QImage screenshot = bench::makeScreenshot(3840, 2160);
    CaptureRepository repository(settings, QDir(root).filePath(QStringLiteral("library")));
    repository.setRetentionLimit(std::nullopt);
    const QString qtPath = QDir(root).filePath(QStringLiteral("qt.png"));

    // Interleaved, so that load from other processes falls on both sides alike.
    std::vector<double> qtTimes;
    std::vector<double> insertTimes;
    std::optional<CaptureRecord> record;
    for (int run = 0; run < kRuns; ++run) {
        qtTimes.push_back(elapsedMs([&] { screenshot.save(qtPath, "PNG"); }));
        insertTimes.push_back(elapsedMs([&] {
            record = repository.insert(screenshot, QStringLiteral("org.example.Bench"),
                                       QDateTime::currentDateTime());
        }));
        if (!record) {
            std::fprintf(stderr, "insert failed\n");
            std::exit(1);
        }
    }
    const double encodeMs = bench::medianMs(kRuns, [&] { imageio::encodePng(screenshot); });

    const double qtMs = bench::median(qtTimes);
    const double insertMs = bench::median(insertTimes);
    const auto qtBytes = static_cast<double>(QFileInfo(qtPath).size());
    const auto ourBytes = static_cast<double>(QFileInfo(record->imagePath).size());
    bench::report("qt_png_4k", qtMs, "ms");
    bench::report("insert_4k", insertMs, "ms");
    bench::report("encode_png_4k", encodeMs, "ms");
    bench::report("insert_4k_vs_qt_png", qtMs / insertMs, "x");
    bench::report("qt_png_4k_size", qtBytes, "bytes");
    bench::report("png_4k_size", ourBytes, "bytes");
    bench::report("png_size_vs_qt", ourBytes / qtBytes, "x");
}

void benchLargeLibrary(SettingsStore& settings, const QString& root) {
    const QString base = QDir(root).filePath(QStringLiteral("large"));
    QDir().mkpath(base);
    {
        auto opened = CaptureStore::open(
            QDir(base).filePath(QLatin1String(CaptureRepository::kStoreFileName)));
        if (!opened.store) {
            std::fprintf(stderr, "cannot create the store\n");
            std::exit(1);
        }
        auto* random = QRandomGenerator::global();
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        for (int i = 0; i < kLibrarySize; ++i) {
            CaptureRecord record;
            record.id = QUuid::createUuid();
            record.createdAt = QDateTime::fromMSecsSinceEpoch(
                now - static_cast<qint64>(random->bounded(365 * 24 * 3600)) * 1000, Qt::UTC);
            record.imagePath = QStringLiteral("/home/user/Pictures/Ivra 2026-03-14 о 09.05.%1.png")
                                   .arg(i % 60, 2, 10, QLatin1Char('0'));
            record.thumbnailPath = base + QStringLiteral("/Captures/") + record.idText() +
                                   QStringLiteral("_thumb.jpg");
            record.width = 3840;
            record.height = 2160;
            if (i % 3 != 0) {
                record.sourceAppBundleID = QStringLiteral("org.gnome.Nautilus");
            }
            record.statusRaw = QStringLiteral("none");
            record.pinned = i % 10 == 0;
            opened.store->insert(record);
        }
    }
    CaptureRepository repository(settings, base);
    qsizetype count = 0;
    const double fetchMs = bench::medianMs(kRuns, [&] { count = repository.fetchAll().size(); });
    HistoryStore history(repository);
    const double reloadMs = bench::medianMs(kRuns, [&] { history.reload(); });
    if (count != kLibrarySize || history.count() != kLibrarySize) {
        std::fprintf(stderr, "library has %lld records\n", static_cast<long long>(count));
        std::exit(1);
    }
    bench::report("fetch_all_10k", fetchMs, "ms");
    bench::report("history_reload_10k", reloadMs, "ms");
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QTemporaryDir root;
    const QString saveFolder = QDir(root.path()).filePath(QStringLiteral("Pictures"));
    QDir().mkpath(saveFolder);
    SettingsStore settings(std::make_shared<platform::IniKeyValueStore>(
        QDir(root.path()).filePath(QStringLiteral("settings.conf"))));
    settings.setSaveDirectory(saveFolder);

    benchInsert(settings, root.path());
    benchLargeLibrary(settings, root.path());
    return 0;
}
