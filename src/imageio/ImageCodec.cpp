#include "imageio/ImageCodec.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include <spng.h>
#include <turbojpeg.h>

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

namespace ivra::imageio {

namespace {

// Measured on UI-like screenshots (bench/bench_capture_insert): zlib level 1 with
// adaptive filtering is far faster than Qt's level 6 and, thanks to the filters, not
// larger on flat UI content.
constexpr int kPngCompressionLevel = 1;

struct SpngDeleter {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

struct TjDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};

} // namespace

std::optional<QByteArray> encodePng(const QImage& image) {
    if (image.isNull()) {
        return std::nullopt;
    }
    const bool opaque = !image.hasAlphaChannel();
    const QImage pixels =
        image.convertToFormat(opaque ? QImage::Format_RGB888 : QImage::Format_RGBA8888);
    if (pixels.isNull()) {
        return std::nullopt;
    }

    std::unique_ptr<spng_ctx, SpngDeleter> ctx(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!ctx) {
        return std::nullopt;
    }
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, kPngCompressionLevel);

    spng_ihdr ihdr{};
    ihdr.width = static_cast<uint32_t>(pixels.width());
    ihdr.height = static_cast<uint32_t>(pixels.height());
    ihdr.bit_depth = 8;
    ihdr.color_type = opaque ? SPNG_COLOR_TYPE_TRUECOLOR : SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    if (spng_set_ihdr(ctx.get(), &ihdr) != 0) {
        return std::nullopt;
    }

    // spng wants tightly packed rows; QImage pads rows to 4 bytes.
    const size_t rowBytes = static_cast<size_t>(pixels.width()) * (opaque ? 3 : 4);
    int status = spng_encode_image(ctx.get(), nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE);
    for (int y = 0; status == 0 && y < pixels.height(); ++y) {
        status = spng_encode_row(ctx.get(), pixels.constScanLine(y), rowBytes);
    }
    if (status != SPNG_EOI) {
        return std::nullopt;
    }

    size_t length = 0;
    int error = 0;
    void* buffer = spng_get_png_buffer(ctx.get(), &length, &error);
    if (!buffer || error != 0) {
        std::free(buffer);
        return std::nullopt;
    }
    QByteArray bytes(static_cast<const char*>(buffer), static_cast<qsizetype>(length));
    std::free(buffer);
    return bytes;
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
    const int status = tjCompress2(handle.get(), pixels.constBits(), pixels.width(),
                                   static_cast<int>(pixels.bytesPerLine()), pixels.height(),
                                   pixelFormat, &buffer, &length, TJSAMP_420, tjQuality,
                                   TJFLAG_FASTDCT);
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

} // namespace ivra::imageio
