#include "TransportFloor.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <cstring>
#include <curl/curl.h>
#include <memory>

namespace qm::bench {

namespace {

using Easy = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;

size_t toBuffer(char* data, size_t size, size_t count, void* buffer)
{
    static_cast<QByteArray*>(buffer)->append(data, qsizetype(size * count));
    return size * count;
}

struct Upload
{
    const QByteArray* data = nullptr;
    qsizetype offset = 0;
};

size_t fromBuffer(char* out, size_t size, size_t count, void* userdata)
{
    auto* u = static_cast<Upload*>(userdata);
    const size_t n = std::min(size * count, size_t(u->data->size() - u->offset));
    std::memcpy(out, u->data->constData() + u->offset, n);
    u->offset += qsizetype(n);
    return n;
}

Easy newHandle()
{
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Q_UNUSED(initialised);
    Easy c(curl_easy_init(), &curl_easy_cleanup);
    if (!c)
        return c;
    curl_easy_setopt(c.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c.get(), CURLOPT_USE_SSL, long(CURLUSESSL_TRY));
    const QByteArray ca = qgetenv("QM_CA_FILE");
    if (!ca.isEmpty())
        curl_easy_setopt(c.get(), CURLOPT_CAINFO, ca.constData());
    return c;
}

QString failed(const char* what, CURLcode rc)
{
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                        QString::fromLatin1(curl_easy_strerror(rc)));
}

// Fetches every message of one mailbox on one connection.
bool fetchAll(const QString& host, int port, const FloorMailbox& box, QList<QByteArray>* out,
              bool listOnly, QString* error)
{
    Easy c = newHandle();
    if (!c) {
        *error = QStringLiteral("curl_easy_init");
        return false;
    }
    const QByteArray base = "pop3://" + host.toUtf8() + ':' + QByteArray::number(port);
    const QByteArray user = box.user.toUtf8();
    const QByteArray password = box.password.toUtf8();
    curl_easy_setopt(c.get(), CURLOPT_USERNAME, user.constData());
    curl_easy_setopt(c.get(), CURLOPT_PASSWORD, password.constData());
    QByteArray listing;
    const QByteArray listUrl = base + '/';
    curl_easy_setopt(c.get(), CURLOPT_URL, listUrl.constData());
    curl_easy_setopt(c.get(), CURLOPT_WRITEFUNCTION, &toBuffer);
    curl_easy_setopt(c.get(), CURLOPT_WRITEDATA, &listing);
    CURLcode rc = curl_easy_perform(c.get());
    if (rc != CURLE_OK) {
        *error = failed("POP3 LIST", rc);
        return false;
    }
    if (listOnly)
        return true;
    const int count = int(listing.count('\n'));
    for (int n = 1; n <= count; ++n) {
        QByteArray message;
        const QByteArray url = base + '/' + QByteArray::number(n);
        curl_easy_setopt(c.get(), CURLOPT_URL, url.constData());
        curl_easy_setopt(c.get(), CURLOPT_WRITEDATA, &message);
        rc = curl_easy_perform(c.get());
        if (rc != CURLE_OK) {
            *error = failed("POP3 RETR", rc);
            return false;
        }
        out->append(message);
    }
    return true;
}

} // namespace

bool warmMailbox(const QString& host, int port, const FloorMailbox& box, QString* error)
{
    return fetchAll(host, port, box, nullptr, true, error);
}

FloorResult runTransportFloor(const FloorRun& run)
{
    FloorResult result;
    QElapsedTimer clock;
    clock.start();
    QList<QByteArray> messages;
    for (const FloorMailbox& box : run.mailboxes) {
        if (!fetchAll(run.popHost, run.popPort, box, &messages, false, &result.error))
            return result;
    }
    result.popMs = double(clock.nsecsElapsed()) / 1e6;
    result.fetched = int(messages.size());

    clock.restart();
    Easy c = newHandle();
    if (!c) {
        result.error = QStringLiteral("curl_easy_init");
        return result;
    }
    // One handle, so libcurl keeps the connection (and its TLS session) between transactions.
    const QByteArray url =
        "smtp://" + run.smtpHost.toUtf8() + ':' + QByteArray::number(run.smtpPort) + "/floor";
    const QByteArray from = '<' + run.from.toUtf8() + '>';
    const QByteArray to = '<' + run.to.toUtf8() + '>';
    curl_slist* rcpt = curl_slist_append(nullptr, to.constData());
    curl_easy_setopt(c.get(), CURLOPT_URL, url.constData());
    curl_easy_setopt(c.get(), CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(c.get(), CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(c.get(), CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c.get(), CURLOPT_READFUNCTION, &fromBuffer);
    for (const QByteArray& message : std::as_const(messages)) {
        Upload upload{&message, 0};
        curl_easy_setopt(c.get(), CURLOPT_READDATA, &upload);
        curl_easy_setopt(c.get(), CURLOPT_INFILESIZE_LARGE, curl_off_t(message.size()));
        const CURLcode rc = curl_easy_perform(c.get());
        if (rc != CURLE_OK) {
            result.error = failed("SMTP", rc);
            break;
        }
        ++result.sent;
    }
    c.reset(); // QUIT belongs to the work
    curl_slist_free_all(rcpt);
    result.smtpMs = double(clock.nsecsElapsed()) / 1e6;
    return result;
}

} // namespace qm::bench
