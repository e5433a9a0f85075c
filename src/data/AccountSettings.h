#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace qm {

// Per-account settings files keyed by AccountNo: FontData.txt, DelString.txt, FaxOpt.txt.

// Per-account update: the line whose field 0 equals accountNo gets `values` as its fields
// after field 0; without such a line one is appended. Every line is written all quoted and
// cut (or padded) to fieldCount fields. Atomic. Lines that are blank are dropped; bytes that
// are not CP932 refuse the update.
bool ApplyAccountLine(const QString& file, const QString& accountNo, const QStringList& values,
                      int fieldCount, QString* error = nullptr);

// Data/FontData.txt, seven quoted fields.
struct FontDataRow
{
    QString AccountNo;
    QString printOn = QStringLiteral("0");  // "1" printing on
    QString printAll = QStringLiteral("0"); // "0" only matching mail, "1" all new mail
    QString printFontName = QStringLiteral("ＭＳ ゴシック");
    QString printFontSize = QStringLiteral("11");
    QString faxFontName = QStringLiteral("ＭＳ ゴシック");
    QString faxFontSize = QStringLiteral("11");

    QStringList toFields() const;
    bool operator==(const FontDataRow&) const = default;
};

// What the service loads for one account.
struct FontSettings
{
    int printMode = 0; // 0 off, 1 matching mail, 2 all new mail
    QString printFontName = QStringLiteral("ＭＳ ゴシック");
    QString printFontSize = QStringLiteral("11");
    QString faxFontName = QStringLiteral("ＭＳ ゴシック");
    QString faxFontSize = QStringLiteral("11");
};

std::optional<FontDataRow> readFontDataRow(const QString& accountNo);
FontSettings fontSettingsFor(const QString& accountNo);
bool saveFontDataRow(const FontDataRow& row, QString* error = nullptr);

// Fax-font reset: every line gets "設定不可" and "0" in fields 5 and 6.
bool resetFaxFonts(QString* error = nullptr);

// One-time creation of FontData.txt from the account file (and FontSet.txt's size).
// Does nothing when FontData.txt exists.
bool CreateFontDataFile(QString* error = nullptr);

// Data/DelString.txt: the deletion strings of an account (TAB-joined in the file).
QStringList readDeleteStrings(const QString& accountNo);
bool saveDeleteStrings(const QString& accountNo, const QStringList& strings,
                       QString* error = nullptr);

// Data/FaxOpt.txt: "mail" or "attach"; "mail" without a matching line or file.
QString readFaxOption(const QString& accountNo);
bool saveFaxOption(const QString& accountNo, const QString& option, QString* error = nullptr);

} // namespace qm
