#include "platform/render/OfficeSession.h"

#include "data/AtomicFile.h"
#include "data/TextCodec.h"
#include "platform/render/ProcessRunner.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>
#include <cerrno>
#include <csignal>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace qm {

namespace {

// OLE2 compound file: what Word 97 and Excel 97 files are. An empty or foreign file
// never gets near the office's save.
const QByteArray kOle2Magic = QByteArray::fromHex("D0CF11E0A1B11AE1");

bool hasOle2Magic(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(8) == kOle2Magic;
}

constexpr int kRestartExitCode = 81; // a new profile was made; the office wants a restart

// The UNO client, compiled in: the program folder holds the executables only.
QByteArray officeClientScript()
{
    QFile script(QStringLiteral(":/qm-office.py"));
    return script.open(QIODevice::ReadOnly) ? script.readAll() : QByteArray();
}

// Whether path is ours alone: not a link, owned by this user, nobody else may write it (and,
// for a folder, nobody else may look into it). Anything else in the shared temporary folder
// could have been put there by another user to make us run their code.
bool isOurs(const QString& path, bool folder, QString* why)
{
    struct stat st;
    const bool ok = ::lstat(QFile::encodeName(path).constData(), &st) == 0 &&
                    (folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)) &&
                    st.st_uid == ::geteuid() && (st.st_mode & (folder ? 077 : 022)) == 0;
    if (!ok && why)
        *why = QStringLiteral("%1 はこのプログラムのものではないため使いません").arg(path);
    return ok;
}

// Folders of sessions whose program was killed before it could clean up.
void removeStaleRoots()
{
    const QDir temp = QDir::temp();
    for (const QString& name :
         temp.entryList({QStringLiteral("qm-office-*")}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const qint64 pid = name.section(u'-', 2, 2).toLongLong(&ok);
        if (ok && pid > 0 && pid != QCoreApplication::applicationPid() &&
            ::kill(pid_t(pid), 0) != 0 && errno == ESRCH &&
            isOurs(temp.filePath(name), true, nullptr)) // never through another user's link
            QDir(temp.filePath(name)).removeRecursively();
    }
}

} // namespace

bool officeKindOf(const QString& path, OfficeKind* kind)
{
    const QString s = path.size() >= 3 ? path.right(3) : QString();
    if (s == u"xls" || s == u"XLS") {
        *kind = OfficeKind::Workbook;
        return true;
    }
    if (s == u"doc" || s == u"DOC") {
        *kind = OfficeKind::Document;
        return true;
    }
    return false;
}

OfficeSession::OfficeSession(OfficeOptions options) : m_options(std::move(options)) {}

OfficeSession::~OfficeSession()
{
    shutdown();
    if (m_ownRoot && !m_root.isEmpty())
        QDir(m_root).removeRecursively();
}

bool OfficeSession::isInstalled(QString* why) const
{
    if (!QFileInfo(m_options.officeBinary).isExecutable()) {
        if (why)
            *why = QStringLiteral("%1 がありません").arg(m_options.officeBinary);
        return false;
    }
    if (!QFileInfo(m_options.python).isExecutable()) {
        if (why)
            *why = QStringLiteral("%1 がありません").arg(m_options.python);
        return false;
    }
    return true;
}

bool OfficeSession::isRunning() const
{
    return m_office && m_office->state() != QProcess::NotRunning && !m_office->waitForFinished(0);
}

qint64 OfficeSession::officePid() const
{
    return m_office ? m_office->processId() : 0;
}

QString OfficeSession::clientScript() const
{
    return m_options.clientScript.isEmpty() ? m_root + QStringLiteral("/qm-office.py")
                                            : m_options.clientScript;
}

QString OfficeSession::pipeName() const
{
    return QStringLiteral("qm_office_%1_%2")
        .arg(QCoreApplication::applicationPid())
        .arg(quintptr(this), 0, 16);
}

bool OfficeSession::ensureStarted(QString* error)
{
    if (isRunning())
        return true;
    killOffice();

    if (m_root.isEmpty()) {
        if (!m_options.workDir.isEmpty()) {
            m_root = m_options.workDir;
        } else {
            removeStaleRoots();
            // A name nobody can guess, made 0700 by the call that makes it.
            QByteArray name = QFile::encodeName(QDir::temp().filePath(
                QStringLiteral("qm-office-%1-XXXXXX").arg(QCoreApplication::applicationPid())));
            if (!::mkdtemp(name.data())) {
                *error = QStringLiteral("作業フォルダを作れません");
                return false;
            }
            m_root = QFile::decodeName(name);
            m_ownRoot = true;
        }
    }
    if (!isOurs(m_root, true, error) || !QDir().mkpath(m_root + QStringLiteral("/work"))) {
        if (error->isEmpty())
            *error = QStringLiteral("%1 を作れません").arg(m_root);
        return false;
    }
    if (m_options.clientScript.isEmpty()) {
        QString writeError;
        if (!writeFileAtomic(clientScript(), officeClientScript(), &writeError)) {
            *error = writeError;
            return false;
        }
    }
    if (!isOurs(clientScript(), false, error))
        return false;

    const QString profile = m_root + QStringLiteral("/profile");
    const bool freshProfile = !QFileInfo::exists(profile);
    const QStringList args = {
        QStringLiteral("--headless"),
        QStringLiteral("--invisible"),
        QStringLiteral("--norestore"),
        QStringLiteral("--nologo"),
        QStringLiteral("--nodefault"),
        QStringLiteral("--nolockcheck"),
        QStringLiteral("-env:UserInstallation=") +
            QUrl::fromLocalFile(profile).toString(QUrl::FullyEncoded),
        QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipeName())};

    for (int attempt = 0; attempt < 2; ++attempt) {
        m_office = std::make_unique<QProcess>();
        m_office->setProgram(m_options.officeBinary);
        m_office->setArguments(args);
        m_office->setStandardInputFile(QProcess::nullDevice());
        m_office->setStandardOutputFile(QProcess::nullDevice());
        m_office->setStandardErrorFile(QProcess::nullDevice());
        // Own process group (killed as a whole), and gone with us if we die first.
        m_office->setChildProcessModifier([] {
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        });
        m_office->start();
        if (!m_office->waitForStarted(10000)) {
            *error = QStringLiteral("%1 を起動できません").arg(m_options.officeBinary);
            m_office.reset();
            return false;
        }
        if (!freshProfile || attempt == 1)
            return true;
        // With a new profile the office sets it up and exits asking to be started again.
        if (m_office->waitForFinished(m_options.startTimeoutMs)) {
            if (m_office->exitStatus() == QProcess::NormalExit &&
                m_office->exitCode() == kRestartExitCode)
                continue;
            *error = QStringLiteral("文書変換ソフトが終了コード %1 で終わりました")
                         .arg(m_office->exitCode());
            m_office.reset();
            return false;
        }
        return true;
    }
    return true;
}

void OfficeSession::killOffice()
{
    if (!m_office)
        return;
    const qint64 pid = m_office->processId();
    if (pid > 0 && m_office->state() != QProcess::NotRunning)
        ::kill(-static_cast<pid_t>(pid), SIGKILL);
    m_office->waitForFinished(5000);
    m_office.reset();
    QFile::remove(QStringLiteral("/tmp/OSL_PIPE_%1_%2").arg(::getuid()).arg(pipeName()));
}

void OfficeSession::shutdown()
{
    if (!m_office)
        return;
    if (isRunning()) {
        runProcess(m_options.python,
                   {clientScript(), pipeName(), QStringLiteral("terminate"), QStringLiteral("-"),
                    QStringLiteral("-"), QString(), QStringLiteral("5")},
                   15000);
        m_office->waitForFinished(5000);
    }
    killOffice();
}

OfficeResult OfficeSession::prepare(OfficeKind kind, const QString& path, const QString& pdfPath)
{
    return run(kind, path, pdfPath, true);
}

OfficeResult OfficeSession::toPdf(OfficeKind kind, const QString& path, const QString& pdfPath)
{
    return run(kind, path, pdfPath, false);
}

OfficeResult OfficeSession::run(OfficeKind kind, const QString& path, const QString& pdfPath,
                                bool changePages)
{
    OfficeResult result;
    const QFileInfo source(path);
    if (!source.isFile()) {
        result.error = QStringLiteral("%1 がありません").arg(path);
        return result;
    }
    if (!hasOle2Magic(path)) {
        result.error =
            QStringLiteral("%1 は Word 97 / Excel 97 形式ではありません").arg(source.fileName());
        return result;
    }
    QString why;
    if (!isInstalled(&why)) {
        result.error = why;
        return result;
    }
    const bool wasRunning = isRunning();
    if (!ensureStarted(&result.error))
        return result;

    // The office works on a private copy: no lock files or owner changes in the
    // user's folder, and nothing reaches the user's file unless it checks out.
    const QString work = m_root + QStringLiteral("/work/%1").arg(++m_serial);
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    const QString suffix =
        kind == OfficeKind::Workbook ? QStringLiteral(".xls") : QStringLiteral(".doc");
    const QString copy = work + QStringLiteral("/document") + suffix;
    const QString pdfCopy = work + QStringLiteral("/document.pdf");
    if (!QFile::copy(path, copy)) {
        result.error = QStringLiteral("%1 を複写できません").arg(path);
        QDir(work).removeRecursively();
        return result;
    }

    const QString script = clientScript();
    if (!isOurs(script, false, &result.error))
        return result;
    // A running office answers at once; a starting one may take its start-up time.
    const int connectSeconds = (wasRunning ? 5000 : m_options.startTimeoutMs) / 1000;
    const QStringList args = {script,
                              pipeName(),
                              changePages ? QStringLiteral("prepare") : QStringLiteral("pdf"),
                              kind == OfficeKind::Workbook ? QStringLiteral("workbook")
                                                           : QStringLiteral("document"),
                              copy,
                              pdfPath.isEmpty() ? QString() : pdfCopy,
                              QString::number(connectSeconds)};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const ProcessResult r =
        runProcess(m_options.python, args, connectSeconds * 1000 + m_options.callTimeoutMs, env);
    const QString said = QString::fromUtf8(r.out).trimmed();
    if (r.timedOut) {
        // A hung office blocks every call; kill it now and start afresh next time.
        killOffice();
        result.error = QStringLiteral("文書変換ソフトが時間内に応答しません");
    } else if (!r.started) {
        result.error = r.describe(m_options.python);
    } else if (r.exitCode == 2) {
        killOffice();
        result.error = QStringLiteral("文書変換ソフトに接続できません");
    } else if (r.exitCode == 3) {
        result.error =
            QStringLiteral("%1 は Word 97 / Excel 97 として読めません").arg(source.fileName());
    } else if (r.exitCode != 0) {
        result.error = QStringLiteral("文書変換に失敗しました: %1")
                           .arg(said.isEmpty() ? r.describe(m_options.python) : said);
    } else {
        result.ok = true;
    }

    if (result.ok && changePages) {
        if (!hasOle2Magic(copy)) {
            result.ok = false;
            result.error =
                QStringLiteral("変換後のファイルが Word 97 / Excel 97 形式ではありません");
        } else {
            const auto bytes = readFileBytes(copy, &result.error);
            if (!bytes || !writeFileAtomic(path, *bytes, &result.error))
                result.ok = false;
            else
                result.changed = true;
        }
    }
    if (result.ok && !pdfPath.isEmpty()) {
        QFile::remove(pdfPath);
        if (QFileInfo(pdfCopy).size() > 0 && QFile::copy(pdfCopy, pdfPath)) {
            result.pdfPath = pdfPath;
        } else {
            result.ok = false;
            result.error = QStringLiteral("PDF を作れませんでした");
        }
    }
    QDir(work).removeRecursively();
    return result;
}

} // namespace qm
