#include "recognition/OCRService.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <numeric>
#include <vector>

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "recognition/ScriptRepair.h"
#include "recognition/TesseractEngine.h"
#include "recognition/TextImagePreparation.h"
#include "recognition/TextLayout.h"

namespace ivra {

namespace {

// One worker takes the requests, so they queue up instead of competing. An idle worker
// retires after a while and frees what it holds with it.
constexpr int kWorkerIdleMs = 5 * 60 * 1000;

class RecognitionPool : public QThreadPool {
public:
    explicit RecognitionPool(int threads) {
        setMaxThreadCount(threads);
        setExpiryTimeout(kWorkerIdleMs);
    }
};

QThreadPool& requestPool() {
    static RecognitionPool pool(1);
    return pool;
}

// The text runs of one request are read by as many workers as there are cores, each with
// an engine of its own (Tesseract instances are not thread-safe), kept while the worker lives.
QThreadPool& runPool() {
    static RecognitionPool pool(std::max(1, QThread::idealThreadCount()));
    return pool;
}

// Runs of at most this many words, read with less than this mean confidence, are not text
// (measured).
constexpr size_t kDoubtedRunWords = 2;
constexpr float kDoubtedRunConfidence = 30;

// This thread's engine, loaded on first use and again when the language data's location
// has changed since.
TesseractEngine* engineForThisThread(const QByteArray& dataPath) {
    thread_local QByteArray loadedFrom;
    thread_local std::unique_ptr<TesseractEngine> engine;
    if (!engine || loadedFrom != dataPath) {
        loadedFrom = dataPath;
        engine = TesseractEngine::create();
    }
    return engine.get();
}

std::optional<std::vector<RecognizedWord>> readRun(TesseractEngine& engine, const QImage& ink,
                                                   const PageSegmentation& page,
                                                   const TextRun& run) {
    const RunImage cut = runImage(ink, page, run);
    auto words = engine.recognizeLineWords(cut.grey);
    if (!words) {
        return std::nullopt;
    }
    restoreUpturnedGhe(*words, cut.grey);
    for (RecognizedWord& word : *words) {
        word.box = cut.pageRect(word.box);
    }
    return words;
}

QString rowText(const LaidOutRow& row) {
    QStringList cells;
    for (const auto& cell : row) {
        QStringList words;
        for (const RecognizedWord& word : cell) {
            words.append(word.text);
        }
        cells.append(words.join(QLatin1Char(' ')));
    }
    return cells.join(QLatin1Char('\t'));
}

} // namespace

QString describe(RecognitionError error) {
    switch (error) {
    case RecognitionError::InvalidImage:
        return QCoreApplication::translate("OCRService", "The image is empty.");
    case RecognitionError::EngineUnavailable:
        return QCoreApplication::translate(
            "OCRService", "Text recognition is not available: Tesseract could not load its "
                          "Ukrainian and English language data.");
    case RecognitionError::EngineFailed:
        return QCoreApplication::translate("OCRService", "Text recognition failed on this image.");
    }
    return {};
}

RecognitionResult OCRService::recognizeTextBlocking(const QImage& image) {
    if (image.isNull() || image.width() == 0 || image.height() == 0) {
        return {{}, RecognitionError::InvalidImage};
    }
    const QByteArray dataPath = qgetenv("TESSDATA_PREFIX");
    const PageForLayout page = preparePageForLayout(image);
    const PageSegmentation segmentation = findTextRuns(page.flattened.ink);
    const std::vector<TextRun>& runs = segmentation.runs;

    // Longest runs first, so that the workers finish together.
    std::vector<size_t> queue(runs.size());
    std::iota(queue.begin(), queue.end(), 0);
    std::sort(queue.begin(), queue.end(), [&](size_t a, size_t b) {
        return runs[a].box.width() * runs[a].box.height() >
               runs[b].box.width() * runs[b].box.height();
    });
    std::vector<ReadRun> read(runs.size());
    std::atomic<size_t> next{0};
    std::atomic<bool> unavailable{false};
    std::atomic<bool> failed{false};
    const auto work = [&] {
        TesseractEngine* engine = engineForThisThread(dataPath);
        if (!engine) {
            unavailable = true;
            return;
        }
        for (size_t i = next++; i < queue.size() && !failed; i = next++) {
            const TextRun& run = runs[queue[i]];
            auto words = readRun(*engine, page.flattened.ink, segmentation, run);
            if (!words) {
                failed = true;
                return;
            }
            read[queue[i]] = {run.box, run.glyphPx, std::move(*words)};
        }
    };
    const int workers = std::clamp(static_cast<int>(runs.size()), 1, runPool().maxThreadCount());
    std::vector<QFuture<void>> running;
    for (int w = 0; w < workers; ++w) {
        running.push_back(QtConcurrent::run(&runPool(), work));
    }
    for (QFuture<void>& future : running) {
        future.waitForFinished();
    }
    if (unavailable) {
        return {{}, RecognitionError::EngineUnavailable};
    }
    if (failed) {
        return {{}, RecognitionError::EngineFailed};
    }

    // What the edges of a coloured bar or a picture leave behind reads as a word or two
    // the engine itself does not believe; a shortcut in a menu's column, read badly, is
    // still a shortcut.
    read.erase(std::remove_if(read.begin(), read.end(),
                              [](const ReadRun& run) {
                                  if (run.words.empty() || run.words.size() > kDoubtedRunWords) {
                                      return run.words.empty();
                                  }
                                  if (std::any_of(run.words.begin(), run.words.end(),
                                                  [](const RecognizedWord& word) {
                                                      return looksLikeShortcut(word.text);
                                                  })) {
                                      return false;
                                  }
                                  float sum = 0;
                                  for (const RecognizedWord& word : run.words) {
                                      sum += word.confidence;
                                  }
                                  return sum / static_cast<float>(run.words.size()) <
                                         kDoubtedRunConfidence;
                              }),
               read.end());
    std::vector<LaidOutRow> rows = layOutRows(read, page.flattened.ink, page.flattened.background);
    for (LaidOutRow& row : rows) {
        dropIconWords(row);
    }
    const bool cyrillicOnPage = showsUkrainian(rows);
    for (LaidOutRow& row : rows) {
        repairRowScripts(row, cyrillicOnPage);
    }
    repairColumnDigits(rows);
    QStringList lines;
    for (const LaidOutRow& row : rows) {
        const QString line = rowText(row).trimmed();
        if (!line.isEmpty()) {
            lines.append(line);
        }
    }
    return {lines.join(QLatin1Char('\n')), std::nullopt};
}

QFuture<RecognitionResult> OCRService::recognizeText(const QImage& image) {
    return QtConcurrent::run(&requestPool(), [image] { return recognizeTextBlocking(image); });
}

} // namespace ivra
