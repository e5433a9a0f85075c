#include "platform/render/FaxTestSupport.h"
#include "platform/render/OfficeSession.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>

using namespace qm;
using qm::test::toolOutput;

namespace {

const QString kData = QStringLiteral(QM_SOURCE_DIR "/tests/platform/render/data/");

QByteArray fileHash(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QString xlsSetup(const QString& path)
{
    return QString::fromUtf8(
               toolOutput(
                   QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(QM_SOURCE_DIR "/tests/platform/render/xls_setup.py"), path}))
        .trimmed();
}

// Position of the first word of a PDF (points from the top left), from pdftotext -bbox.
QPointF firstWordAt(const QString& pdf, const QString& word)
{
    const QString html = QString::fromUtf8(toolOutput(
        QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")}));
    const QRegularExpression re(
        QStringLiteral("xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\"[^>]*>%1").arg(word));
    const auto m = re.match(html);
    return m.hasMatch() ? QPointF(m.captured(1).toDouble(), m.captured(2).toDouble())
                        : QPointF(-1, -1);
}

class OfficeTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_office = new OfficeSession();
        QString why;
        if (!s_office->isInstalled(&why))
            s_missing = why;
    }
    static void TearDownTestSuite()
    {
        delete s_office;
        s_office = nullptr;
    }
    void SetUp() override
    {
        if (!s_missing.isEmpty()) {
            if (qm::test::runningInCi())
                FAIL() << s_missing.toStdString();
            GTEST_SKIP() << s_missing.toStdString();
        }
    }
    QString copyFixture(const QString& name, const QString& as)
    {
        const QString target = m_dir.filePath(as);
        EXPECT_TRUE(QFile::copy(kData + name, target));
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        return target;
    }

    QTemporaryDir m_dir;
    static inline OfficeSession* s_office = nullptr;
    static inline QString s_missing;
};

} // namespace

TEST_F(OfficeTest, WorkbookWithPaperSize12BecomesA4WithMarginsAndZoom)
{
    const QString xls = copyFixture(QStringLiteral("b4.xls"), QStringLiteral("請求書 data.xls"));
    ASSERT_EQ(
        xlsSetup(xls),
        QStringLiteral("bottom=0.94 hcenter=0 left=0.762 paper=12 right=0.762 scale=90 top=1.549"));
    const QString pdf = m_dir.filePath(QStringLiteral("out.pdf"));
    const OfficeResult r = s_office->prepare(OfficeKind::Workbook, xls, pdf);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(r.changed);
    // 90 x 0.85 = 76.5, rounded half to even; 0.5 cm margins as Excel reads them.
    EXPECT_EQ(
        xlsSetup(xls),
        QStringLiteral("bottom=0.501 hcenter=1 left=0.499 paper=9 right=0.499 scale=76 top=0.501"));
    // Still a workbook the office opens, and the write-back left it to its owner alone.
    EXPECT_EQ(QFile::permissions(xls) & (QFile::ReadGroup | QFile::ReadOther), 0);
    const QString info = QString::fromUtf8(toolOutput(QStringLiteral("pdfinfo"), {pdf}));
    EXPECT_TRUE(info.contains(QStringLiteral("(A4)"))) << info.toStdString();
    // Only the first sheet goes to the fax.
    EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n"))))
        << info.toStdString();
    const QString text =
        QString::fromUtf8(toolOutput(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")}));
    EXPECT_TRUE(text.contains(QStringLiteral("日本語の行 0")));
    EXPECT_FALSE(text.contains(QStringLiteral("二枚目のシート")));

    const QString again = m_dir.filePath(QStringLiteral("again.pdf"));
    const OfficeResult reopened = s_office->toPdf(OfficeKind::Workbook, xls, again);
    EXPECT_TRUE(reopened.ok) << reopened.error.toStdString();
}

TEST_F(OfficeTest, DocumentBecomesA4WithOneCentimetreMargins)
{
    const QString doc = copyFixture(QStringLiteral("letter.doc"), QStringLiteral("letter.doc"));
    const QString before = m_dir.filePath(QStringLiteral("before.pdf"));
    ASSERT_TRUE(s_office->toPdf(OfficeKind::Document, doc, before).ok);
    EXPECT_TRUE(QString::fromUtf8(toolOutput(QStringLiteral("pdfinfo"), {before}))
                    .contains(QStringLiteral("(letter)")));

    const QString pdf = m_dir.filePath(QStringLiteral("after.pdf"));
    const OfficeResult r = s_office->prepare(OfficeKind::Document, doc, pdf);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const QString info = QString::fromUtf8(toolOutput(QStringLiteral("pdfinfo"), {pdf}));
    EXPECT_TRUE(info.contains(QStringLiteral("(A4)"))) << info.toStdString();
    // The body starts 1 cm (28.3 pt) from the left and top edges although the file has a header.
    const QPointF body = firstWordAt(pdf, QStringLiteral("請求書の本文"));
    EXPECT_NEAR(body.x(), 28.3, 1.5);
    EXPECT_NEAR(body.y(), 28.3, 3.0);

    // The saved file reopens as the same A4 document.
    const QString reopened = m_dir.filePath(QStringLiteral("reopened.pdf"));
    ASSERT_TRUE(s_office->toPdf(OfficeKind::Document, doc, reopened).ok);
    EXPECT_TRUE(QString::fromUtf8(toolOutput(QStringLiteral("pdfinfo"), {reopened}))
                    .contains(QStringLiteral("(A4)")));
    EXPECT_NEAR(firstWordAt(reopened, QStringLiteral("請求書の本文")).x(), 28.3, 1.5);
}

TEST_F(OfficeTest, FilesThatAreNotWord97OrExcel97AreNeverOverwritten)
{
    struct Case
    {
        QString name;
        QByteArray bytes;
        OfficeKind kind;
    };
    QByteArray random(5000, '\0');
    for (int i = 0; i < random.size(); ++i)
        random[i] = char((i * 7919 + 13) % 251);
    const QByteArray truncatedDoc = [] {
        QFile f(kData + QStringLiteral("letter.doc"));
        f.open(QIODevice::ReadOnly);
        return f.read(3000);
    }();
    const QList<Case> cases = {
        {QStringLiteral("random.doc"), random, OfficeKind::Document},
        {QStringLiteral("empty.doc"), QByteArray(), OfficeKind::Document},
        {QStringLiteral("table.xls"), QByteArray("a,b,c\r\n1,2,3\r\n"), OfficeKind::Workbook},
        {QStringLiteral("page.xls"), QByteArray("<html><table><tr><td>1</td></tr></table></html>"),
         OfficeKind::Workbook},
        {QStringLiteral("cut.doc"), truncatedDoc, OfficeKind::Document},
        {QStringLiteral("words.doc"), QByteArray::fromHex("D0CF11E0A1B11AE1") + random,
         OfficeKind::Document},
    };
    for (const Case& c : cases) {
        const QString path = m_dir.filePath(c.name);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.bytes);
        f.close();
        const QByteArray hash = fileHash(path);
        const OfficeResult r =
            s_office->prepare(c.kind, path, m_dir.filePath(c.name + QStringLiteral(".pdf")));
        EXPECT_FALSE(r.ok) << c.name.toStdString();
        EXPECT_FALSE(r.changed) << c.name.toStdString();
        EXPECT_FALSE(r.error.isEmpty()) << c.name.toStdString();
        EXPECT_EQ(fileHash(path), hash) << c.name.toStdString();
    }
    // The office is still usable afterwards.
    const QString doc = copyFixture(QStringLiteral("letter.doc"), QStringLiteral("ok.doc"));
    EXPECT_TRUE(s_office->prepare(OfficeKind::Document, doc).ok);
}

TEST_F(OfficeTest, HungOfficeIsKilledAndTheNextCallStartsAFreshOne)
{
    OfficeOptions options;
    options.callTimeoutMs = 3000;
    OfficeSession session(options);
    const QString doc = copyFixture(QStringLiteral("letter.doc"), QStringLiteral("hang.doc"));
    ASSERT_TRUE(
        session.toPdf(OfficeKind::Document, doc, m_dir.filePath(QStringLiteral("1.pdf"))).ok);
    const qint64 pid = session.officePid();
    ASSERT_GT(pid, 0);

    const QByteArray hash = fileHash(doc);
    ::kill(pid_t(pid), SIGSTOP);
    QElapsedTimer timer;
    timer.start();
    const OfficeResult hung = session.prepare(OfficeKind::Document, doc);
    EXPECT_FALSE(hung.ok);
    EXPECT_LT(timer.elapsed(), 30000);
    EXPECT_EQ(fileHash(doc), hash);
    EXPECT_FALSE(session.isRunning());
    EXPECT_EQ(::kill(pid_t(pid), 0), -1); // gone, and reaped

    const OfficeResult again = session.prepare(OfficeKind::Document, doc);
    EXPECT_TRUE(again.ok) << again.error.toStdString();
    EXPECT_NE(session.officePid(), pid);
}

TEST(OfficeKind, SuffixTestIsCaseSensitive)
{
    OfficeKind kind;
    EXPECT_TRUE(officeKindOf(QStringLiteral("a.xls"), &kind));
    EXPECT_EQ(kind, OfficeKind::Workbook);
    EXPECT_TRUE(officeKindOf(QStringLiteral("a.DOC"), &kind));
    EXPECT_EQ(kind, OfficeKind::Document);
    EXPECT_FALSE(officeKindOf(QStringLiteral("report.Doc"), &kind));
    EXPECT_FALSE(officeKindOf(QStringLiteral("a.xlsx"), &kind));
}

// Nothing is run from a folder or a client another user could have put in its place.
TEST_F(OfficeTest, OnlyItsOwnPrivateFolderAndClientAreUsed)
{
    const QString doc = copyFixture(QStringLiteral("b4.xls"), QStringLiteral("a.xls"));
    QTemporaryDir shared;
    ASSERT_TRUE(QFile::setPermissions(shared.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                         QFile::ExeOwner | QFile::WriteOther |
                                                         QFile::ReadOther | QFile::ExeOther));
    OfficeOptions open;
    open.workDir = shared.path();
    OfficeSession inShared(open);
    const OfficeResult refused = inShared.prepare(OfficeKind::Workbook, doc);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.error.contains(shared.path())) << refused.error.toStdString();
    EXPECT_FALSE(inShared.isRunning()) << "no office started";

    QTemporaryDir mine;
    const QString client = mine.filePath(QStringLiteral("client.py"));
    QFile f(client);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("import sys\nsys.exit(0)\n");
    f.close();
    QFile::setPermissions(client, QFile::ReadOwner | QFile::WriteOwner | QFile::WriteOther);
    OfficeOptions writable;
    writable.workDir = mine.path();
    writable.clientScript = client;
    OfficeSession withWritableClient(writable);
    const OfficeResult notRun = withWritableClient.prepare(OfficeKind::Workbook, doc);
    EXPECT_FALSE(notRun.ok);
    EXPECT_TRUE(notRun.error.contains(client)) << notRun.error.toStdString();
}
