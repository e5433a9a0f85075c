#include "FaultProxy.h"

#include <QFile>

namespace qm::test {

FaultProxy::FaultProxy(const QString& targetHost, int targetPort, const QString& mode)
{
    setMode(mode);
    m_process.setProgram(QStringLiteral("python3"));
    m_process.setArguments({QStringLiteral(QM_SOURCE_DIR "/tests/faults/fault_proxy.py"),
                            targetHost, QString::number(targetPort),
                            m_dir.filePath(QStringLiteral("mode"))});
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return;
    while (!m_process.canReadLine() && m_process.waitForReadyRead(5000)) {
    }
    m_port = m_process.readLine().trimmed().toInt();
}

FaultProxy::~FaultProxy()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

void FaultProxy::setMode(const QString& mode)
{
    QFile f(m_dir.filePath(QStringLiteral("mode")));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(mode.toUtf8());
}

} // namespace qm::test

namespace qm::test {

int FaultProxy::accepted(int waitMs)
{
    m_process.waitForReadyRead(waitMs);
    while (m_process.canReadLine()) {
        if (m_process.readLine().trimmed() == "accepted")
            ++m_accepted;
    }
    return m_accepted;
}

} // namespace qm::test
