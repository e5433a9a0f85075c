#include "cli/AccountCommands.h"

#include "cli/SignInCommand.h"
#include "data/AccountEntry.h"
#include "data/AccountFile.h"
#include "data/AccountKeys.h"
#include "data/AccountTransaction.h"
#include "data/CommonSettingsEntry.h"
#include "data/MailSecurity.h"
#include "data/Numbers.h"
#include "data/Paths.h"
#include "data/TimerSettings.h"

#include <QHash>
#include <QRegularExpression>
#include <QTextStream>

namespace qm::cli {

namespace {

const QString kAccountTitle = QStringLiteral("アカウント設定");
const QString kCommonTitle = QStringLiteral("共通設定");

const QStringList kCommands{QStringLiteral("--list"),   QStringLiteral("--show"),
                            QStringLiteral("--add"),    QStringLiteral("--set"),
                            QStringLiteral("--delete"), QStringLiteral("--set-common")};

// The key a problem is reported under: its command-line name, or the editor's label for a
// value the command line does not set.
QString fieldName(AccountField field)
{
    if (const AccountKey* key = accountKeyFor(field))
        return key->name;
    switch (field) {
    case AccountField::AccountName:
        return QStringLiteral("AccountName");
    case AccountField::SourceAddress:
        return QStringLiteral("SourceAddress");
    case AccountField::PopUserId:
        return QStringLiteral("PopUserId");
    case AccountField::PopPassword:
        return QStringLiteral("PopPassword");
    case AccountField::PopServer:
        return QStringLiteral("PopServer");
    case AccountField::PopPort:
        return QStringLiteral("PopPort");
    case AccountField::SmtpServer:
        return QStringLiteral("SmtpServer");
    case AccountField::SmtpPort:
        return QStringLiteral("SmtpPort");
    case AccountField::SmtpUser:
        return QStringLiteral("SmtpUser");
    case AccountField::SmtpPassword:
        return QStringLiteral("SmtpPassword");
    case AccountField::ForwardTo:
        return QStringLiteral("ForwardTo");
    case AccountField::ForwardCc:
        return QStringLiteral("ForwardCc");
    case AccountField::ForwardBcc:
        return QStringLiteral("ForwardBcc");
    case AccountField::FaxNumbers:
        return QStringLiteral("FaxNumbers");
    case AccountField::PrintFontName:
        return QStringLiteral("印刷時のフォント");
    case AccountField::PrintFontSize:
        return QStringLiteral("印刷時のフォントサイズ");
    case AccountField::FaxFontName:
        return QStringLiteral("FAX印字のフォント");
    case AccountField::FaxFontSize:
        return QStringLiteral("FAX印字のフォントサイズ");
    case AccountField::RemoteAddress:
        return QStringLiteral("RemoteAddress");
    case AccountField::FilterFrom:
        return QStringLiteral("FilterFrom");
    case AccountField::FilterSubject:
        return QStringLiteral("FilterSubject");
    case AccountField::FilterBody:
        return QStringLiteral("FilterBody");
    case AccountField::SplitChars:
        return QStringLiteral("SplitChars");
    case AccountField::SplitMaxMails:
        return QStringLiteral("SplitMaxMails");
    case AccountField::DeleteStrings:
        return QStringLiteral("削除する文字列");
    }
    return {};
}

// A dialog's message on one line of standard error.
QString oneLine(const QString& message)
{
    return message.split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts)
        .join(u' ');
}

struct Assignment
{
    QString key;
    QString value;
};

bool parseAssignments(const QStringList& args, QList<Assignment>* out, QTextStream& err)
{
    for (const QString& arg : args) {
        const qsizetype eq = arg.indexOf(u'=');
        if (eq <= 0) {
            err << QStringLiteral("KEY=VALUE の形で指定してください: %1\n").arg(arg);
            return false;
        }
        out->append({arg.left(eq), arg.mid(eq + 1)});
    }
    if (out->isEmpty()) {
        err << QStringLiteral("変更する項目を KEY=VALUE で指定してください\n");
        return false;
    }
    return true;
}

class Commands
{
public:
    Commands(QTextStream& out, QTextStream& err) : out(out), err(err) {}

    int list();
    int show(const QString& number);
    int add(const QStringList& args);
    int set(const QString& number, const QStringList& args);
    int remove(const QString& number);
    int setCommon(const QStringList& args);

private:
    std::optional<QList<AccountRecord>> records();
    std::optional<AccountRecord> stored(const QString& number, int* status);
    int apply(AccountEntry entry, const QList<Assignment>& changes);

    QTextStream& out;
    QTextStream& err;
};

std::optional<QList<AccountRecord>> Commands::records()
{
    QString error;
    const auto table = readAccountTable(&error);
    if (!table) {
        err << kAccountTitle << ": " << error << '\n';
        return std::nullopt;
    }
    return table->records;
}

// "1" is account 01, as the list shows it.
QString accountNumberOf(const QString& text)
{
    if (text.size() > 2 || !isAsciiDigits(text))
        return {};
    return formatAccountNo(text.toInt());
}

std::optional<AccountRecord> Commands::stored(const QString& text, int* status)
{
    *status = kCommandUsage;
    const QString number = accountNumberOf(text);
    if (number.isEmpty()) {
        err << QStringLiteral("アカウント番号は 01 から 99 です: %1\n").arg(text);
        return std::nullopt;
    }
    *status = kCommandRefused;
    const auto all = records();
    if (!all)
        return std::nullopt;
    for (const AccountRecord& r : *all) {
        if (r.AccountNo == number)
            return r;
    }
    err << QStringLiteral("アカウント %1 はありません\n").arg(number);
    return std::nullopt;
}

int Commands::list()
{
    const auto all = records();
    if (!all)
        return kCommandRefused;
    for (const AccountRecord& r : *all)
        out << r.AccountNo << '\t' << r.AccountName << '\t' << r.SourceAddress << '\t'
            << forwardStateText(r.ForwardState) << '\n';
    return kCommandDone;
}

int Commands::show(const QString& number)
{
    int status = kCommandDone;
    const auto record = stored(number, &status);
    if (!record)
        return status;
    const AccountEntry entry = storedAccountEntry(*record);
    out << QStringLiteral("AccountNo=") << record->AccountNo << '\n';
    for (const AccountKey& key : accountKeys()) {
        QString value = key.read(entry);
        if (key.secret)
            value = value.isEmpty() ? QString() : QStringLiteral("********");
        else if (key.list)
            value = listItems(value.replace(u'\n', u'\t')).join(u',');
        out << key.name << '=' << value << '\n';
    }
    const MailConnectionValues connection = readMailConnectionValues(number);
    for (auto it = connection.cbegin(); it != connection.cend(); ++it) {
        if (isMailSecurityKey(it.key()))
            out << it.key() << '=' << it.value() << '\n';
    }
    for (const QString& line : signInShowLines(connection))
        out << line << '\n';
    return kCommandDone;
}

int Commands::apply(AccountEntry entry, const QList<Assignment>& changes)
{
    for (const Assignment& a : changes) {
        // Connection settings live beside the account line, in Data/MailConn.txt.
        if (isMailSecurityKey(a.key)) {
            QString problem;
            const auto value = checkMailSecurityValue(a.key, a.value, &problem);
            if (!value) {
                err << kAccountTitle << ": " << problem << '\n';
                return kCommandRefused;
            }
            if (value->isEmpty())
                entry.connection.remove(a.key);
            else
                entry.connection.insert(a.key, *value);
            continue;
        }
        if (isSignInKey(a.key)) {
            QString problem;
            if (!setSignInValue(entry.connection, a.key, a.value, &problem)) {
                err << kAccountTitle << ": " << a.key << ": " << problem << '\n';
                return kCommandRefused;
            }
            continue;
        }
        const AccountKey* key = findAccountKey(a.key);
        if (!key) {
            err << (a.key == u"AccountNo"
                        ? QStringLiteral("アカウント番号は変更できません: %1\n")
                        : QStringLiteral("知らない項目です (unknown key): %1 (--help で一覧)\n"))
                       .arg(a.key);
            return kCommandUsage;
        }
        const auto refuse = [&](const QString& message) {
            err << kAccountTitle << ": " << a.key << ": " << message << '\n';
            return kCommandRefused;
        };
        if (!key->choices.isEmpty() && !key->choices.contains(a.value))
            return refuse(
                QStringLiteral("%1 のどれかを指定してください").arg(key->choices.join(u' ')));
        // On a command line a list is given with ",": a line break would be an item no one sees.
        if (key->list && (a.value.contains(u'\n') || a.value.contains(u'\r')))
            return refuse(QStringLiteral("改行は使えません。複数の値は「,」で区切ってください。"));
        if (key->check) {
            if (const QString problem = key->check(a.value); !problem.isEmpty())
                return refuse(problem);
        }
        // A list goes in as the editor's box holds it: one item a line.
        QString value = a.value;
        if (key->list)
            value.replace(u',', u'\n');
        key->write(entry, value);
    }
    if (const auto problem = validateAccountEntry(entry)) {
        err << kAccountTitle << ": " << fieldName(problem->field) << ": "
            << oneLine(problem->message) << '\n';
        return kCommandRefused;
    }
    QString error;
    if (!saveAccountEntry(entry, &error)) {
        err << kAccountTitle << ": " << QStringLiteral("アカウントを保存できませんでした。")
            << error << '\n';
        return kCommandRefused;
    }
    return kCommandDone;
}

int Commands::add(const QStringList& args)
{
    QList<Assignment> changes;
    if (!parseAssignments(args, &changes, err))
        return kCommandUsage;
    QString error;
    if (!ensureDataDir(&error)) {
        err << kAccountTitle << ": " << error << '\n';
        return kCommandRefused;
    }
    const auto all = records();
    if (!all)
        return kCommandRefused;
    const int next = nextAccountNumber(*all);
    if (next == 0) {
        err << kAccountTitle << ": " << QStringLiteral("アカウントは99件全て登録済みです。\n");
        return kCommandRefused;
    }
    const QString number = formatAccountNo(next);
    AccountEntry entry = storedAccountEntry(newAccountTemplate(number));
    entry.connection.insert(newAccountMailSecurity());
    const int status = apply(entry, changes);
    if (status == kCommandDone)
        out << number << '\n';
    return status;
}

int Commands::set(const QString& number, const QStringList& args)
{
    QList<Assignment> changes;
    if (!parseAssignments(args, &changes, err))
        return kCommandUsage;
    int status = kCommandDone;
    const auto record = stored(number, &status);
    if (!record)
        return status;
    return apply(storedAccountEntry(*record), changes);
}

int Commands::remove(const QString& number)
{
    int status = kCommandDone;
    if (!stored(number, &status))
        return status;
    const AccountDeletion done = deleteAccountAndWorkFiles(accountNumberOf(number));
    if (!done.ok) {
        err << kAccountTitle << ": " << QStringLiteral("アカウントを削除できませんでした。")
            << done.error << '\n';
        return kCommandRefused;
    }
    for (const QString& left : done.filesLeft)
        err << QStringLiteral("削除できなかったファイル: %1\n").arg(left);
    return kCommandDone;
}

int Commands::setCommon(const QStringList& args)
{
    QList<Assignment> changes;
    if (!parseAssignments(args, &changes, err))
        return kCommandUsage;
    CommonSettingsEntry entry = commonSettingsEntryOf(LoadTimerSettings());
    const QHash<QString, QString CommonSettingsEntry::*> texts{
        {QStringLiteral("intervalMinutes"), &CommonSettingsEntry::intervalMinutes},
        {QStringLiteral("logRetentionHours"), &CommonSettingsEntry::logRetentionHours},
        {QStringLiteral("password"), &CommonSettingsEntry::password}};
    const QHash<QString, bool CommonSettingsEntry::*> switches{
        {QStringLiteral("remoteSettingsAllowed"), &CommonSettingsEntry::remoteSettingsAllowed},
        {QStringLiteral("passwordOn"), &CommonSettingsEntry::passwordOn},
        {QStringLiteral("checkAtStart"), &CommonSettingsEntry::checkAtStart},
        {QStringLiteral("checkAtExit"), &CommonSettingsEntry::checkAtExit},
        {QStringLiteral("checkAtAccountSetting"), &CommonSettingsEntry::checkAtAccountSetting},
        {QStringLiteral("detailLog"), &CommonSettingsEntry::detailLog}};
    for (const Assignment& a : changes) {
        if (texts.contains(a.key)) {
            entry.*texts.value(a.key) = a.value;
        } else if (!switches.contains(a.key)) {
            err << QStringLiteral("知らない項目です (unknown key): %1 (--help で一覧)\n")
                       .arg(a.key);
            return kCommandUsage;
        } else if (a.value == u"0" || a.value == u"1") {
            entry.*switches.value(a.key) = a.value == u"1";
        } else {
            err << kCommonTitle << ": " << a.key << ": "
                << QStringLiteral("0 か 1 を指定してください\n");
            return kCommandRefused;
        }
    }
    if (const auto problem = validateCommonSettings(entry)) {
        const QString field = problem->field == CommonSettingsField::IntervalMinutes
                                  ? QStringLiteral("intervalMinutes")
                              : problem->field == CommonSettingsField::LogRetentionHours
                                  ? QStringLiteral("logRetentionHours")
                                  : QStringLiteral("password");
        err << kCommonTitle << ": " << field << ": " << problem->summary << '\n';
        return kCommandRefused;
    }
    QString error;
    if (!ensureDataDir(&error) ||
        !writeTimerSettings(filePaths().settingsFile, timerSettingsOf(entry), &error)) {
        err << kCommonTitle << ": " << QStringLiteral("共通設定を保存できませんでした。") << error
            << '\n';
        return kCommandRefused;
    }
    return kCommandDone;
}

} // namespace

bool isAccountCommand(const QStringList& args)
{
    return !args.isEmpty() && kCommands.contains(args.first());
}

int runAccountCommand(const QStringList& args, QTextStream& out, QTextStream& err)
{
    Commands commands(out, err);
    const QString command = args.value(0);
    const QStringList rest = args.mid(1);
    if (command == u"--list" && rest.isEmpty())
        return commands.list();
    if (command == u"--show" && rest.size() == 1)
        return commands.show(rest.first());
    if (command == u"--add")
        return commands.add(rest);
    if (command == u"--set" && !rest.isEmpty())
        return commands.set(rest.first(), rest.mid(1));
    if (command == u"--delete" && rest.size() == 1)
        return commands.remove(rest.first());
    if (command == u"--set-common")
        return commands.setCommon(rest);
    err << QStringLiteral("使い方が正しくありません。quillmarcB --help を見てください\n");
    return kCommandUsage;
}

QString accountCommandHelp()
{
    QStringList names;
    for (const AccountKey& key : accountKeys())
        names << key.name;
    // Eight names a line keeps --help inside a terminal.
    QStringList lines;
    for (qsizetype i = 0; i < names.size(); i += 8)
        lines << QStringLiteral("  ") + names.mid(i, 8).join(u' ');
    return QStringLiteral(
               "  --list                      番号、名前、受信アドレス、状態を1行に1件\n"
               "  --show NN                   アカウント NN の全項目 (パスワードは表示しません)\n"
               "  --add KEY=VALUE...          アカウントを追加し、その番号を表示します\n"
               "  --set NN KEY=VALUE...       アカウント NN を変更します\n"
               "  --delete NN                 アカウント NN を削除します\n"
               "  --set-common KEY=VALUE...   共通設定 (TimerSet.txt) を変更します\n"
               "  (NN は 1 から 99、01 とも書けます)\n"
               "アカウントの項目:\n%1\n"
               "  (ForwardTo, ForwardCc, ForwardBcc, FaxNumbers, Filter* は「,」区切りで複数)\n"
               "接続の設定: PopSecurity SmtpSecurity (auto required tls none; 追加時は required)\n"
               "  PopCaFile SmtpCaFile (信頼する証明書のフルパス) PopPin SmtpPin (SHA-256の指紋)\n"
               "  SmtpPerConnection (1接続の通数、既定 10) SmtpSizeLimit (KB、0 は制限なし)\n"
               "共通設定の項目: intervalMinutes logRetentionHours remoteSettingsAllowed "
               "passwordOn\n"
               "  password checkAtStart checkAtExit checkAtAccountSetting detailLog\n"
               "終了コード: 0 完了、1 変更を受け付けない・読み書きできない (ファイルはそのまま)、\n"
               "  2 使い方の誤り、3 画面がない (コマンドなしで起動したとき)\n")
               .arg(lines.join(u'\n')) +
           signInHelp();
}

} // namespace qm::cli
