#include "platform/print/ForwardTextPrinter.h"
#include "platform/render/FaxTestSupport.h"

// No print server at all, as on a machine without CUPS: set before anything asks.
static const bool kNoCups = (qputenv("CUPS_SERVER", "/nonexistent/quillmarc-test/cups.sock"), true);

TEST(PrintForwardText, NoDefaultPrinterIsAFailureWithAReason)
{
    const qm::PrintResult r =
        qm::printTextPages(QStringLiteral("本文\r\n"), QStringLiteral("ＭＳ ゴシック"), 11);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_TRUE(r.linesPerPage.isEmpty());
}
