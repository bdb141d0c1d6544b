// A separate process that stores captures, for the tests that kill it mid-write or take
// its disk space away.
//
//   library_insert_helper loop <base folder> <settings file>
//       inserts 1920x1080 captures (megabytes each) forever, printing "inserted <n>" after each
//   library_insert_helper limited <base folder> <settings file> <max file bytes>
//       inserts one capture with files capped at that size (as on a full disk), printing
//       "stored" or "refused"
#include <csignal>
#include <cstdio>
#include <sys/resource.h>

#include <QGuiApplication>

#include "LibraryTestSupport.h"
#include "library/CaptureRepository.h"

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
    const QImage picture = test::makeGrainyPicture(1920, 1080);

    if (args[1] == QLatin1String("limited") && args.size() == 5) {
        // Writes past the limit fail with EFBIG instead of killing the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{args[4].toULongLong(), args[4].toULongLong()};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool stored =
            repository.insert(picture, std::nullopt, QDateTime::currentDateTime()).has_value();
        std::printf("%s\n", stored ? "stored" : "refused");
        return 0;
    }
    for (int n = 1;; ++n) {
        if (!repository.insert(picture, std::nullopt, QDateTime::currentDateTime())) {
            return 1;
        }
        std::printf("inserted %d\n", n);
        std::fflush(stdout);
    }
}
