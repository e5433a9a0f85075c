#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace qm::test {

// tests/faults/fault_proxy.py in front of a real server; the mode applies to each new
// connection ("pass", "drop-retr", "drop-dele", "refuse-data", "silent").
class FaultProxy
{
public:
    FaultProxy(const QString& targetHost, int targetPort,
               const QString& mode = QStringLiteral("pass"));
    ~FaultProxy();

    bool started() const { return m_port > 0; }
    int port() const { return m_port; }
    void setMode(const QString& mode);
    // Connections taken so far (those announced within waitMs when none are pending).
    int accepted(int waitMs = 200);

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    int m_accepted = 0;
};

} // namespace qm::test
