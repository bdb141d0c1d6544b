#include "imageio/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ivra::imageio {

namespace {

constexpr int kMaxNameAttempts = 10000;

struct FdCloser {
    void operator()(const int* fd) const {
        if (*fd >= 0) {
            ::close(*fd);
        }
        delete fd;
    }
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

// Writes the bytes to a fresh temporary file in `directory`, synced to disk.
std::optional<QByteArray> writeTemporary(const QString& directory, const QByteArray& bytes) {
    QByteArray pattern = QFile::encodeName(QDir(directory).filePath(QStringLiteral(".ivra-XXXXXX")));
    const int raw = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (raw < 0) {
        return std::nullopt;
    }
    std::unique_ptr<int, FdCloser> fd(new int(raw));
    // mkostemp creates 0600; give the file the permissions a normal file gets.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(*fd, 0666 & ~mask);
    if (!writeAll(*fd, bytes) || ::fsync(*fd) != 0) {
        ::unlink(pattern.constData());
        return std::nullopt;
    }
    return pattern;
}

QString candidateName(const QString& baseName, const QString& extension, int attempt) {
    const QString stem =
        attempt == 1 ? baseName : QStringLiteral("%1 (%2)").arg(baseName).arg(attempt);
    return extension.isEmpty() ? stem : stem + QLatin1Char('.') + extension;
}

} // namespace

bool writeFileReplacing(const QString& path, const QByteArray& bytes) {
    const QString directory = QFileInfo(path).absolutePath();
    const auto temporary = writeTemporary(directory, bytes);
    if (!temporary) {
        return false;
    }
    if (::rename(temporary->constData(), QFile::encodeName(path).constData()) != 0) {
        ::unlink(temporary->constData());
        return false;
    }
    return true;
}

std::optional<QString> writeNewFile(const QString& directory, const QString& baseName,
                                    const QString& extension, const QByteArray& bytes) {
    const auto temporary = writeTemporary(directory, bytes);
    if (!temporary) {
        return std::nullopt;
    }
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const QString path = QDir(directory).filePath(candidateName(baseName, extension, attempt));
        const QByteArray target = QFile::encodeName(path);
        // link() fails with EEXIST instead of replacing, which makes taking the name
        // atomic even against another process writing into the same folder.
        if (::link(temporary->constData(), target.constData()) == 0) {
            ::unlink(temporary->constData());
            return path;
        }
        if (errno == EPERM || errno == EOPNOTSUPP) {
            // File systems without hard links (FAT on a USB stick): a rename that
            // refuses to replace does the same job where the kernel supports it.
            if (::renameat2(AT_FDCWD, temporary->constData(), AT_FDCWD, target.constData(),
                            RENAME_NOREPLACE) == 0) {
                return path;
            }
        }
        if (errno != EEXIST) {
            break;
        }
    }
    ::unlink(temporary->constData());
    return std::nullopt;
}

} // namespace ivra::imageio
