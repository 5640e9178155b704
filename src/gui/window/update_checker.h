#pragma once
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <functional>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;

namespace mdk {

class EventLog;
class Prompter;

// The one-time check for a newer release: reads the release record from the update
// server and, when a newer release has a usable link, shows the server's announcement as
// a question and opens the link on Yes. Without a server set it does nothing. Every request runs
// asynchronously with a time-out; the GUI thread never waits on the network. Emits finished() once,
// whatever happened.
class UpdateChecker final : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QUrl server;              // scheme, host and port of the update server
        std::string versionCode;  // this release's code ("V600")
        std::string title;        // the question's title (message 89)
        int timeoutMs = 15000;    // per request
        std::function<void(const std::string&)> openLink;  // the browser (xdg-open)
    };

    UpdateChecker(EventLog& log, Prompter& prompter, Settings settings, QObject* parent = nullptr);

    // Starts the check; returns at once.
    void start();

    // True for a host that is never looked up: the placeholder of the ".invalid" domain.
    static bool isPlaceholderHost(const QString& host);
    // False for an empty address and for the placeholder host (the default): no update
    // server is set, and start() then finishes without a request or a log line.
    static bool serverSet(const QUrl& server);

signals:
    void finished();

private:
    QNetworkReply* get(const char* path);
    // The reply's text when it succeeded with a 2xx status; false (and a log line) when not.
    bool readReply(QNetworkReply* reply, std::string& text);
    void releaseArrived(QNetworkReply* reply);
    void messageArrived(QNetworkReply* reply, const std::string& link);
    void finish();

    EventLog& log_;
    Prompter& prompter_;
    Settings settings_;
    QNetworkAccessManager* network_;
    bool finished_ = false;
};

}  // namespace mdk
