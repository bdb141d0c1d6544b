#include "recognition/OCRService.h"

#include <memory>

#include <QCoreApplication>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include "recognition/ScriptRepair.h"
#include "recognition/TesseractEngine.h"
#include "recognition/TextImagePreparation.h"

namespace ivra {

namespace {

// One worker, so requests queue up instead of each loading its own engine. An idle worker
// retires after a while and frees the engine's memory with it.
constexpr int kWorkerIdleMs = 5 * 60 * 1000;

class RecognitionPool : public QThreadPool {
public:
    RecognitionPool() {
        setMaxThreadCount(1);
        setExpiryTimeout(kWorkerIdleMs);
    }
};

QThreadPool& recognitionPool() {
    static RecognitionPool pool;
    return pool;
}

// Each thread keeps its own engine: Tesseract instances are not thread-safe.
TesseractEngine* engineForThisThread() {
    thread_local std::unique_ptr<TesseractEngine> engine;
    if (!engine) {
        engine = TesseractEngine::create();
    }
    return engine.get();
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
    TesseractEngine* engine = engineForThisThread();
    if (!engine) {
        return {{}, RecognitionError::EngineUnavailable};
    }
    const PreparedTextImage prepared = prepareTextImage(image);
    const auto lines = engine->recognizeLines(prepared.grey);
    if (!lines) {
        return {{}, RecognitionError::EngineFailed};
    }
    QStringList text;
    text.reserve(lines->size());
    for (const QString& line : *lines) {
        text.append(repairMixedScripts(line));
    }
    return {text.join(QLatin1Char('\n')), std::nullopt};
}

QFuture<RecognitionResult> OCRService::recognizeText(const QImage& image) {
    return QtConcurrent::run(&recognitionPool(), [image] { return recognizeTextBlocking(image); });
}

} // namespace ivra
