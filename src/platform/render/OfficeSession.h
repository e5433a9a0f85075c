#pragma once

#include <QString>
#include <memory>

class QProcess;

namespace qm {

struct OfficeOptions
{
    QString officeBinary = QStringLiteral("/usr/lib/libreoffice/program/soffice.bin");
    QString python = QStringLiteral("/usr/bin/python3");
    QString clientScript; // the UNO client; empty: the program's own, written into workDir
    QString workDir;      // profile and private copies; empty: a temporary folder
    int startTimeoutMs = 60000;
    int callTimeoutMs = 60000;
};

enum class OfficeKind { Workbook, Document };

struct OfficeResult
{
    bool ok = false;
    bool changed = false; // the file was set up and written back
    QString pdfPath;      // set when a PDF was asked for and made
    QString error;
};

// One headless office with its own profile, kept for many documents (one cycle).
// Every call has a time-out; a hung office is killed by process group and
// started again for the next call. The user's file is never handed to the office:
// it works on a private copy, and the copy is written back only when the office
// recognised it as a Word 97 / Excel 97 document.
class OfficeSession
{
public:
    explicit OfficeSession(OfficeOptions options = {});
    ~OfficeSession();
    OfficeSession(const OfficeSession&) = delete;
    OfficeSession& operator=(const OfficeSession&) = delete;

    // Whether the office and the UNO client can be found here.
    bool isInstalled(QString* why = nullptr) const;

    // Page setup for the fax (A4, margins, zoom rule, centred for workbooks), saved in
    // place in the same format; with pdfPath also a PDF (first sheet of a workbook).
    OfficeResult prepare(OfficeKind kind, const QString& path, const QString& pdfPath = QString());

    // Renders to PDF without changing the file (first sheet only for a workbook).
    OfficeResult toPdf(OfficeKind kind, const QString& path, const QString& pdfPath);

    // Ends the office (terminate over UNO, then kill the group).
    void shutdown();

    bool isRunning() const;
    qint64 officePid() const;

private:
    OfficeResult run(OfficeKind kind, const QString& path, const QString& pdfPath,
                     bool changePages);
    bool ensureStarted(QString* error);
    void killOffice();
    QString pipeName() const;
    QString clientScript() const;

    OfficeOptions m_options;
    std::unique_ptr<QProcess> m_office;
    QString m_root;
    bool m_ownRoot = false;
    int m_serial = 0;
};

// The office kind of an attachment path by its case-sensitive suffix (doc/DOC, xls/XLS).
bool officeKindOf(const QString& path, OfficeKind* kind);

} // namespace qm
