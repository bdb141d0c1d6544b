#include "diagnostics/SignalSafeJsonWriter.h"

#include <cerrno>

namespace ivra::diagnostics {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

std::size_t utf8SequenceLength(const unsigned char* bytes, std::size_t size) noexcept {
    if (size == 0) {
        return 0;
    }
    const unsigned char lead = bytes[0];
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    // The allowed range of the second byte excludes overlong forms, surrogates and values
    // above U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return 0;
    }
    if (size < length || bytes[1] < low || bytes[1] > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (!isContinuation(bytes[i])) {
            return 0;
        }
    }
    return length;
}

void SignalSafeJsonWriter::raw(const char* text) noexcept {
    while (*text != '\0') {
        put(*text++);
    }
}

void SignalSafeJsonWriter::raw(const char* bytes, std::size_t size) noexcept {
    for (std::size_t i = 0; i < size; ++i) {
        put(bytes[i]);
    }
}

void SignalSafeJsonWriter::string(const char* bytes, std::size_t size,
                                  std::size_t maxCharacters) noexcept {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    put('"');
    std::size_t at = 0;
    for (std::size_t characters = 0; at < size && characters < maxCharacters; ++characters) {
        const unsigned char c = data[at];
        const std::size_t length = utf8SequenceLength(data + at, size - at);
        if (length == 0) {
            raw("\xEF\xBF\xBD"); // U+FFFD
            ++at;
            continue;
        }
        if (length > 1) {
            raw(bytes + at, length);
        } else if (c == '"' || c == '\\') {
            put('\\');
            put(static_cast<char>(c));
        } else if (c == '\n') {
            raw("\\n");
        } else if (c == '\t') {
            raw("\\t");
        } else if (c < 0x20) {
            raw("\\u00");
            put(kHexDigits[c >> 4]);
            put(kHexDigits[c & 0xF]);
        } else {
            put(static_cast<char>(c));
        }
        at += length;
    }
    put('"');
}

void SignalSafeJsonWriter::number(std::uint64_t value, int minDigits) noexcept {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && count < static_cast<int>(sizeof digits));
    while (count < minDigits && count < static_cast<int>(sizeof digits)) {
        digits[count++] = '0';
    }
    while (count > 0) {
        put(digits[--count]);
    }
}

void SignalSafeJsonWriter::hex(std::uintptr_t value) noexcept {
    raw("0x");
    char digits[2 * sizeof value];
    int count = 0;
    do {
        digits[count++] = kHexDigits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    while (count > 0) {
        put(digits[--count]);
    }
}

bool SignalSafeJsonWriter::finish() noexcept {
    flushBuffer();
    return !m_failed;
}

void SignalSafeJsonWriter::put(char c) noexcept {
    if (m_used == sizeof m_buffer) {
        flushBuffer();
    }
    m_buffer[m_used++] = c;
}

void SignalSafeJsonWriter::flushBuffer() noexcept {
    std::size_t done = 0;
    while (done < m_used && !m_failed) {
        const ssize_t written = ::write(m_fd, m_buffer + done, m_used - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            m_failed = true;
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    m_used = 0;
}

} // namespace ivra::diagnostics
