#pragma once

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include <QImage>
#include <QRect>
#include <QStringList>

namespace tesseract {
class TessBaseAPI;
}

namespace ivra {

// One word as Tesseract read it: its text, its box in the pixels of the image given, and
// how sure the engine is of it (0-100).
struct RecognizedWord {
    QString text;
    QRect box;
    float confidence = 0;
    // Each character read and its box, in the same pixels, as far as the engine tells them.
    std::vector<std::pair<QString, QRect>> characters;
};

// One loaded Tesseract instance for English and Ukrainian. Loading the language data takes
// a noticeable part of a second, so an engine is kept and reused; it is not thread-safe and
// belongs to the thread that uses it.
class TesseractEngine {
public:
    // Nothing when the engine or its language data cannot be loaded.
    static std::unique_ptr<TesseractEngine> create();
    ~TesseractEngine();

    TesseractEngine(const TesseractEngine&) = delete;
    TesseractEngine& operator=(const TesseractEngine&) = delete;

    // The text lines of an image (best given as prepared 8-bit grey) in Tesseract's reading
    // order (blocks and columns found by its page layout analysis), each trimmed, blank
    // lines left out; lines of either polarity. Nothing when recognition fails.
    std::optional<QStringList> recognizeLines(const QImage& image);

    // The words of an image that holds a single line of text, dark on white (best given as
    // prepared 8-bit grey), left to right. Nothing when recognition fails.
    std::optional<std::vector<RecognizedWord>> recognizeLineWords(const QImage& image);

    // English first: with Ukrainian first, English words made of letters both alphabets
    // share came out Cyrillic ("and" as "апа"), while Ukrainian text read as well either
    // way (bench_recognition).
    static constexpr const char* kLanguages = "eng+ukr";

private:
    struct ApiDeleter {
        void operator()(tesseract::TessBaseAPI* api) const;
    };
    explicit TesseractEngine(std::unique_ptr<tesseract::TessBaseAPI, ApiDeleter> api);

    std::unique_ptr<tesseract::TessBaseAPI, ApiDeleter> m_api;
};

} // namespace ivra
