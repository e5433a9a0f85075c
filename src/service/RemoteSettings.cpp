#include "service/RemoteSettings.h"

#include "data/Account.h"
#include "data/AccountFile.h"
#include "data/AccountRecord.h"
#include "data/SettingsLine.h"
#include "data/TextCodec.h"
#include "platform/fax/FaxNumber.h"
#include "service/EngineContext.h"
#include "service/FaxDelivery.h"
#include "service/ForwardMail.h"

namespace qm::service {

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kRemoteError = QStringLiteral("リモート設定エラー");

void reply(EngineContext& ctx, const QString& address, const QString& subject, const QString& body)
{
    SendReplyMail(ctx, address, address, subject, body);
}

void refuse(EngineContext& ctx, const QString& address, const QString& logText,
            const QString& replyBody)
{
    ctx.writeLog(ctx.account.accountName, kRemoteError, logText);
    ctx.showLog();
    reply(ctx, address, kRemoteError, replyBody);
}

enum class RemoteCommand { Start, Stop, Fax, Mail };

std::optional<RemoteCommand> commandFor(const QString& subject)
{
    if (subject == u"転送開始")
        return RemoteCommand::Start;
    if (subject == u"転送終了" || subject == u"転送停止")
        return RemoteCommand::Stop;
    if (subject == u"ファックス")
        return RemoteCommand::Fax;
    if (subject == u"メール")
        return RemoteCommand::Mail;
    return std::nullopt;
}

bool isValidValue(EngineContext& ctx, RemoteCommand command, const QString& line)
{
    // A value the account file cannot hold as it is would be refused at every cycle.
    if (!isStorableField(line) || line.contains(u'\t') || !cp932Keeps(line))
        return false;
    if (command != RemoteCommand::Fax)
        return line.contains(u'@');
    // Only what the fax step can dial, and may under the dialling rules, is stored.
    if (!isValidFaxNumber(line))
        return false;
    const QString rule = DialRefusal(ctx, line, FaxNumberSource::Account);
    if (rule.isEmpty())
        return true;
    ctx.writeLog(ctx.account.accountName, kRemoteError,
                 line + QStringLiteral(" 発信できない番号です (%1)").arg(rule));
    ctx.showLog();
    return false;
}

// How a stored change is logged and answered.
struct Confirmation
{
    QString logText;
    QString logValue;
    QString subject;
    QString body;
};

Confirmation confirmationOf(RemoteCommand command, const QStringList& values, const QString& name)
{
    const QString shown = values.join(u' ');
    const QString listed = values.join(kCrLf);
    switch (command) {
    case RemoteCommand::Start:
        return {QStringLiteral("転送開始（リモート設定）"), QString(), QStringLiteral("転送開始OK"),
                name + kCrLf + QStringLiteral("転送処理を開始しました")};
    case RemoteCommand::Stop:
        return {QStringLiteral("転送停止（リモート設定）"), QString(), QStringLiteral("転送停止OK"),
                name + kCrLf + QStringLiteral("転送処理を停止しました")};
    case RemoteCommand::Mail:
        if (values.isEmpty())
            return {QStringLiteral("メールアドレス削除（リモート設定）"), QString(),
                    QStringLiteral("アドレス削除OK"),
                    name + kCrLf + QStringLiteral("メールアドレスを削除しました")};
        return {QStringLiteral("メールアドレス変更（リモート設定）"), shown,
                QStringLiteral("アドレス変更OK"),
                name + kCrLf + QStringLiteral("アドレス変更") + kCrLf + listed};
    case RemoteCommand::Fax:
        break;
    }
    if (values.isEmpty())
        return {QStringLiteral("FAX番号削除（リモート設定）"), QString(),
                QStringLiteral("FAX番号削除OK"),
                name + kCrLf + QStringLiteral("FAX番号を削除しました")};
    return {QStringLiteral("FAX番号変更（リモート設定）"), shown, QStringLiteral("FAX番号変更OK"),
            name + kCrLf + QStringLiteral("FAX番号変更") + kCrLf + listed};
}

// Stores the change in the account file, logs it and answers replyAddress. False only after
// a failure to rewrite the account file.
bool applyRemoteCommand(EngineContext& ctx, RemoteCommand command, const QString& accountNo,
                        const QStringList& values, const QString& replyAddress)
{
    QString name;
    const RewriteResult result = rewriteAccountFile(
        accountNo,
        [&](AccountRecord& record) {
            switch (command) {
            case RemoteCommand::Start:
                record.ForwardState = forwardStateColumn(ForwardState::Forward);
                break;
            case RemoteCommand::Stop:
                record.ForwardState = forwardStateColumn(ForwardState::Off);
                break;
            case RemoteCommand::Fax:
                record.FaxNumbers = listColumn(values);
                break;
            case RemoteCommand::Mail:
                record.ForwardTo = listColumn(values);
                break;
            }
            name = record.AccountName;
        },
        std::nullopt);
    if (!result.ok) {
        ctx.reportError(result.error);
        return false;
    }
    if (!result.replaced)
        return true;

    const auto [logText, logValue, subject, body] = confirmationOf(command, values, name);
    ctx.writeLog(name, logText, logValue);
    ctx.showLog();
    reply(ctx, replyAddress, subject, body);
    return true;
}

} // namespace

bool HandleRemoteMail(EngineContext& ctx, const QString& subject, const QString& body,
                      const QString& accountNo, const QString& replyAddress, bool* stored)
{
    if (stored)
        *stored = true;
    const std::optional<RemoteCommand> command = commandFor(subject);
    if (!command)
        return false;
    const QString noNumberReply = QStringLiteral("本文の1行目にアカウント番号がありません。");
    if (body.isEmpty()) {
        refuse(ctx, replyAddress, QStringLiteral("本文にアカウント番号なし"), noNumberReply);
        return true;
    }
    const QStringList lines = body.split(kCrLf);
    // One or two digits, "1" meaning "01": nothing else names an account.
    QString first = lines.first();
    if (first.size() == 1)
        first.prepend(u'0');
    if (!AccountRecord::isAccountNumber(first)) {
        refuse(ctx, replyAddress, QStringLiteral("アカウント番号なし"), noNumberReply);
        return true;
    }
    // A command for another account is consumed without a word: it was not meant for us.
    if (first != accountNo)
        return true;

    QStringList values;
    if (*command == RemoteCommand::Fax || *command == RemoteCommand::Mail) {
        bool allValid = true;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QString& line = lines.at(i);
            if (line.isEmpty())
                continue;
            if (isValidValue(ctx, *command, line))
                values << line;
            else
                allValid = false;
        }
        if (!allValid) {
            const QString problem = subject + QStringLiteral("の設定データが正しくありません。");
            refuse(ctx, replyAddress, problem,
                   problem + kCrLf + QStringLiteral("----------------") + kCrLf + body);
            return true;
        }
    }
    const bool applied = applyRemoteCommand(ctx, *command, accountNo, values, replyAddress);
    if (stored)
        *stored = applied;
    return true;
}

} // namespace qm::service
