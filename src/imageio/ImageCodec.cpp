#include "imageio/ImageCodec.h"

#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

#include <libdeflate.h>
#include <turbojpeg.h>

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include "imageio/PngRowFilter.h"

namespace ivra::imageio {

namespace {

// Measured on screenshots by bench_capture_insert: libdeflate at level 3 with the row
// filters of PngRowFilter is several times faster than zlib at level 6 (Qt's PNG writer)
// and writes smaller files on UI content.
constexpr int kDeflateLevel = 3;

// From this size on the row filtering is split between two threads; below it a thread
// costs more than it saves.
constexpr qint64 kParallelFilterMinPixels = 1 << 20;

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

struct DeflateDeleter {
    void operator()(libdeflate_compressor* compressor) const {
        libdeflate_free_compressor(compressor);
    }
};

struct TjDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};

void putBigEndian(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

// Writes a whole chunk (length, type, data, CRC) at `at`; returns the bytes written.
// The data may already be in place (the compressor writes IDAT data there directly).
size_t putChunk(uint8_t* at, const char type[4], const uint8_t* data, uint32_t length) {
    putBigEndian(at, length);
    std::memcpy(at + 4, type, 4);
    if (length > 0 && data != at + 8) {
        std::memcpy(at + 8, data, length);
    }
    putBigEndian(at + 8 + length, libdeflate_crc32(0, at + 4, length + 4));
    return 12 + static_cast<size_t>(length);
}

// Converts rows [firstRow, endRow) of `image` to straight RGB or RGBA bytes a band at a
// time (small enough to stay in cache) and filters them into `filtered`. False when
// memory runs out.
bool convertAndFilterRows(const QImage& image, QImage::Format target, int bytesPerPixel,
                          uint8_t* filtered, int firstRow, int endRow) noexcept {
    constexpr int kBandRows = 32;
    try {
        const size_t rowBytes = static_cast<size_t>(image.width()) * bytesPerPixel;
        for (int bandStart = firstRow; bandStart < endRow; bandStart += kBandRows) {
            // The band starts one row early: filters need the unfiltered row above.
            const int first = std::max(0, bandStart - 1);
            const int end = std::min(endRow, bandStart + kBandRows);
            QImage band(image.constScanLine(first), image.width(), end - first,
                        image.bytesPerLine(), image.format());
            band.setColorTable(image.colorTable());
            const QImage pixels = band.convertToFormat(target);
            if (pixels.isNull()) {
                return false;
            }
            for (int y = bandStart; y < end; ++y) {
                const uint8_t* previous = y > 0 ? pixels.constScanLine(y - 1 - first) : nullptr;
                filterPngRow(pixels.constScanLine(y - first), previous, rowBytes, bytesPerPixel,
                             filtered + static_cast<size_t>(y) * (rowBytes + 1));
            }
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::optional<QByteArray> encodePngUnchecked(const QImage& image) {
    const bool opaque = !image.hasAlphaChannel();
    // Straight (not premultiplied) RGB or RGBA bytes, as PNG stores them.
    const QImage::Format target = opaque ? QImage::Format_RGB888 : QImage::Format_RGBA8888;
    const int width = image.width();
    const int height = image.height();
    const int bytesPerPixel = opaque ? 3 : 4;
    const size_t filteredBytes =
        (static_cast<size_t>(width) * bytesPerPixel + 1) * static_cast<size_t>(height);
    std::unique_ptr<uint8_t[]> filtered(new uint8_t[filteredBytes]);

    // Rows convert and filter independently, so a large image is split between two
    // threads; the compressor then needs all of them at once.
    int ownRowsEnd = height;
    bool lowerDone = true;
    std::thread lower;
    if (qint64(width) * height >= kParallelFilterMinPixels) {
        try {
            lower = std::thread([&] {
                lowerDone = convertAndFilterRows(image, target, bytesPerPixel, filtered.get(),
                                                 height / 2, height);
            });
            ownRowsEnd = height / 2;
        } catch (const std::system_error&) {
            // No thread to be had: do all rows here.
        }
    }
    const bool ownDone =
        convertAndFilterRows(image, target, bytesPerPixel, filtered.get(), 0, ownRowsEnd);
    if (lower.joinable()) {
        lower.join();
    }
    if (!ownDone || !lowerDone) {
        return std::nullopt;
    }

    std::unique_ptr<libdeflate_compressor, DeflateDeleter> compressor(
        libdeflate_alloc_compressor(kDeflateLevel));
    if (!compressor) {
        return std::nullopt;
    }
    const size_t bound = libdeflate_zlib_compress_bound(compressor.get(), filteredBytes);
    constexpr size_t kHeaderBytes = sizeof(kPngSignature) + 25; // signature + IHDR chunk
    constexpr size_t kTrailerBytes = 4 + 12;                    // IDAT CRC + IEND chunk
    QByteArray png(static_cast<qsizetype>(kHeaderBytes + 8 + bound + kTrailerBytes),
                   Qt::Uninitialized);
    auto* out = reinterpret_cast<uint8_t*>(png.data());

    std::memcpy(out, kPngSignature, sizeof(kPngSignature));
    uint8_t ihdr[13];
    putBigEndian(ihdr, static_cast<uint32_t>(width));
    putBigEndian(ihdr + 4, static_cast<uint32_t>(height));
    ihdr[8] = 8;              // bit depth
    ihdr[9] = opaque ? 2 : 6; // truecolour, truecolour with alpha
    ihdr[10] = 0;             // deflate
    ihdr[11] = 0;             // adaptive filtering
    ihdr[12] = 0;             // no interlace
    putChunk(out + sizeof(kPngSignature), "IHDR", ihdr, sizeof(ihdr));

    // One IDAT chunk: under kMaxPngPixels the stream stays far below a chunk's 2 GiB limit.
    uint8_t* idat = out + kHeaderBytes;
    const size_t compressed =
        libdeflate_zlib_compress(compressor.get(), filtered.get(), filteredBytes, idat + 8, bound);
    if (compressed == 0 || compressed > 0x7fffffffu) {
        return std::nullopt;
    }
    size_t end = kHeaderBytes + putChunk(idat, "IDAT", idat + 8, static_cast<uint32_t>(compressed));
    end += putChunk(out + end, "IEND", nullptr, 0);
    png.resize(static_cast<qsizetype>(end));
    // The buffer was sized for incompressible data; give the rest back.
    png.squeeze();
    return png;
}

} // namespace

std::optional<QByteArray> encodePng(const QImage& image) {
    if (image.isNull() || qint64(image.width()) * image.height() > kMaxPngPixels) {
        return std::nullopt;
    }
    try {
        return encodePngUnchecked(image);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<QByteArray> encodeJpeg(const QImage& image, double quality) {
    if (image.isNull()) {
        return std::nullopt;
    }
    QImage pixels;
    if (image.hasAlphaChannel()) {
        pixels = QImage(image.size(), QImage::Format_RGB32);
        pixels.setDevicePixelRatio(image.devicePixelRatio());
        pixels.fill(Qt::white);
        QPainter painter(&pixels);
        painter.drawImage(QPoint(0, 0), image);
    } else {
        pixels = image.convertToFormat(QImage::Format_RGB32);
    }
    if (pixels.isNull()) {
        return std::nullopt;
    }

    std::unique_ptr<void, TjDeleter> handle(tjInitCompress());
    if (!handle) {
        return std::nullopt;
    }
    const int tjQuality = std::clamp(static_cast<int>(std::lround(quality * 100.0)), 1, 100);
    unsigned char* buffer = nullptr;
    unsigned long length = 0;
    // Format_RGB32 is 0xffRRGGBB in native order: B, G, R, X bytes on little-endian.
    const int pixelFormat = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB;
    const int status = tjCompress2(
        handle.get(), pixels.constBits(), pixels.width(), static_cast<int>(pixels.bytesPerLine()),
        pixels.height(), pixelFormat, &buffer, &length, TJSAMP_420, tjQuality, TJFLAG_FASTDCT);
    if (status != 0 || !buffer) {
        tjFree(buffer);
        return std::nullopt;
    }
    QByteArray bytes(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(length));
    tjFree(buffer);
    return bytes;
}

QImage decode(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    return reader.read();
}

QImage readImageFile(const QString& path, QString* problem) {
    const QFileInfo info(path);
    QString reason;
    QImage image;
    if (!info.exists()) {
        reason = QStringLiteral("no such file");
    } else if (info.isDir()) {
        reason = QStringLiteral("it is a folder");
    } else if (!info.isReadable()) {
        reason = QStringLiteral("permission denied");
    } else {
        QImageReader reader(path);
        reader.setAutoTransform(true);
        image = reader.read();
        if (image.isNull()) {
            reason = reader.errorString();
        }
    }
    if (problem) {
        *problem = reason;
    }
    return image;
}

} // namespace ivra::imageio
