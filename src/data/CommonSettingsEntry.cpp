#include "data/CommonSettingsEntry.h"

#include "data/Numbers.h"
#include "data/SettingsLine.h"

namespace qm {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

std::optional<CommonSettingsProblem> problem(CommonSettingsField field, const QString& message,
                                             const QString& summary)
{
    return CommonSettingsProblem{field, message, summary};
}

} // namespace

std::optional<CommonSettingsProblem> validateCommonSettings(const CommonSettingsEntry& entry)
{
    const QString minuteRange = QStringLiteral("1分 ～ 1440分（24時間）");
    const auto minuteProblem = [&](const QString& message, const QString& step) {
        return problem(CommonSettingsField::IntervalMinutes,
                       message + step + kCrLf + kCrLf + minuteRange,
                       QStringLiteral("%1（%2）").arg(message, minuteRange));
    };
    const auto minutes = readInt16Field(entry.intervalMinutes);
    if (entry.intervalMinutes.isEmpty())
        return minuteProblem(QStringLiteral("メール受信の間隔を入力してください。"),
                             QStringLiteral("1"));
    // Plain decimal text that is no 16-bit number at all is "not numeric"; a number too big
    // for 16 bits is out of range like any other.
    if (!readNumber(entry.intervalMinutes))
        return minuteProblem(QStringLiteral("メール受信の間隔を入力してください。"),
                             QStringLiteral("2"));
    if (!minutes || *minutes < 1 || *minutes > 1440)
        return problem(CommonSettingsField::IntervalMinutes,
                       QStringLiteral("メール受信の間隔は、1分 ～ 1440分です。3") + kCrLf + kCrLf +
                           minuteRange,
                       QStringLiteral("メール受信の間隔は、1分 ～ 1440分です。"));

    const auto hourProblem = [](const QString& step, const QString& range) {
        const QString message = QStringLiteral("ログ保存期間を入力してください。");
        return problem(CommonSettingsField::LogRetentionHours,
                       message + step + kCrLf + kCrLf + range + kCrLf,
                       QStringLiteral("%1（%2）").arg(message, range));
    };
    const QString hourRange = QStringLiteral("1時間 ～ 168時間");
    const auto hours = readInt16Field(entry.logRetentionHours);
    if (entry.logRetentionHours.isEmpty())
        return hourProblem(QStringLiteral("1"), hourRange);
    if (!readNumber(entry.logRetentionHours))
        return hourProblem(QStringLiteral("2"), QStringLiteral("1時間 ～ 168時間(7日)"));
    if (!hours || *hours < 1 || *hours > 168)
        return hourProblem(QStringLiteral("3"), hourRange);

    if (entry.password.contains(u'\n') || entry.password.contains(u'\r')) {
        const QString message = QStringLiteral("パスワードに改行は使えません。");
        return problem(CommonSettingsField::Password, message, message);
    }
    // The settings line has no escaping: these two characters would shift every field after.
    if (!isStorableField(entry.password)) {
        const QString message =
            QStringLiteral("パスワードに「,」（カンマ）と「\"」（ダブルクォート）は使えません。");
        return problem(CommonSettingsField::Password, message, message);
    }
    return std::nullopt;
}

TimerSettings timerSettingsOf(const CommonSettingsEntry& entry)
{
    TimerSettings s;
    s.intervalMinutes = readInt16Field(entry.intervalMinutes).value_or(s.intervalMinutes);
    s.logRetentionHours = readInt16Field(entry.logRetentionHours).value_or(s.logRetentionHours);
    s.remoteSettingsAllowed = entry.remoteSettingsAllowed ? 1 : 0;
    s.passwordOn = entry.passwordOn ? 1 : 0;
    s.password = entry.password;
    s.checkAtStart = entry.checkAtStart ? 1 : 0;
    s.checkAtExit = entry.checkAtExit ? 1 : 0;
    s.checkAtAccountSetting = entry.checkAtAccountSetting ? 1 : 0;
    s.detailLog = entry.detailLog ? 1 : 0;
    return s;
}

CommonSettingsEntry commonSettingsEntryOf(const TimerSettings& s)
{
    CommonSettingsEntry e;
    e.intervalMinutes = QString::number(s.intervalMinutes);
    e.logRetentionHours = QString::number(s.logRetentionHours);
    e.remoteSettingsAllowed = s.remoteSettingsAllowed != 0;
    e.passwordOn = s.passwordOn != 0;
    e.password = s.password;
    e.checkAtStart = s.checkAtStart != 0;
    e.checkAtExit = s.checkAtExit != 0;
    e.checkAtAccountSetting = s.checkAtAccountSetting != 0;
    e.detailLog = s.detailLog != 0;
    return e;
}

} // namespace qm
