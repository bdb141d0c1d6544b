#include "imageio/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ivra::imageio {

namespace {

constexpr int kMaxNameAttempts = 10000;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept
        : m_fd(other.m_fd) {
        other.m_fd = -1;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

// A fully written and synced file that has no final name yet. Without a path it is an
// unnamed O_TMPFILE file: if the process dies before it is linked, nothing is left behind.
struct Temporary {
    Temporary(int descriptor, QByteArray name)
        : fd(descriptor)
        , path(std::move(name)) {}
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() {
        if (!path.isEmpty()) {
            ::unlink(path.constData());
        }
    }

    FileDescriptor fd;
    QByteArray path;
};

bool writeAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Naming an unnamed file goes through its /proc/self/fd link, which needs /proc mounted.
bool canNameUnnamedFiles() {
    static const bool usable = ::access("/proc/self/fd", X_OK) == 0;
    return usable;
}

// Nothing when the folder cannot take the file (missing, read-only, full).
std::unique_ptr<Temporary> writeTemporary(const QString& directory, const QByteArray& bytes,
                                          bool allowUnnamed) {
    const QByteArray folder = QFile::encodeName(directory);
    std::unique_ptr<Temporary> temporary;
    if (allowUnnamed && canNameUnnamedFiles()) {
        // The mode is filtered by the umask, as for any newly created file.
        const int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temporary = std::make_unique<Temporary>(fd, QByteArray());
        }
        // Otherwise the file system has no unnamed files (FAT, some network mounts): fall
        // back to a hidden named one.
    }
    if (!temporary) {
        QByteArray pattern =
            QFile::encodeName(QDir(directory).filePath(QStringLiteral(".ivra-XXXXXX")));
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        temporary = std::make_unique<Temporary>(fd, pattern);
        // mkostemp creates 0600; give the file the permissions a normal file gets.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (!writeAll(temporary->fd.get(), bytes) || ::fsync(temporary->fd.get()) != 0) {
        return nullptr;
    }
    return temporary;
}

// Gives the temporary file the name `target` unless that name is taken (EEXIST).
bool linkWithoutReplacing(Temporary& temporary, const QByteArray& target) {
    if (temporary.path.isEmpty()) {
        const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(temporary.fd.get());
        return ::linkat(AT_FDCWD, procPath.constData(), AT_FDCWD, target.constData(),
                        AT_SYMLINK_FOLLOW) == 0;
    }
    // link() fails with EEXIST instead of replacing, which makes taking the name atomic
    // even against another process writing into the same folder.
    if (::link(temporary.path.constData(), target.constData()) == 0) {
        return true;
    }
    if (errno == EPERM || errno == EOPNOTSUPP) {
        // File systems without hard links (FAT on a USB stick): a rename that refuses to
        // replace does the same job where the kernel supports it.
        if (::renameat2(AT_FDCWD, temporary.path.constData(), AT_FDCWD, target.constData(),
                        RENAME_NOREPLACE) == 0) {
            temporary.path.clear();
            return true;
        }
    }
    return false;
}

QString candidateName(const QString& baseName, const QString& extension, int attempt) {
    const QString stem =
        attempt == 1 ? baseName : QStringLiteral("%1 (%2)").arg(baseName).arg(attempt);
    return extension.isEmpty() ? stem : stem + QLatin1Char('.') + extension;
}

} // namespace

bool writeFileReplacing(const QString& path, const QByteArray& bytes) {
    // rename() needs a named source, so no unnamed temporary here.
    auto temporary = writeTemporary(QFileInfo(path).absolutePath(), bytes, false);
    if (!temporary) {
        return false;
    }
    if (::rename(temporary->path.constData(), QFile::encodeName(path).constData()) != 0) {
        return false;
    }
    temporary->path.clear();
    return true;
}

std::optional<QString> writeNewFile(const QString& directory, const QString& baseName,
                                    const QString& extension, const QByteArray& bytes) {
    auto temporary = writeTemporary(directory, bytes, true);
    if (!temporary) {
        return std::nullopt;
    }
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const QString path = QDir(directory).filePath(candidateName(baseName, extension, attempt));
        if (linkWithoutReplacing(*temporary, QFile::encodeName(path))) {
            return path;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return std::nullopt;
}

} // namespace ivra::imageio
