#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

namespace qm {

// One line of the account file: 33 text columns in file order.
struct AccountRecord
{
    static constexpr int kColumnCount = 33;

    // Column numbers, in file order.
    enum Column {
        ColAccountNo = 0,
        ColAccountName,
        ColForwardState,
        ColRemoteAddress,
        ColSourceAddress,
        ColPopUserId,
        ColPopPassword,
        ColPopServer,
        ColPopPort,
        ColUseApop,
        ColSmtpServer,
        ColSmtpPort,
        ColUseSmtpAuth,
        ColSmtpAuthMethod,
        ColSmtpUser,
        ColSmtpPassword,
        ColForwardTo,
        ColForwardCc,
        ColForwardBcc,
        ColFaxNumbers,
        ColFilterFrom,
        ColFilterSubject,
        ColFilterBody,
        ColForwardAsSender,
        ColPhoneEditing,
        ColSplitChars,
        ColSplitMaxMails,
        ColNumberSubjects,
        ColDropSpaces,
        ColDropWideSpaces,
        ColDropTabs,
        ColDropLineBreaks,
        ColDropSymbols
    };

    QString AccountNo;
    QString AccountName;
    QString ForwardState;
    QString RemoteAddress;
    QString SourceAddress;
    QString PopUserId;
    QString PopPassword;
    QString PopServer;
    QString PopPort;
    QString UseApop;
    QString SmtpServer;
    QString SmtpPort;
    QString UseSmtpAuth;
    QString SmtpAuthMethod;
    QString SmtpUser;
    QString SmtpPassword;
    QString ForwardTo;
    QString ForwardCc;
    QString ForwardBcc;
    QString FaxNumbers;
    QString FilterFrom;
    QString FilterSubject;
    QString FilterBody;
    QString ForwardAsSender;
    QString PhoneEditing;
    QString SplitChars;
    QString SplitMaxMails;
    QString NumberSubjects;
    QString DropSpaces;
    QString DropWideSpaces;
    QString DropTabs;
    QString DropLineBreaks;
    QString DropSymbols;

    // Column i as text / set column i (0..32; out of range reads "" and writes nothing).
    QString column(int i) const;
    void setColumn(int i, const QString& value);

    // The 33 values in file order.
    QStringList toFields() const;
    // From exactly 33 fields; nullopt otherwise.
    // nullopt unless there are exactly the columns of a record and the account number is one.
    static std::optional<AccountRecord> fromFields(const QStringList& fields);
    // "01" to "99", two ASCII digits: the number becomes part of folder names.
    static bool isAccountNumber(const QString& text);
    // Reading a line: drop double quotes, split at ","; nullopt unless 33 fields.
    static std::optional<AccountRecord> fromLine(const QString& line);

    // Vacant: PopServer empty (listed, never polled).
    bool isVacant() const { return PopServer.isEmpty(); }

    // Column name as written in this struct ("AccountNo" ... "DropSymbols").
    static QString columnName(int i);
    // The values the editor's check boxes and option buttons store in a column (ForwardState,
    // SmtpAuthMethod, the switches); empty for a column of free text.
    static QStringList columnChoices(int column);

    bool operator==(const AccountRecord&) const = default;
};

// Two-digit account number ("01".."99") for 1..99; empty for anything else.
QString formatAccountNo(int number);

// Next free number: largest column 0 of all records plus one. 0 when that would exceed 99.
int nextAccountNumber(const QList<AccountRecord>& records);

// Items of a list field (split at TAB). An empty field gives no items.
QStringList listItems(const QString& field);

// The fixed records for number NN (see the templates of the account file).
AccountRecord newAccountTemplate(const QString& accountNo);
AccountRecord deletedAccountTemplate(const QString& accountNo);

// Template lines as first written: numbers bare, empty fields as nothing. No line end.
QString newAccountTemplateLine(const QString& accountNo);
QString deletedAccountTemplateLine(const QString& accountNo);

// A replaced record (and every carried-over line): all 33 values quoted. No line end.
QString buildReplacedLine(const AccountRecord& record);
// An appended record: check boxes, ForwardState and SmtpAuthMethod bare, the rest quoted.
QString buildAppendedLine(const AccountRecord& record);

// Editor values to stored form: trailing line breaks dropped from the list fields
// (FaxNumbers keeps one, which becomes a trailing TAB), "," to "." in the five address
// columns, CR LF (and lone LF/CR) to TAB in the seven list fields.
AccountRecord normalizeEditedRecord(AccountRecord record);

// The split values an account forwards with (characters per mail, largest number of mails).
struct SplitValues
{
    bool apply = false; // phone editing is on: the values take effect
    qint16 chars = 0;
    qint16 maxMails = 0;
};

// One split column: empty is 0, otherwise the number readInt16Field takes; nullopt when the
// column holds neither.
std::optional<qint16> readSplitValue(const QString& column);

// The one rule both programs go by. With PhoneEditing "1" both split columns must hold a
// value readSplitValue takes, else nullopt (the account is not served, and the editor does
// not save it). Without phone editing they play no part: whatever they hold gives 0 and 0.
std::optional<SplitValues> splitValuesOf(const AccountRecord& record);

// Names of the columns whose value cannot be stored (contains "," or a double quote).
QStringList unstorableColumns(const AccountRecord& record);

// Text of the account list window for a ForwardState value.
QString forwardStateText(const QString& forwardState);

} // namespace qm
