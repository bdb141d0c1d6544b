// Preloaded into a test process: the file system behaves like FAT on a USB stick, with no
// unnamed temporary files (O_TMPFILE) and no hard links. Each refusal is noted in the file
// named by IVRA_FAT_LIKE_LOG, so the test can tell the fallbacks really ran.

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

using OpenFunction = int (*)(const char*, int, ...);

void note(const char* what) {
    const char* log = std::getenv("IVRA_FAT_LIKE_LOG");
    if (!log) {
        return;
    }
    static auto realOpen = reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, "open"));
    const int fd = realOpen(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
        [[maybe_unused]] const auto written = ::write(fd, what, std::strlen(what));
        ::close(fd);
    }
}

int openWith(const char* symbol, const char* path, int flags, va_list arguments) {
    const auto real = reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, symbol));
    if ((flags & O_TMPFILE) == O_TMPFILE) {
        note("O_TMPFILE\n");
        errno = EOPNOTSUPP;
        return -1;
    }
    const mode_t mode = (flags & O_CREAT) ? mode_t(va_arg(arguments, int)) : 0;
    return real(path, flags, mode);
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const int fd = openWith("open", path, flags, arguments);
    va_end(arguments);
    return fd;
}

int open64(const char* path, int flags, ...) {
    va_list arguments;
    va_start(arguments, flags);
    const int fd = openWith("open64", path, flags, arguments);
    va_end(arguments);
    return fd;
}

int link(const char*, const char*) {
    note("link\n");
    errno = EPERM;
    return -1;
}

int linkat(int, const char*, int, const char*, int) {
    note("link\n");
    errno = EPERM;
    return -1;
}

} // extern "C"
