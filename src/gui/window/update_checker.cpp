#include "gui/window/update_checker.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "app/update_check.h"
#include "base/event_log.h"
#include "base/prompter.h"

namespace mdk {

namespace {

// A reply body larger than this is not an update record: the request is broken off.
constexpr qint64 kLargestBody = 64 * 1024;

int httpStatus(QNetworkReply* reply) {
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return status.isValid() ? status.toInt() : 0;
}

}  // namespace

UpdateChecker::UpdateChecker(EventLog& log, Prompter& prompter, Settings settings, QObject* parent)
    : QObject(parent),
      log_(log),
      prompter_(prompter),
      settings_(std::move(settings)),
      network_(new QNetworkAccessManager(this)) {
    network_->setProxy(QNetworkProxy::NoProxy);
    network_->setTransferTimeout(settings_.timeoutMs);
}

bool UpdateChecker::isPlaceholderHost(const QString& host) {
    return host.compare("invalid", Qt::CaseInsensitive) == 0 ||
           host.endsWith(".invalid", Qt::CaseInsensitive);
}

bool UpdateChecker::serverSet(const QUrl& server) {
    return !server.isEmpty() && !isPlaceholderHost(server.host());
}

void UpdateChecker::start() {
    const QUrl& server = settings_.server;
    // No server set: there is nothing to check, so nothing is logged either.
    if (!serverSet(server)) {
        QMetaObject::invokeMethod(this, &UpdateChecker::finish, Qt::QueuedConnection);
        return;
    }
    log_.logLine(update::kLogOpen);
    const bool usable = server.isValid() && !server.host().isEmpty() &&
                        (server.scheme() == "http" || server.scheme() == "https");
    if (!usable) {
        log_.logLine(update::kLogNoConnection);
        QMetaObject::invokeMethod(this, &UpdateChecker::finish, Qt::QueuedConnection);
        return;
    }
    QNetworkReply* reply = get(update::kReleasePath);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { releaseArrived(reply); });
}

QNetworkReply* UpdateChecker::get(const char* path) {
    QUrl url = settings_.server;
    url.setPath(QString::fromLatin1(path));
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Marrowdeck"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(settings_.timeoutMs);
    QNetworkReply* reply = network_->get(request);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kLargestBody) reply->abort();
    });
    return reply;
}

bool UpdateChecker::readReply(QNetworkReply* reply, std::string& text) {
    const int status = httpStatus(reply);
    if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299) {
        const std::string reason =
            status ? "status " + std::to_string(status) : reply->errorString().toStdString();
        log_.logLine("The update server gave no usable reply (" + reason + "). ");
        return false;
    }
    const QByteArray body = reply->readAll();
    text = update::replyText(std::string_view(body.constData(), static_cast<size_t>(body.size())));
    return true;
}

void UpdateChecker::releaseArrived(QNetworkReply* reply) {
    reply->deleteLater();
    if (httpStatus(reply) == 0) {
        log_.logLine(update::kLogNoConnection);
        finish();
        return;
    }
    log_.logLine(update::kLogChecking);
    std::string record;
    if (!readReply(reply, record)) {
        finish();
        return;
    }
    const update::Release release = update::readRelease(record, settings_.versionCode);
    if (release.upToDate) {
        log_.logLine(update::kLogNoUpdate);
        finish();
        return;
    }
    if (release.link.empty()) {
        log_.logLine("No update offered: " + release.refusal + ". ");
        finish();
        return;
    }
    QNetworkReply* message = get(update::kMessagePath);
    connect(message, &QNetworkReply::finished, this,
            [this, message, link = release.link] { messageArrived(message, link); });
}

void UpdateChecker::messageArrived(QNetworkReply* reply, const std::string& link) {
    reply->deleteLater();
    std::string text;
    if (!readReply(reply, text)) {
        finish();
        return;
    }
    const PromptAnswer answer =
        prompter_.ask({settings_.title, text, PromptButtons::YesNo, PromptIcon::Information});
    if (answer == PromptAnswer::Yes) {
        log_.logLine(link);
        if (settings_.openLink) settings_.openLink(link);
    }
    finish();
}

void UpdateChecker::finish() {
    if (finished_) return;
    finished_ = true;
    emit finished();
}

}  // namespace mdk
