// A separate process that stores captures, for the tests that kill it mid-write or take
// its disk space away.
//
//   library_insert_helper loop <base folder> <settings file>
//       inserts 1920x1080 captures (megabytes each) forever, printing "inserted" after each
//   library_insert_helper limited <base folder> <settings file> <max file bytes>
//       inserts one capture with files capped at that size (as on a full disk), printing
//       "stored" or "refused"
#include <csignal>
#include <cstdio>
#include <sys/resource.h>

#include <QGuiApplication>
#include <QRandomGenerator>

#include "LibraryTestSupport.h"

using namespace ivra;

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        return 2;
    }
    SettingsStore settings(std::make_shared<platform::IniKeyValueStore>(args[3]));
    CaptureRepository repository(settings, args[2]);
    repository.setRetentionLimit(std::nullopt);
    // Pixels that barely compress: the PNG is megabytes, so writing it takes a while.
    QImage picture(1920, 1080, QImage::Format_RGB32);
    QRandomGenerator(12345).fillRange(reinterpret_cast<quint32*>(picture.bits()),
                                      picture.sizeInBytes() / 4);

    if (args[1] == QLatin1String("limited") && args.size() == 5) {
        // Writes past the limit fail with EFBIG instead of killing the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{args[4].toULongLong(), args[4].toULongLong()};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool stored = repository.insert(picture, std::nullopt, {}).has_value();
        std::printf("%s\n", stored ? "stored" : "refused");
        return 0;
    }
    while (repository.insert(picture, std::nullopt, {})) {
        std::printf("inserted\n");
        std::fflush(stdout);
    }
    return 1;
}
