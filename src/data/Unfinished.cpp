// Temporary bodies so the published headers link; replaced file by file.
#include "data/AccountFile.h"
#include "data/AccountSettings.h"
#include "data/Encryption.h"
#include "data/ForwardLog.h"
#include "data/HandOverFiles.h"
#include "data/IniFile.h"
#include "data/TimerSettings.h"

namespace qm {
namespace {
const QString kTodo = QStringLiteral("未実装");
void e(QString *error) { if (error) *error = kTodo; }
}
std::optional<AccountTable> readAccountTable(QString *error) { e(error); return std::nullopt; }
RewriteResult rewriteAccountFile(const QString &, const std::function<void(AccountRecord &)> &, const std::optional<QString> &) { return {false, false, false, kTodo}; }
RewriteResult saveAccount(const AccountRecord &) { return {false, false, false, kTodo}; }
RewriteResult deleteAccount(const QString &) { return {false, false, false, kTodo}; }
RewriteResult setAccountColumn(const QString &, int, const QString &) { return {false, false, false, kTodo}; }
bool writeHandOverRecord(const QString &, QString *error) { e(error); return false; }
bool writeHandOverRecord(const AccountRecord &, QString *error) { e(error); return false; }
std::optional<AccountRecord> readHandOverRecord(QString *error) { e(error); return std::nullopt; }
bool deleteHandOverRecord(QString *error) { e(error); return false; }

bool ApplyAccountLine(const QString &, const QString &, const QStringList &, int, QString *error) { e(error); return false; }
QStringList FontDataRow::toFields() const { return {AccountNo, printOn, printAll, printFontName, printFontSize, faxFontName, faxFontSize}; }
std::optional<FontDataRow> readFontDataRow(const QString &) { return std::nullopt; }
FontSettings loadFontSettings(const QString &) { return {}; }
bool saveFontDataRow(const FontDataRow &, QString *error) { e(error); return false; }
bool resetFaxFonts(QString *error) { e(error); return false; }
bool CreateFontDataFile(QString *error) { e(error); return false; }
QStringList readDeleteStrings(const QString &) { return {}; }
bool saveDeleteStrings(const QString &, const QStringList &, QString *error) { e(error); return false; }
QString readFaxOption(const QString &) { return QStringLiteral("mail"); }
bool saveFaxOption(const QString &, const QString &, QString *error) { e(error); return false; }

bool encryptionOn() { return false; }
std::optional<QByteArray> encryptBytes(const QByteArray &, QString *error) { e(error); return std::nullopt; }
std::optional<QByteArray> decryptBytes(const QByteArray &, QString *error) { e(error); return std::nullopt; }
bool looksEncrypted(const QByteArray &) { return false; }
bool EncryptFile(const QString &, const QString &, QString *error) { e(error); return false; }
bool DecryptFile(const QString &, const QString &, QString *error) { e(error); return false; }
bool SetUpEncryption(QString *error) { e(error); return false; }
std::optional<StoredRead> readStoredFile(const QString &, QString *error) { e(error); return std::nullopt; }
bool writeStoredFile(const QString &, const QByteArray &, QString *error) { e(error); return false; }

void WriteLog(const QString &, const QString &, const QString &) noexcept {}
bool writeLogLine(const QString &, const QString &, const QString &, int, const QDateTime &, QString *error) { e(error); return false; }
std::optional<QList<LogRow>> takeLogRows(QString *error) { e(error); return std::nullopt; }
qint64 hourBoundariesBetween(const QDateTime &, const QDateTime &) { return 0; }
bool deleteLog(QString *error) { e(error); return false; }

bool WriteModeFile(const QString &, QString *error) { e(error); return false; }
std::optional<QString> readModeFile() { return std::nullopt; }
bool modeFileExists() { return false; }
bool deleteModeFile(QString *error) { e(error); return false; }
bool writeMailFaxText(const QString &, QString *error) { e(error); return false; }
std::optional<QString> readMailFaxText(QString *error) { e(error); return std::nullopt; }

QString GetIniPath() { return {}; }
QString iniPathFor(const QString &) { return {}; }
QString ReadIniValue(const QString &, const QString &, const QString &, const QString &fallback) { return fallback; }
bool WriteIniValue(const QString &, const QString &, const QString &, const QString &, QString *error) { e(error); return false; }
bool saveWindowPlacement(const WindowPlacement &, QString *error) { e(error); return false; }
WindowPlacement restoreWindowPlacement(const WindowPlacement &current) { return current; }

bool TimerSettings::operator==(const TimerSettings &) const { return false; }
TimerSettings LoadTimerSettings(QString *) { return {}; }
TimerSettings readTimerSettings(const QString &, QString *) { return {}; }
bool SaveTimerSettings(const TimerSettings &, QString *error) { e(error); return false; }
bool writeTimerSettings(const QString &, const TimerSettings &, QString *error) { e(error); return false; }
} // namespace qm
