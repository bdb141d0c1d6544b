#pragma once

#include <optional>

#include <QFuture>
#include <QImage>
#include <QString>

namespace ivra {

enum class RecognitionError {
    InvalidImage,      // a null or empty image
    EngineUnavailable, // Tesseract or its Ukrainian/English data could not be loaded
    EngineFailed,      // Tesseract gave up on this image
};

// What the user is told about a failure, in one sentence.
QString describe(RecognitionError error);

struct RecognitionResult {
    QString text;                          // empty on failure and when no text was found
    std::optional<RecognitionError> error; // set on failure

    bool ok() const { return !error; }
};

// Recognises the printed Ukrainian and English text of an image: one line per recognised
// text line, in Tesseract's reading order, joined with "\n", no trailing line feed.
class OCRService {
public:
    OCRService() = delete;

    // Runs on a background thread, one request at a time, and never blocks the caller.
    // Continue on the UI thread with `.then(context, ...)`, e.g.
    //     OCRService::recognizeText(image).then(this, [](const RecognitionResult& r) {...});
    static QFuture<RecognitionResult> recognizeText(const QImage& image);

    // The same recognition on the calling thread, for the command line and benchmarks.
    static RecognitionResult recognizeTextBlocking(const QImage& image);
};

} // namespace ivra
