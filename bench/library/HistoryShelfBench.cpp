// The history shelf over large libraries, under the headless desktop.
//
//   shelf_first_paint_10k        show() on a library of 10,000 captures until the first
//                                frame is painted (a new shelf each run, window included)
//   shelf_first_paint_10k_vs_empty   the same against an empty library
//   shelf_scroll_frame           one frame of scrolling the row (a screen width in 24
//                                steps, repainted at each), median; the slowest as _max
//   shelf_rss_10k                resident memory the shelf added: shown, scrolled across
//                                20 screens of cards, their pictures read
//   prune_3000_to_100            one capture into a library of 3,000 with retention 100:
//                                from the insert until the shelf shows the 100 left
//   prune_ui_stall               the longest the interface thread was busy on the way
//   prune_3000_to_100_vs_no_prune    against the same capture into a library of 100

#include <chrono>
#include <cstdio>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QPainter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchSupport.h"
#include "library/CaptureRepository.h"
#include "library/CaptureStore.h"
#include "library/HistoryStore.h"
#include "library/ui/HistoryBarController.h"
#include "library/ui/HistoryBarPanel.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"

using namespace ivra;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double residentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return 0;
}

// Thumbnails like the library writes them: 240 px JPEGs of varied screens.
QList<QByteArray> thumbnailVariants(int count) {
    QList<QByteArray> variants;
    for (int i = 0; i < count; ++i) {
        QImage image(240, 150, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((i * 37) % 360, 90, 60));
        QPainter painter(&image);
        painter.fillRect(10 + i % 30, 12, 150, 90, QColor::fromHsv((i * 71) % 360, 160, 200));
        painter.setPen(Qt::white);
        for (int line = 0; line < 6; ++line) {
            painter.drawText(20, 30 + line * 14,
                             QStringLiteral("capture %1 line %2").arg(i).arg(line));
        }
        painter.end();
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG", 60);
        variants << buffer.data();
    }
    return variants;
}

// A library folder with `count` records whose thumbnail and image files exist, newest
// first from now backwards, one minute apart.
struct Library {
    QTemporaryDir root;
    QString saveFolder = root.filePath(QStringLiteral("Pictures"));
    QString baseFolder = root.filePath(QStringLiteral("Vantrel"));
    std::unique_ptr<SettingsStore> settings = std::make_unique<SettingsStore>(
        std::make_shared<platform::IniKeyValueStore>(root.filePath(QStringLiteral("Ivra.conf"))));

    explicit Library(int count) {
        QDir().mkpath(saveFolder);
        settings->setSaveDirectory(saveFolder);
        const QString captures = QDir(baseFolder).filePath(QStringLiteral("Captures"));
        QDir().mkpath(captures);
        { CaptureRepository create(*settings, baseFolder); }
        auto store = CaptureStore::open(QDir(baseFolder).filePath(QStringLiteral("Vantrel.store")));
        const QList<QByteArray> thumbnails = thumbnailVariants(24);
        const QByteArray png = thumbnails.first(); // any bytes: only deletions touch it
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < count; ++i) {
            CaptureRecord record;
            record.id = QUuid::createUuid();
            record.createdAt = now.addSecs(-60 * (i + 1));
            record.imagePath = QDir(saveFolder).filePath(record.idText() + QStringLiteral(".png"));
            record.thumbnailPath =
                QDir(captures).filePath(record.idText() + QStringLiteral("_thumb.jpg"));
            record.width = 1920;
            record.height = 1080;
            if (i % 3 == 0) {
                record.sourceAppBundleID = QStringLiteral("org.example.Editor");
            }
            record.statusRaw = QStringLiteral("none");
            QFile thumb(record.thumbnailPath);
            QFile image(record.imagePath);
            if (!thumb.open(QIODevice::WriteOnly) || !image.open(QIODevice::WriteOnly) ||
                thumb.write(thumbnails.at(i % thumbnails.size())) < 0 || image.write(png) < 0 ||
                !store.store->insert(record)) {
                qFatal("could not build the library");
            }
        }
    }
};

// Counts the paints a widget gets.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* widget)
        : m_widget(widget) {
        widget->installEventFilter(this);
    }
    ~PaintWatch() override { m_widget->removeEventFilter(this); }
    int paints() const { return m_paints; }
    // Runs the event loop until the widget has painted more than `count` times. A paint
    // runs inside the dispatch that delivered it: once seen, it is done.
    void waitBeyond(int count) const {
        while (m_paints <= count) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        m_paints += event->type() == QEvent::Paint;
        return false;
    }

private:
    QWidget* m_widget;
    int m_paints = 0;
};

void waitForRowPaint(QWidget* viewport) {
    PaintWatch(viewport).waitBeyond(0);
}

double firstPaintMs(Library& library) {
    CaptureRepository repository(*library.settings, library.baseFolder);
    std::vector<double> times;
    for (int run = 0; run < 7; ++run) {
        HistoryBarController bar(repository, {}, nullptr);
        const auto start = Clock::now();
        bar.show();
        // (The empty library paints its empty state instead of the row.)
        waitForRowPaint(bar.store().count() > 0 ? bar.panel()->view().row().viewport()
                                                : &bar.panel()->view());
        times.push_back(msSince(start));
        bar.hide();
        QCoreApplication::processEvents();
    }
    return bench::median(times);
}

// Longest gap between two turns of the event loop while it runs.
class StallMeter : public QObject {
public:
    StallMeter() {
        m_timer.setInterval(0);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const auto now = Clock::now();
            m_longest = std::max(m_longest,
                                 std::chrono::duration<double, std::milli>(now - m_last).count());
            m_last = now;
        });
    }
    void start() {
        m_longest = 0;
        m_last = Clock::now();
        m_timer.start();
    }
    double stop() {
        m_timer.stop();
        return std::max(m_longest,
                        std::chrono::duration<double, std::milli>(Clock::now() - m_last).count());
    }

private:
    QTimer m_timer;
    Clock::time_point m_last;
    double m_longest = 0;
};

struct PruneResult {
    double totalMs;
    double stallMs;
};

// One capture into a library of `existing` captures with retention 100, the shelf open.
PruneResult captureInto(int existing) {
    Library library(existing);
    library.settings->setRetentionLimit(100);
    CaptureRepository repository(*library.settings, library.baseFolder);
    HistoryBarController bar(repository, {}, nullptr);
    bar.show();
    waitForRowPaint(bar.panel()->view().row().viewport());
    QImage capture(1280, 800, QImage::Format_RGB32);
    capture.fill(QColor(30, 90, 160));

    StallMeter meter;
    PaintWatch paints(bar.panel()->view().row().viewport());
    int paintsAtDone = -1;
    const auto start = Clock::now();
    meter.start();
    repository.insertInBackground(capture, std::nullopt, QDateTime::currentDateTime(),
                                  [](std::optional<CaptureRecord>) {});
    // Done when the shelf shows the newest capture among the 100 left, painted.
    QObject::connect(&bar.store(), &HistoryStore::recordsChanged, [&] {
        if (bar.store().count() == 100 &&
            bar.store().records().first().createdAt.secsTo(QDateTime::currentDateTime()) < 60) {
            paintsAtDone = paints.paints();
        }
    });
    while (paintsAtDone < 0) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    paints.waitBeyond(paintsAtDone);
    const double total = msSince(start);
    return {total, meter.stop()};
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);

    // Show: a library of 10,000 against an empty one.
    const double rssBefore = residentMb();
    Library big(10000);
    Library empty(0);
    const double bigMs = firstPaintMs(big);
    const double emptyMs = firstPaintMs(empty);
    bench::report("shelf_first_paint_10k", bigMs, "ms");
    bench::report("shelf_first_paint_10k_vs_empty", bigMs / emptyMs, "x");

    // Scrolling and memory, on one shelf kept open.
    {
        const double rssLibrary = residentMb();
        CaptureRepository repository(*big.settings, big.baseFolder);
        HistoryBarController bar(repository, {}, nullptr);
        bar.show();
        QListView& row = bar.panel()->view().row();
        waitForRowPaint(row.viewport());
        QScrollBar* scroll = row.horizontalScrollBar();
        const int page = row.viewport()->width();
        constexpr int kSteps = 24;
        std::vector<double> frames;
        const PaintWatch paints(row.viewport());
        for (int screen = 0; screen < 20; ++screen) {
            for (int step = 1; step <= kSteps; ++step) {
                const int before = paints.paints();
                const auto start = Clock::now();
                scroll->setValue(scroll->value() + page / kSteps);
                row.viewport()->repaint();
                const double ms = msSince(start);
                // Only frames that were painted count.
                if (paints.paints() > before) {
                    frames.push_back(ms);
                }
                // Pictures read meanwhile come in between frames, as they would.
                QCoreApplication::processEvents();
            }
        }
        // Let the last screen's pictures arrive.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 300) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        const double slowest = *std::max_element(frames.begin(), frames.end());
        if (frames.size() < 100) {
            qFatal("the row was hardly ever repainted while scrolling");
        }
        bench::report("shelf_scroll_frame", bench::median(frames), "ms");
        bench::report("shelf_scroll_frame_max", slowest, "ms");
        bench::report("shelf_rss_10k", residentMb() - rssLibrary, "MB");
        std::printf("# resident before the libraries were built: %.1f MB\n", rssBefore);
    }

    // Pruning a large library, against a capture that prunes nothing.
    std::vector<double> pruneTimes, stalls, plainTimes;
    for (int run = 0; run < 5; ++run) {
        const PruneResult pruned = captureInto(3000);
        pruneTimes.push_back(pruned.totalMs);
        stalls.push_back(pruned.stallMs);
        plainTimes.push_back(captureInto(99).totalMs);
    }
    const double pruneMs = bench::median(pruneTimes);
    bench::report("prune_3000_to_100", pruneMs, "ms");
    bench::report("prune_ui_stall", bench::median(stalls), "ms");
    bench::report("prune_3000_to_100_vs_no_prune", pruneMs / bench::median(plainTimes), "x");
    return 0;
}
