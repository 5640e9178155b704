// The update check against a local HTTP server on 127.0.0.1.
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <map>

#include "base/event_log.h"
#include "base/messages.h"
#include "base/prompter.h"
#include "config/linux_settings.h"
#include "gui/window/update_checker.h"
#include "gui_fixture.h"

using namespace mdk;

namespace {

// Answers GET requests from a table of paths; a path without an entry gets 404, and a
// path marked to hang is never answered.
class LocalServer : public QObject {
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        bool hang = false;
    };

    LocalServer() {
        connect(&server_, &QTcpServer::newConnection, this, &LocalServer::accept);
        server_.listen(QHostAddress::LocalHost, 0);
    }
    QUrl url() const { return QUrl(QString("http://127.0.0.1:%1").arg(server_.serverPort())); }

    std::map<QString, Reply> replies;
    QStringList requested;
    QStringList agents;

private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            auto* buffer = new QByteArray;
            connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
                delete buffer;
                socket->deleteLater();
            });
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
                buffer->append(socket->readAll());
                if (!buffer->contains("\r\n\r\n")) return;
                answer(socket, *buffer);
                buffer->clear();
            });
        }
    }
    void answer(QTcpSocket* socket, const QByteArray& request) {
        const QList<QByteArray> lines = request.split('\n');
        const QString path = QString::fromLatin1(lines.value(0).split(' ').value(1));
        requested << path;
        for (const QByteArray& line : lines) {
            if (line.toLower().startsWith("user-agent:")) {
                agents << QString::fromLatin1(line.mid(11).trimmed());
            }
        }
        auto found = replies.find(path);
        Reply reply = found == replies.end() ? Reply{404, "missing"} : found->second;
        if (reply.hang) return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " X\r\n" +
                          "Content-Length: " + QByteArray::number(reply.body.size()) +
                          "\r\nConnection: close\r\n\r\n";
        socket->write(head + reply.body);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
};

class Lines final : public LogView {
public:
    void appendLine(const std::string& text) override { lines << QString::fromStdString(text); }
    void replaceLastLine(const std::string& text) override {
        if (!lines.isEmpty()) lines.last() = QString::fromStdString(text);
    }
    QStringList lines;
};

struct Check {
    MessageTable messages;
    EventLog log{messages};
    Lines lines;
    ScriptedPrompter prompter;
    std::vector<std::string> opened;

    Check() { log.setView(&lines); }
    ~Check() { log.setView(nullptr); }

    // Runs one check to its end.
    void run(const QUrl& server, int timeoutMs = 10000) {
        UpdateChecker::Settings settings;
        settings.server = server;
        settings.versionCode = "V600";
        settings.title = "M89";
        settings.timeoutMs = timeoutMs;
        settings.openLink = [this](const std::string& link) { opened.push_back(link); };
        UpdateChecker checker(log, prompter, settings);
        QSignalSpy done(&checker, &UpdateChecker::finished);
        checker.start();
        QVERIFY(done.wait(20000));
        QCOMPARE(done.count(), 1);
    }
};

}  // namespace

class UpdateCheckTest : public QObject {
    Q_OBJECT
private slots:
    void sameVersionLogsNoUpdateAndShowsNothing();
    void newerReleaseAsksWithTheCutAnnouncementAndOpensTheLinkOnce();
    void noOnTheQuestionOpensNothing();
    void aBadLinkIsRefusedBeforeAnythingIsShown();
    void anErrorStatusShowsNothing();
    void aServerThatNeverAnswersTimesOut();
    void thePlaceholderHostIsNeverLookedUp();
    void theDefaultStartLogsNoUpdateCheck();
    void timer2002ChecksOnlyWithTheOption();
};

void UpdateCheckTest::sameVersionLogsNoUpdateAndShowsNothing() {
    LocalServer server;
    server.replies["/dl/LatestBeta"] = {200, "V600 whatever here"};
    Check check;
    check.run(server.url());
    QCOMPARE(check.lines.lines,
             QStringList({"Open Internet connection. ", "Check if update available. ",
                          "Sorry, no update available yet. "}));
    QVERIFY(check.prompter.shown().empty());
    QCOMPARE(server.requested, QStringList({"/dl/LatestBeta"}));
    QCOMPARE(server.agents, QStringList({"Marrowdeck"}));
}

void UpdateCheckTest::newerReleaseAsksWithTheCutAnnouncementAndOpensTheLinkOnce() {
    LocalServer server;
    server.replies["/dl/LatestBeta"] = {200, "V610 123456789https://example.org/get\r\n"};
    server.replies["/dl/MessageBeta"] = {
        200, QByteArray(45, 'a') + "<b>bold</b>" + QByteArray(300, 'z')};
    Check check;
    check.prompter.queueAnswer(PromptAnswer::Yes);
    check.run(server.url());
    const auto shown = check.prompter.shown();
    QCOMPARE(shown.size(), size_t(1));
    QCOMPARE(shown[0].title, std::string("M89"));
    QCOMPARE(shown[0].buttons, PromptButtons::YesNo);
    QCOMPARE(shown[0].text.size(), size_t(255));
    QCOMPARE(shown[0].text.substr(45, 11), std::string("<b>bold</b>"));
    QCOMPARE(check.opened, std::vector<std::string>({"https://example.org/get"}));
    QVERIFY(check.lines.lines.contains("https://example.org/get"));
}

void UpdateCheckTest::noOnTheQuestionOpensNothing() {
    LocalServer server;
    server.replies["/dl/LatestBeta"] = {200, "V610 123456789http://example.org/"};
    server.replies["/dl/MessageBeta"] = {200, QByteArray(255, 'm')};
    Check check;
    check.prompter.queueAnswer(PromptAnswer::No);
    check.run(server.url());
    QCOMPARE(check.prompter.shown().size(), size_t(1));
    QCOMPARE(check.prompter.shown()[0].text, std::string(255, 'm'));
    QVERIFY(check.opened.empty());
}

void UpdateCheckTest::aBadLinkIsRefusedBeforeAnythingIsShown() {
    LocalServer server;
    server.replies["/dl/LatestBeta"] = {200, "V610 123456789file:///etc/passwd"};
    server.replies["/dl/MessageBeta"] = {200, "Update?"};
    Check check;
    check.prompter.queueAnswer(PromptAnswer::Yes);
    check.run(server.url());
    QVERIFY(check.prompter.shown().empty());
    QVERIFY(check.opened.empty());
    QCOMPARE(server.requested, QStringList({"/dl/LatestBeta"}));
    QVERIFY(check.lines.lines.last().startsWith("No update offered"));
}

void UpdateCheckTest::anErrorStatusShowsNothing() {
    LocalServer server;  // every path answers 404 with a body that is no release record
    Check check;
    check.prompter.queueAnswer(PromptAnswer::Yes);
    check.run(server.url());
    QVERIFY(check.prompter.shown().empty());
    QVERIFY(check.opened.empty());
    QVERIFY(check.lines.lines.last().contains("status 404"));

    LocalServer second;
    second.replies["/dl/LatestBeta"] = {200, "V610 123456789https://example.org/get"};
    Check withoutMessage;  // the announcement is missing
    withoutMessage.run(second.url());
    QVERIFY(withoutMessage.prompter.shown().empty());
    QCOMPARE(second.requested, QStringList({"/dl/LatestBeta", "/dl/MessageBeta"}));
}

void UpdateCheckTest::aServerThatNeverAnswersTimesOut() {
    LocalServer server;
    server.replies["/dl/LatestBeta"] = {200, "", true};
    Check check;
    check.run(server.url(), 300);
    QCOMPARE(check.lines.lines,
             QStringList({"Open Internet connection. ", "Cannot establish Internet connection. "}));
    QVERIFY(check.prompter.shown().empty());
}

void UpdateCheckTest::thePlaceholderHostIsNeverLookedUp() {
    // No server set (the placeholder default, or nothing): no check and no log line.
    for (const char* server : {"http://update.marrowdeck.invalid", "http://INVALID:80", ""}) {
        Check check;
        check.run(QUrl(server));
        QCOMPARE(check.lines.lines, QStringList());
        QVERIFY(check.prompter.shown().empty());
        QVERIFY(!UpdateChecker::serverSet(QUrl(server)));
    }
    QVERIFY(UpdateChecker::isPlaceholderHost("UPDATE.MARROWDECK.INVALID"));
    QVERIFY(!UpdateChecker::isPlaceholderHost("127.0.0.1"));
    QVERIFY(UpdateChecker::serverSet(QUrl("http://127.0.0.1:8080")));
    // A server that is set but cannot be used still reports that it could not connect.
    Check unusable;
    unusable.run(QUrl("ftp://updates.example.org"));
    QCOMPARE(unusable.lines.lines,
             QStringList({"Open Internet connection. ", "Cannot establish Internet connection. "}));
}

void UpdateCheckTest::theDefaultStartLogsNoUpdateCheck() {
    test::GuiFixture f;
    f.config.checkRelease = 1;
    f.writeConfig();
    f.context = std::make_unique<AppContext>(f.programFolder, f.clock);
    f.context->prompter.setTarget(&f.prompter);
    MainWindowServices services = f.services();
    services.updateServer = LinuxSettings().updateServer;
    MainWindow w(*f.context, services);
    w.onTimer(ids::kTimerUpdateCheck);
    QTest::qWait(50);
    const QStringList lines = w.findChildren<LogList*>().first()->lines();
    QVERIFY(!lines.contains("Open Internet connection. "));
    QVERIFY(!lines.contains("Cannot establish Internet connection. "));
}

void UpdateCheckTest::timer2002ChecksOnlyWithTheOption() {
    LocalServer server;
    server.replies["/dl/LatestBeta"] = {200, "V600"};
    for (int option : {0, 1}) {
        test::GuiFixture f;
        f.config.checkRelease = option;
        f.writeConfig();
        f.context = std::make_unique<AppContext>(f.programFolder, f.clock);
        f.context->prompter.setTarget(&f.prompter);
        MainWindowServices services = f.services();
        services.updateServer = server.url().toString().toStdString();
        MainWindow w(*f.context, services);
        w.onTimer(ids::kTimerUpdateCheck);
        if (option) {
            QTRY_VERIFY(w.findChildren<LogList*>().first()->lines().contains(
                "Sorry, no update available yet. "));
        } else {
            QCoreApplication::processEvents();
            QVERIFY(!w.findChildren<LogList*>().first()->lines().contains(
                "Open Internet connection. "));
        }
    }
    QCOMPARE(server.requested, QStringList({"/dl/LatestBeta"}));
}

QTEST_MAIN(UpdateCheckTest)
#include "tst_update_check.moc"
