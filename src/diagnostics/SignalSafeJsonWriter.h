#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace ivra::diagnostics {

// Writes JSON text to a file descriptor from inside a fatal-signal handler: no allocation,
// no locks, no stdio — only write(2) through a fixed buffer.
class SignalSafeJsonWriter {
public:
    explicit SignalSafeJsonWriter(int fd) noexcept
        : m_fd(fd) {}
    SignalSafeJsonWriter(const SignalSafeJsonWriter&) = delete;
    SignalSafeJsonWriter& operator=(const SignalSafeJsonWriter&) = delete;

    // Text that is already JSON.
    void raw(const char* text) noexcept;
    void raw(const char* bytes, std::size_t size) noexcept;

    // A quoted JSON string holding at most `maxCharacters` characters (code points) of the
    // UTF-8 `bytes`. Bytes that do not form valid UTF-8 become U+FFFD, so the document
    // stays valid whatever a symbol name or path contains.
    void string(const char* bytes, std::size_t size, std::size_t maxCharacters) noexcept;

    // A decimal number, left-padded with zeros to `minDigits`.
    void number(std::uint64_t value, int minDigits = 1) noexcept;
    // "0x" and lower-case hexadecimal digits.
    void hex(std::uintptr_t value) noexcept;

    // Writes out what is buffered; false when any write failed.
    bool finish() noexcept;

private:
    void put(char c) noexcept;
    void flushBuffer() noexcept;

    int m_fd;
    char m_buffer[4096];
    std::size_t m_used = 0;
    bool m_failed = false;
};

// The number of bytes of the valid UTF-8 sequence at the start of `bytes`, or 0 when it
// is not one (a stray continuation byte, an overlong form, a surrogate, a cut sequence).
std::size_t utf8SequenceLength(const unsigned char* bytes, std::size_t size) noexcept;

// Reads `fd` to its end and calls `onLine(const char* bytes, std::size_t size)` for every
// line without its newline, keeping at most the first `LineCapacity` bytes of a line.
// Signal-safe: only read(2) and stack buffers.
template <std::size_t LineCapacity, typename OnLine>
void forEachLine(int fd, OnLine&& onLine) noexcept {
    char chunk[2048];
    char line[LineCapacity];
    std::size_t lineSize = 0;
    bool lineOpen = false;
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (chunk[i] == '\n') {
                onLine(static_cast<const char*>(line), lineSize);
                lineSize = 0;
                lineOpen = false;
                continue;
            }
            lineOpen = true;
            if (lineSize < LineCapacity) {
                line[lineSize++] = chunk[i];
            }
        }
    }
    if (lineOpen) {
        onLine(static_cast<const char*>(line), lineSize);
    }
}

} // namespace ivra::diagnostics
