#include <memory>
#include <utility>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "keyboard/HotkeyBackend.h"
#include "keyboard/KeyPositions.h"
#include "keyboard/ShortcutManager.h"
#include "platform/portal/PortalShortcuts.h"
#include "platform/xdg/IniKeyValueStore.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using namespace ivra;
using platform::PortalShortcut;
using platform::PortalShortcutList;

namespace {

const QString kPortalFrontend = QStringLiteral("/usr/libexec/xdg-desktop-portal");
const QString kPortalName = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kDesktopName = QStringLiteral("org.freedesktop.impl.portal.desktop.ivratest");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");

bool hasOwner(const QString& name) {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(name);
}

} // namespace

// The desktop's side of global shortcuts (org.freedesktop.impl.portal.GlobalShortcuts), as
// a portal backend that the real xdg-desktop-portal forwards Ivra's calls to. It binds what
// it is asked, or answers as the test chose, and notes every call.
class FakeShortcutsDesktop : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.GlobalShortcuts")
public:
    struct Binding {
        QString session;
        PortalShortcutList shortcuts;
        QString trigger(const QString& id) const {
            for (const PortalShortcut& shortcut : shortcuts) {
                if (shortcut.id == id) {
                    return shortcut.properties.value("preferred_trigger").toString();
                }
            }
            return {};
        }
    };

    uint bindResponse = 0;     // 0 binds, 1 the user cancelled, 2 the desktop denied
    QStringList withheld;      // ids a successful answer leaves out
    bool holdsAnswers = false; // answers BindShortcuts only at answerHeld() (a dialog open)
    int sessionsCreated = 0;
    QList<Binding> binds;
    QStringList closedSessions;
    QDBusConnection bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop"));

    bool publish() {
        return bus.registerObject(kPath, this, QDBusConnection::ExportAllContents) &&
               bus.registerVirtualObject(kPath + "/session", &m_sessions,
                                         QDBusConnection::SubPath) &&
               bus.registerService(kDesktopName);
    }
    QString session() const { return binds.isEmpty() ? QString() : binds.last().session; }
    void answerHeld() {
        for (const QDBusMessage& answer : std::exchange(m_held, {})) {
            bus.send(answer);
        }
    }
    void press(const QString& id) { Q_EMIT Activated(QDBusObjectPath(session()), id, 0, {}); }
    // The desktop ends the session on its own (the user withdrew the shortcuts).
    void endSession() {
        closedSessions.append(session());
        bus.send(
            QDBusMessage::createSignal(session(), "org.freedesktop.impl.portal.Session", "Closed"));
    }

public Q_SLOTS:
    uint CreateSession(const QDBusObjectPath&, const QDBusObjectPath&, const QString&,
                       const QVariantMap&, QVariantMap&) {
        ++sessionsCreated;
        return 0;
    }
    // Spelt out: Qt D-Bus finds a slot's argument types by their names.
    uint BindShortcuts(const QDBusObjectPath&, const QDBusObjectPath& session,
                       const QList<ivra::platform::PortalShortcut>& shortcuts, const QString&,
                       const QVariantMap&, QVariantMap& results) {
        binds.append({session.path(), shortcuts});
        PortalShortcutList bound;
        for (const PortalShortcut& shortcut : shortcuts) {
            if (!withheld.contains(shortcut.id)) {
                bound.append(
                    {shortcut.id,
                     {{"description", shortcut.properties.value("description")},
                      {"trigger_description", shortcut.properties.value("preferred_trigger")}}});
            }
        }
        results.insert("shortcuts", QVariant::fromValue(bound));
        if (holdsAnswers) {
            setDelayedReply(true);
            m_held.append(message().createReply(QVariantList{bindResponse, results}));
        }
        return bindResponse;
    }
    uint ListShortcuts(const QDBusObjectPath&, const QDBusObjectPath&, QVariantMap&) { return 2; }

Q_SIGNALS:
    void Activated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                   const QVariantMap& options);

private:
    // The desktop's session objects: only notes their closing.
    class Sessions : public QDBusVirtualObject {
    public:
        explicit Sessions(QStringList& closed)
            : m_closed(closed) {}
        QString introspect(const QString&) const override { return {}; }
        bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
            if (message.member() == "Close") {
                m_closed.append(message.path());
            }
            bus.send(message.createReply());
            return true;
        }

    private:
        QStringList& m_closed;
    };
    Sessions m_sessions{closedSessions};
    QList<QDBusMessage> m_held;
};

// Global shortcuts through the real desktop portal frontend on a private bus, with the fake
// desktop above as its backend: what Ivra binds, which presses reach it, and what a desktop's
// refusal does.
class PortalHotkeysTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_frontend;
    FakeShortcutsDesktop m_desktop;
    std::unique_ptr<HotkeyBackend> m_backend;
    std::unique_ptr<ShortcutManager> m_manager;
    std::unique_ptr<SettingsStore> m_settings;
    QList<CaptureAction> m_started;

    // The portal's frontend, offering GlobalShortcuts only when a backend for this desktop
    // is listed in its folder.
    bool startFrontend(bool withShortcutsBackend) {
        const QString folder = m_dir.filePath(withShortcutsBackend ? "portals" : "none");
        QDir().mkpath(folder);
        if (withShortcutsBackend) {
            test::writeFile(folder + "/ivratest.portal",
                            "[portal]\nDBusName=" + kDesktopName.toUtf8() +
                                "\nInterfaces=org.freedesktop.impl.portal.GlobalShortcuts;\n"
                                "UseIn=ivratest\n");
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CURRENT_DESKTOP", "ivratest");
        environment.insert("XDG_DESKTOP_PORTAL_DIR", folder);
        m_frontend.setProcessEnvironment(environment);
        m_frontend.start(kPortalFrontend, {});
        return m_frontend.waitForStarted() && QTest::qWaitFor([] { return hasOwner(kPortalName); });
    }
    bool stopFrontend() {
        m_frontend.terminate();
        return m_frontend.waitForFinished() &&
               QTest::qWaitFor([] { return !hasOwner(kPortalName); });
    }
    // The settings applied, and their binding at the desktop awaited.
    bool apply() {
        const qsizetype before = m_desktop.binds.size();
        m_manager->applySettings(*m_settings,
                                 [this](CaptureAction action) { m_started.append(action); });
        return QTest::qWaitFor([&] { return m_desktop.binds.size() == before + 1; });
    }
    // Waits until Ivra has taken in the desktop's answer: the area shortcut, bound, is
    // pressed at the desktop after it answered, so its press comes after the answer.
    bool areaPressed() {
        m_desktop.press("1");
        const bool started =
            QTest::qWaitFor([this] { return m_started.contains(CaptureAction::Area); });
        m_started.removeAll(CaptureAction::Area);
        return started;
    }

private Q_SLOTS:
    void initTestCase() {
        platform::registerPortalShortcutTypes();
        QVERIFY2(QFile::exists(kPortalFrontend), "xdg-desktop-portal is missing: run "
                                                 "scripts/install-deps.sh");
        QVERIFY(m_desktop.publish());
    }
    void init() {
        m_settings = std::make_unique<SettingsStore>(
            std::make_shared<platform::IniKeyValueStore>(m_dir.filePath("ivra.conf")));
        m_desktop.bindResponse = 0;
        m_desktop.holdsAnswers = false;
        m_desktop.withheld.clear();
        m_started.clear();
    }
    void cleanup() {
        // The portal's own account of what went wrong (it warns about parts of the desktop
        // this bus lacks even when all goes well).
        if (QTest::currentTestFailed()) {
            qWarning("xdg-desktop-portal: %s", m_frontend.readAllStandardError().constData());
        }
        // Every shortcut unregistered: the session ends, and the next test starts afresh.
        const QString session = m_desktop.session();
        m_manager.reset();
        QTRY_VERIFY(session.isEmpty() || m_desktop.closedSessions.contains(session));
        QFile::remove(m_dir.filePath("ivra.conf"));
    }
    void cleanupTestCase() {
        m_backend.reset();
        stopFrontend();
    }

    void thePortalServesOnlyWhenItOffersShortcuts() {
        // No portal at all, then a portal without a shortcuts backend: X11's grabs are no
        // use in a Wayland session either, so there are no global shortcuts.
        QVERIFY(!createHotkeyBackend());
        QVERIFY(startFrontend(false));
        QVERIFY(!createHotkeyBackend());
        QVERIFY(stopFrontend());
        QVERIFY(startFrontend(true));
        m_backend = createHotkeyBackend();
        QVERIFY(m_backend);
    }

    void bindsTheWholeSetOnceForEachChange() {
        QVERIFY(m_backend);
        m_manager = std::make_unique<ShortcutManager>(*m_backend);
        // A fresh installation: the area capture alone, named and with its trigger.
        QVERIFY(apply());
        QCOMPARE(m_desktop.binds.last().shortcuts.size(), 1);
        const PortalShortcut area = m_desktop.binds.last().shortcuts.first();
        QCOMPARE(area.id, "1");
        QCOMPARE(area.properties.value("description").toString(), "Capture Area");
        QCOMPARE(area.properties.value("preferred_trigger").toString(), "CTRL+SHIFT+1");
        QVERIFY(areaPressed());

        // Two more actions: one binding of all three, in a new session.
        const QString first = m_desktop.session();
        m_settings->setHotKeyEnabled(CaptureAction::Window, true);
        m_settings->setHotKeyEnabled(CaptureAction::Ocr, true);
        m_settings->setHotKeyData(CaptureAction::Ocr,
                                  HotKeyBinding{40, keymod::Control | keymod::Option}.toJson());
        QVERIFY(apply());
        const FakeShortcutsDesktop::Binding all = m_desktop.binds.last();
        QCOMPARE(all.shortcuts.size(), 3);
        QCOMPARE(all.trigger("2"), "CTRL+SHIFT+2");
        QCOMPARE(all.trigger("4"), "ALT+LOGO+k");
        QVERIFY(all.session != first);
        QTRY_VERIFY(m_desktop.closedSessions.contains(first));
        QVERIFY(areaPressed());

        // The same settings again change nothing at the desktop (no session either, which
        // the next change would have shown); that change is bound on its own.
        const int sessions = m_desktop.sessionsCreated;
        m_manager->applySettings(*m_settings, {});
        QCoreApplication::processEvents();
        m_settings->setHotKeyEnabled(CaptureAction::Window, false);
        QVERIFY(apply());
        QCOMPARE(m_desktop.sessionsCreated, sessions + 1);
        QCOMPARE(m_desktop.binds.size(), 3);
        QCOMPARE(m_desktop.binds.last().shortcuts.size(), 2);
        QCOMPARE(m_desktop.binds.last().trigger("2"), QString());

        // Pressed at the desktop: the action of that id, and nothing for ids Ivra does not
        // have or that the portal does not name.
        m_desktop.press("4");
        for (const char* stray : {"2", "9", "ocr"}) {
            m_desktop.press(stray);
        }
        QVERIFY(areaPressed());
        QCOMPARE(m_started, QList<CaptureAction>{CaptureAction::Ocr});

        // Nothing left to bind: the session is closed and no new one made.
        const QString last = m_desktop.session();
        m_manager.reset();
        QTRY_VERIFY(m_desktop.closedSessions.contains(last));
        QCOMPARE(m_desktop.binds.size(), 3);
    }

    void aChangeWhileTheDesktopAsksIsBoundAfterItsAnswer() {
        QVERIFY(m_backend);
        m_manager = std::make_unique<ShortcutManager>(*m_backend);
        // The desktop shows its dialog for the area capture; meanwhile the user switches
        // the window capture on.
        m_desktop.holdsAnswers = true;
        QVERIFY(apply());
        m_settings->setHotKeyEnabled(CaptureAction::Window, true);
        m_manager->applySettings(*m_settings,
                                 [this](CaptureAction action) { m_started.append(action); });
        const QString asked = m_desktop.session();
        const qsizetype binds = m_desktop.binds.size();
        // Its answer is for a set Ivra no longer wants: both are bound afresh.
        m_desktop.holdsAnswers = false;
        m_desktop.answerHeld();
        QTRY_COMPARE(m_desktop.binds.size(), binds + 1);
        QCOMPARE(m_desktop.binds.last().shortcuts.size(), 2);
        QTRY_VERIFY(m_desktop.closedSessions.contains(asked));
        m_desktop.press("2");
        QVERIFY(areaPressed());
        QCOMPARE(m_started, QList<CaptureAction>{CaptureAction::Window});
    }

    void refusalsLeaveTheActionSilent() {
        QVERIFY(m_backend);
        m_manager = std::make_unique<ShortcutManager>(*m_backend);
        m_settings->setHotKeyEnabled(CaptureAction::Window, true);

        // The user cancels the desktop's dialog: neither is registered.
        m_desktop.bindResponse = 1;
        QVERIFY(apply());
        QTRY_VERIFY(!m_manager->isRegistered(1) && !m_manager->isRegistered(2));

        // The desktop binds only the area capture: the window capture goes without, even
        // when the desktop reports its id pressed.
        m_desktop.bindResponse = 0;
        m_desktop.withheld = QStringList{"2"};
        QVERIFY(apply());
        QTRY_VERIFY(!m_manager->isRegistered(2));
        QVERIFY(m_manager->isRegistered(1));
        m_desktop.press("2");
        m_desktop.press("1");
        QTRY_COMPARE(m_started, QList<CaptureAction>{CaptureAction::Area});
        // ... nor does the backend itself pass it on.
        QList<quint32> pressed;
        m_backend->setPressHandler([&pressed](quint32 id) { pressed.append(id); });
        m_desktop.press("2");
        m_desktop.press("1");
        QTRY_COMPARE(pressed, QList<quint32>{1});
        m_backend->setPressHandler([this](quint32 id) { m_manager->dispatch(id); });

        // The same combination for a second action is refused at once: the later one. The
        // set left is the one bound already.
        m_settings->setHotKeyData(CaptureAction::Window,
                                  HotKeyBinding::defaultFor(CaptureAction::Area).toJson());
        m_manager->applySettings(*m_settings, {});
        QVERIFY(m_manager->isRegistered(1));
        QVERIFY(!m_manager->isRegistered(2));

        // The desktop ends the session: nothing is registered any more.
        m_desktop.endSession();
        QTRY_VERIFY(!m_manager->isRegistered(1));
    }

    void triggersFollowTheShortcutsSpecification_data() {
        QTest::addColumn<quint32>("keyCode");
        QTest::addColumn<quint32>("modifiers");
        QTest::addColumn<QString>("trigger");
        using namespace keymod;
        QTest::newRow("digit") << quint32(keypos::Digit1) << (Command | Shift) << "CTRL+SHIFT+1";
        QTest::newRow("letter, all four in order")
            << quint32(keypos::O) << (Control | Shift | Option | Command)
            << "CTRL+ALT+SHIFT+LOGO+o";
        QTest::newRow("named key") << quint32(keypos::Return) << Option << "ALT+Return";
        QTest::newRow("punctuation") << 24u << Command << "CTRL+equal";
        QTest::newRow("function key") << 96u << Control << "LOGO+F5";
        QTest::newRow("beyond the classic numbering") << 355u << 0u << "Print";
        QTest::newRow("no key at the position") << 52u << Command << QString();
        QTest::newRow("not a position") << 0x10012u << Command << QString();
    }
    void triggersFollowTheShortcutsSpecification() {
        QFETCH(quint32, keyCode);
        QFETCH(quint32, modifiers);
        QFETCH(QString, trigger);
        QCOMPARE(platform::shortcutTrigger({keyCode, modifiers}).value_or(QString()), trigger);
    }
};

int main(int argc, char** argv) {
    test::runOnPrivateSessionBus(argc, argv);
    // A Wayland session, as far as choosing the backend goes.
    qputenv("XDG_SESSION_TYPE", "wayland");
    QGuiApplication app(argc, argv);
    PortalHotkeysTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "PortalHotkeysTest.moc"
