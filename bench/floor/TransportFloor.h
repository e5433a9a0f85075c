#pragma once

// The transport floor of a forwarding cycle: what the same mail costs when nothing but the
// transport runs. One POP3 session per mailbox fetches every message into memory; then, on
// one SMTP connection, one transaction per message fetched hands it on as it is. Same
// servers, ports and TLS rules as the program (STARTTLS whenever offered, certificates
// checked against QM_CA_FILE).

#include <QList>
#include <QString>

namespace qm::bench {

struct FloorMailbox
{
    QString user;
    QString password;
};

struct FloorRun
{
    QString popHost;
    int popPort = 0;
    QList<FloorMailbox> mailboxes;
    QString smtpHost;
    int smtpPort = 0;
    QString from; // envelope sender
    QString to;   // envelope recipient of every transaction
};

struct FloorResult
{
    double popMs = 0;
    double smtpMs = 0;
    int fetched = 0;
    int sent = 0;
    QString error; // "" when every message was fetched and sent
    double totalMs() const { return popMs + smtpMs; }
};

FloorResult runTransportFloor(const FloorRun& run);

// A POP3 session that only lists the mailbox, so the server has its index ready before the
// timed runs (whichever contestant came first would otherwise pay for it).
bool warmMailbox(const QString& host, int port, const FloorMailbox& box, QString* error);

} // namespace qm::bench
