#include "recognition/TesseractEngine.h"

#include <algorithm>

#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

namespace ivra {

namespace {

struct Utf8TextDeleter {
    void operator()(char* text) const { delete[] text; }
};

} // namespace

void TesseractEngine::ApiDeleter::operator()(tesseract::TessBaseAPI* api) const {
    api->End();
    delete api;
}

std::unique_ptr<TesseractEngine> TesseractEngine::create() {
    std::unique_ptr<tesseract::TessBaseAPI, ApiDeleter> api(new tesseract::TessBaseAPI());
    // A null data path lets TESSDATA_PREFIX or the library's own default find the models.
    if (api->Init(nullptr, kLanguages, tesseract::OEM_LSTM_ONLY) != 0) {
        return nullptr;
    }
    // Tesseract's progress notes and warnings ("Empty page!!") would otherwise land on
    // standard error, which belongs to the command-line user.
    api->SetVariable("debug_file", "/dev/null");
    api->SetPageSegMode(tesseract::PSM_AUTO);
    return std::unique_ptr<TesseractEngine>(new TesseractEngine(std::move(api)));
}

TesseractEngine::TesseractEngine(std::unique_ptr<tesseract::TessBaseAPI, ApiDeleter> api)
    : m_api(std::move(api)) {
}

TesseractEngine::~TesseractEngine() = default;

namespace {

void setImage(tesseract::TessBaseAPI& api, const QImage& image, QImage& pixels) {
    // Grey goes in as it is; anything else as RGB, which Tesseract converts itself.
    pixels = image.format() == QImage::Format_Grayscale8
                 ? image
                 : image.convertToFormat(QImage::Format_RGB888);
    const int bytesPerPixel = pixels.format() == QImage::Format_Grayscale8 ? 1 : 3;
    api.SetImage(pixels.constBits(), pixels.width(), pixels.height(), bytesPerPixel,
                 static_cast<int>(pixels.bytesPerLine()));

    // Tesseract asks OpenMP for ten threads in every step of its line recogniser, whatever
    // omp_set_num_threads says. On a desktop busy with other work, or with two cores, the
    // spinning workers made recognition up to three times slower in bench_recognition, and
    // one thread was never measurably slower. No nested level of parallelism keeps every
    // such region to the calling thread; dynamic thread counts did the same at the price of
    // a load-average and affinity query per region, a fifth of recognition's time. The
    // setting belongs to the calling thread only.
    omp_set_max_active_levels(0);
}

} // namespace

std::optional<QStringList> TesseractEngine::recognizeLines(const QImage& image) {
    if (image.isNull()) {
        return std::nullopt;
    }
    QImage pixels;
    m_api->SetPageSegMode(tesseract::PSM_AUTO);
    m_api->SetVariable("tessedit_do_invert", "1");
    setImage(*m_api, image, pixels);
    if (m_api->Recognize(nullptr) != 0) {
        m_api->Clear();
        return std::nullopt;
    }

    QStringList lines;
    // The iterator reads the results that Clear() frees, so it must go first.
    if (std::unique_ptr<tesseract::ResultIterator> it(m_api->GetIterator()); it) {
        do {
            std::unique_ptr<char, Utf8TextDeleter> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (!text) {
                continue;
            }
            const QString line = QString::fromUtf8(text.get()).trimmed();
            if (!line.isEmpty()) {
                lines.append(line);
            }
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    // Results and the page image are large; release them until the next call.
    m_api->Clear();
    return lines;
}

std::optional<std::vector<RecognizedWord>>
TesseractEngine::recognizeLineWords(const QImage& image) {
    if (image.isNull()) {
        return std::nullopt;
    }
    QImage pixels;
    m_api->SetPageSegMode(tesseract::PSM_SINGLE_LINE);
    // The line comes dark on white already: a doubtful line read again inverted would
    // only cost a second pass.
    m_api->SetVariable("tessedit_do_invert", "0");
    setImage(*m_api, image, pixels);
    if (m_api->Recognize(nullptr) != 0) {
        m_api->Clear();
        return std::nullopt;
    }
    std::vector<RecognizedWord> words;
    if (std::unique_ptr<tesseract::ResultIterator> it(m_api->GetIterator()); it) {
        do {
            std::unique_ptr<char, Utf8TextDeleter> text(it->GetUTF8Text(tesseract::RIL_WORD));
            if (!text) {
                continue;
            }
            RecognizedWord word;
            word.text = QString::fromUtf8(text.get()).trimmed();
            if (word.text.isEmpty()) {
                continue;
            }
            int left = 0;
            int top = 0;
            int right = 0;
            int bottom = 0;
            it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom);
            word.box = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
            word.confidence = it->Confidence(tesseract::RIL_WORD);
            // The characters of the word, on an iterator of their own.
            tesseract::ResultIterator symbols(*it);
            do {
                std::unique_ptr<char, Utf8TextDeleter> symbol(
                    symbols.GetUTF8Text(tesseract::RIL_SYMBOL));
                if (!symbol ||
                    !symbols.BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom)) {
                    break;
                }
                word.characters.emplace_back(
                    QString::fromUtf8(symbol.get()),
                    QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)));
            } while (!symbols.IsAtFinalElement(tesseract::RIL_WORD, tesseract::RIL_SYMBOL) &&
                     symbols.Next(tesseract::RIL_SYMBOL));
            words.push_back(std::move(word));
        } while (it->Next(tesseract::RIL_WORD));
    }
    m_api->Clear();
    std::sort(words.begin(), words.end(), [](const RecognizedWord& a, const RecognizedWord& b) {
        return a.box.left() < b.box.left();
    });
    return words;
}

} // namespace ivra
