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
// engines of its own (Tesseract instances are not thread-safe), kept while the worker lives.
QThreadPool& runPool() {
    static RecognitionPool pool(std::max(1, QThread::idealThreadCount()));
    return pool;
}

// Runs of at most this many words, read with less than this mean confidence, are not text
// (measured).
constexpr size_t kDoubtedRunWords = 2;
constexpr float kDoubtedRunConfidence = 30;

struct RunEngines {
    QByteArray dataPath; // TESSDATA_PREFIX when they were loaded
    std::unique_ptr<TesseractEngine> main;
    std::unique_ptr<TesseractEngine> ukrainianFirst;
    bool ukrainianFirstTried = false;

    TesseractEngine* ukrainian() {
        if (!ukrainianFirstTried) {
            ukrainianFirstTried = true;
            ukrainianFirst = TesseractEngine::create(TesseractEngine::kUkrainianFirst);
        }
        return ukrainianFirst.get();
    }
};

// This thread's engines, loaded on first use and again when the language data's location
// has changed since.
RunEngines* enginesForThisThread(const QByteArray& dataPath) {
    thread_local RunEngines engines;
    if (!engines.main || engines.dataPath != dataPath) {
        engines = RunEngines();
        engines.dataPath = dataPath;
        engines.main = TesseractEngine::create();
    }
    return engines.main ? &engines : nullptr;
}

int cyrillicLetters(const std::vector<RecognizedWord>& words, bool cyrillic) {
    int count = 0;
    for (const RecognizedWord& word : words) {
        for (const QChar c : word.text) {
            count += (c.script() == QChar::Script_Cyrillic) == cyrillic && c.isLetter() ? 1 : 0;
        }
    }
    return count;
}

// Where the Ukrainian-first reading of a Cyrillic word has "ґ" and the English-first one
// "г" at the same place, the image shows the hook.
void takeGheWithUpturn(std::vector<RecognizedWord>& words,
                       const std::vector<RecognizedWord>& ukrainian) {
    for (RecognizedWord& word : words) {
        for (const RecognizedWord& other : ukrainian) {
            if (other.text.size() != word.text.size() || !other.box.intersects(word.box)) {
                continue;
            }
            QString merged = word.text;
            bool agrees = true;
            for (qsizetype k = 0; k < merged.size() && agrees; ++k) {
                const QChar a = merged[k];
                const QChar b = other.text[k];
                if (a == b) {
                    continue;
                }
                if ((a == u'г' && b == u'ґ') || (a == u'Г' && b == u'Ґ')) {
                    merged[k] = b;
                } else {
                    agrees = false;
                }
            }
            if (agrees) {
                word.text = merged;
            }
        }
    }
}

std::optional<std::vector<RecognizedWord>>
readRun(RunEngines& engines, const QImage& ink, const PageSegmentation& page, const TextRun& run) {
    const RunImage cut = runImage(ink, page, run);
    auto words = engines.main->recognizeLineWords(cut.grey);
    if (!words) {
        return std::nullopt;
    }
    const bool hasGhe = std::any_of(words->begin(), words->end(), [](const RecognizedWord& w) {
        return w.text.contains(u'г') || w.text.contains(u'Г');
    });
    if (hasGhe && cyrillicLetters(*words, true) > cyrillicLetters(*words, false)) {
        if (TesseractEngine* ukrainian = engines.ukrainian()) {
            if (const auto second = ukrainian->recognizeLineWords(cut.grey)) {
                takeGheWithUpturn(*words, *second);
            }
        }
    }
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
        RunEngines* engines = enginesForThisThread(dataPath);
        if (!engines) {
            unavailable = true;
            return;
        }
        for (size_t i = next++; i < queue.size() && !failed; i = next++) {
            const TextRun& run = runs[queue[i]];
            auto words = readRun(*engines, page.flattened.ink, segmentation, run);
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
    // the engine itself does not believe.
    read.erase(std::remove_if(read.begin(), read.end(),
                              [](const ReadRun& run) {
                                  if (run.words.empty() || run.words.size() > kDoubtedRunWords) {
                                      return run.words.empty();
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
    QStringList lines;
    for (LaidOutRow& row : rows) {
        dropIconWords(row);
        repairRowScripts(row);
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
