// The editor's buttons: checking the input, saving the account with its three
// per-account settings lines, and blanking a deleted account.
#include "data/AccountFile.h"
#include "data/AccountSettings.h"
#include "data/AtomicFile.h"
#include "data/DataLock.h"
#include "data/Paths.h"
#include "data/TextCodec.h"
#include "manager/FormQuillmarcBAccount.h"
#include "widgets/MessageBox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <optional>

namespace qm::manager {

using widgets::MessageBox;

namespace {

const QString kTitle = QStringLiteral("アカウント設定");

QString checkValue(const QCheckBox* box)
{
    return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

// The boxes hold one item per line; a trailing line break would become an empty item.
QString withoutTrailingBreaks(QPlainTextEdit* box)
{
    QString text = box->toPlainText();
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    if (text != box->toPlainText())
        box->setPlainText(text);
    return text;
}

QString boxText(const QWidget* w)
{
    if (auto* edit = qobject_cast<const QLineEdit*>(w))
        return edit->text();
    if (auto* box = qobject_cast<const QPlainTextEdit*>(w))
        return box->toPlainText();
    if (auto* combo = qobject_cast<const QComboBox*>(w))
        return combo->currentText();
    return QString();
}

// Raw bytes of the files a save touches, so a failing step can put them all back.
class FileSnapshot
{
public:
    explicit FileSnapshot(const QStringList& paths)
    {
        for (const QString& path : paths)
            m_files.append({path, QFileInfo::exists(path), readFileBytes(path)});
    }

    void restore() const
    {
        for (const Entry& e : m_files) {
            if (e.bytes)
                writeFileAtomic(e.path, *e.bytes);
            else if (!e.existed)
                removeIfExists(e.path);
            // A file that existed but could not be read was not changed by this save either.
        }
    }

private:
    struct Entry
    {
        QString path;
        bool existed;
        std::optional<QByteArray> bytes;
    };
    QList<Entry> m_files;
};

} // namespace

void FormQuillmarcBAccount::warn(const QString& text, QWidget* focus)
{
    MessageBox::show(this, QMessageBox::Warning, kTitle, text);
    if (!focus)
        return;
    // The box may sit on the other tab; bring its tab forward so it can take the focus.
    if (frmFillter->isAncestorOf(focus))
        tbsOptions->setCurrentIndex(1);
    else if (frmAccount->isAncestorOf(focus))
        tbsOptions->setCurrentIndex(0);
    focus->setFocus(Qt::OtherFocusReason);
}

bool FormQuillmarcBAccount::validateAccount()
{
    QWidget* const required[] = {txtRcvAddress,  txtRcvUserID, txtRcvPassword, txtRcvPOP,
                                 txtRcvPOP_Port, txtRcvSMTP,   txtRcvSMTP_Port};
    for (QWidget* w : required) {
        if (boxText(w).isEmpty()) {
            warn(QStringLiteral("転送元の情報に入力モレがあります。"), w);
            return false;
        }
    }
    if (txtSndTo->toPlainText().isEmpty() && txtSndFAX->toPlainText().isEmpty()) {
        warn(QStringLiteral("転送先(To)かFAX番号のどちらかを入力してください。"), txtSndTo);
        return false;
    }
    return validateSplitValues() && validateFieldCharacters();
}

bool FormQuillmarcBAccount::validateSplitValues()
{
    AccountRecord typed;
    typed.PhoneEditing = checkValue(CheckPhone);
    typed.SplitChars = divChar->text();
    typed.SplitMaxMails = divCount->text();
    // The service loads the account by the same rule, so what is saved here is never the
    // reason it skips the account.
    const std::optional<SplitValues> split = splitValuesOf(typed);
    if (split && !split->apply)
        return true;
    // A negative value would mean "no split" to the service; here it is a typing error.
    if (!split || split->chars < 0 || split->maxMails < 0) {
        const auto chars = readSplitValue(typed.SplitChars);
        if (!chars || *chars < 0)
            warn(QStringLiteral("分割文字数は半角の数字（0～32767）で入力してください。"), divChar);
        else
            warn(QStringLiteral("最大通数は半角の数字（0～32767）で入力してください。"), divCount);
        return false;
    }
    const QString& chars = typed.SplitChars;
    const QString& count = typed.SplitMaxMails;
    if (!chars.isEmpty() && count.isEmpty()) {
        warn(QStringLiteral("分割文字数を入力したら最大通数も入力してください。"), divCount);
        return false;
    }
    if (!chars.isEmpty() && split->maxMails == 0) {
        warn(QStringLiteral("最大通数は０よりも大きい値を入力してください。"), divCount);
        return false;
    }
    if (!count.isEmpty() && chars.isEmpty()) {
        warn(QStringLiteral("分割文字数が未入力です。"), divChar);
        return false;
    }
    if (!count.isEmpty() && split->chars == 0) {
        warn(QStringLiteral("分割文字数は０よりも大きい値を入力してください。"), divChar);
        return false;
    }
    return true;
}

bool FormQuillmarcBAccount::validateFieldCharacters()
{
    // The line format has no escaping: a "," would shift every later column and a double
    // quote would vanish on the next read. Address fields turn "," into "." instead.
    struct Field
    {
        QWidget* box;
        QString name;
        bool commaBecomesDot;
        // Sign-in values go to the server exactly as typed: a look-alike would be another one.
        bool exact = false;
    };
    const Field fields[] = {
        {txtAccount, QStringLiteral("アカウント名"), false},
        {txtRcvAddress, QStringLiteral("転送元メールアドレス"), true},
        {txtRcvUserID, QStringLiteral("ユーザーID"), false, true},
        {txtRcvPassword, QStringLiteral("パスワード"), false, true},
        {txtRcvPOP, QStringLiteral("受信サーバー名（POP）"), false},
        {txtRcvPOP_Port, QStringLiteral("ポート（POP）"), false},
        {txtRcvSMTP, QStringLiteral("送信サーバー名(SMTP)"), false},
        {txtRcvSMTP_Port, QStringLiteral("ポート（SMTP）"), false},
        {txtSMTPUser, QStringLiteral("SMTP認証のユーザー名"), false, true},
        {txtSMTPPassword, QStringLiteral("SMTP認証のパスワード"), false, true},
        {txtSndTo, QStringLiteral("転送先メールアドレス (To)"), true},
        {txtSndCC, QStringLiteral("転送先メールアドレス (CC)"), true},
        {txtSndBCC, QStringLiteral("転送先メールアドレス (BCC)"), true},
        {txtSndFAX, QStringLiteral("転送先FAX番号"), false},
        {cmbFontPrn, QStringLiteral("印刷時のフォント"), false},
        {cmbFontSizePrn, QStringLiteral("印刷時のフォントサイズ"), false},
        {cmbFontFAX, QStringLiteral("FAX印字のフォント"), false},
        {cmbFontSizeFAX, QStringLiteral("FAX印字のフォントサイズ"), false},
        {txtRmtAddress, QStringLiteral("リモート設定メールアドレス"), true},
        {txtFrom, QStringLiteral("From（差出人）"), false},
        {txtSubject, QStringLiteral("Subject（件名）"), false},
        {txtBody, QStringLiteral("Body（本文）"), false},
        {txtDelString, QStringLiteral("削除文字列"), false},
    };
    for (const Field& f : fields) {
        const QString text = boxText(f.box);
        if (!f.commaBecomesDot && text.contains(QLatin1Char(','))) {
            warn(QStringLiteral("「%1」にカンマ（,）は使えません。").arg(f.name), f.box);
            return false;
        }
        if (text.contains(QLatin1Char('"'))) {
            warn(QStringLiteral("「%1」にダブルクォーテーション（\"）は使えません。").arg(f.name),
                 f.box);
            return false;
        }
        if (f.exact ? !cp932Keeps(text) : !encodeCp932(text)) {
            warn(QStringLiteral("「%1」に保存できない文字が含まれています。").arg(f.name), f.box);
            return false;
        }
    }
    return true;
}

AccountRecord FormQuillmarcBAccount::recordFromWindow()
{
    AccountRecord rec;
    rec.AccountNo = txtID->text();
    rec.AccountName = txtAccount->text();
    const bool deleteOnServer = OptionDel[1]->isChecked();
    if (chkForward->isChecked())
        rec.ForwardState = deleteOnServer ? QStringLiteral("2") : QStringLiteral("1");
    else
        rec.ForwardState = deleteOnServer ? QStringLiteral("-2") : QStringLiteral("-1");
    rec.RemoteAddress = txtRmtAddress->text();
    rec.SourceAddress = txtRcvAddress->text();
    rec.PopUserId = txtRcvUserID->text();
    rec.PopPassword = txtRcvPassword->text();
    rec.PopServer = txtRcvPOP->text();
    rec.PopPort = txtRcvPOP_Port->text();
    rec.UseApop = checkValue(CheckAPOP);
    rec.SmtpServer = txtRcvSMTP->text();
    rec.SmtpPort = txtRcvSMTP_Port->text();
    rec.UseSmtpAuth = checkValue(CheckSMTP);
    // Nothing chosen: empty, so a stored record keeps its method and a new one gets 0.
    const int method = groupAUTH->checkedId();
    rec.SmtpAuthMethod = method >= 0 ? QString::number(method + 1) : QString();
    rec.SmtpUser = txtSMTPUser->text();
    rec.SmtpPassword = txtSMTPPassword->text();
    rec.ForwardTo = withoutTrailingBreaks(txtSndTo);
    rec.ForwardCc = withoutTrailingBreaks(txtSndCC);
    rec.ForwardBcc = withoutTrailingBreaks(txtSndBCC);
    rec.FaxNumbers = txtSndFAX->toPlainText();
    rec.FilterFrom = withoutTrailingBreaks(txtFrom);
    rec.FilterSubject = withoutTrailingBreaks(txtSubject);
    rec.FilterBody = withoutTrailingBreaks(txtBody);
    rec.ForwardAsSender = checkValue(CheckHeadder);
    rec.PhoneEditing = checkValue(CheckPhone);
    rec.SplitChars = divChar->text();
    rec.SplitMaxMails = divCount->text();
    rec.NumberSubjects = checkValue(CheckRenban);
    rec.DropSpaces = checkValue(CheckSpace);
    rec.DropWideSpaces = checkValue(CheckSpaceW);
    rec.DropTabs = checkValue(CheckTab);
    rec.DropLineBreaks = checkValue(CheckCRLF);
    rec.DropSymbols = checkValue(CheckSymbol);
    return normalizeEditedRecord(rec);
}

FontDataRow FormQuillmarcBAccount::fontRowFromWindow() const
{
    FontDataRow font;
    font.AccountNo = txtID->text();
    font.printOn = checkValue(chkPrint);
    font.printAll = OptionPrint[0]->isChecked() ? QStringLiteral("0") : QStringLiteral("1");
    font.printFontName = cmbFontPrn->currentText();
    font.printFontSize = cmbFontSizePrn->currentText();
    font.faxFontName = cmbFontFAX->currentText();
    font.faxFontSize = cmbFontSizeFAX->currentText();
    return font;
}

bool FormQuillmarcBAccount::saveAccount(QString* error)
{
    const FilePaths& paths = filePaths();
    DataLock lock;
    if (!lock.isLocked()) {
        *error = lock.error();
        return false;
    }
    const QString n = txtID->text();
    const AccountRecord rec = recordFromWindow();
    const FontDataRow font = fontRowFromWindow();
    const QString faxOption =
        OptionFAX[0]->isChecked() ? QStringLiteral("mail") : QStringLiteral("attach");
    const QString delText = txtDelString->toPlainText();
    const QStringList delStrings =
        delText.isEmpty() ? QStringList() : delText.split(QLatin1Char('\n'));

    // All four files change together or not at all.
    const FileSnapshot before(
        {paths.accountFile, paths.delStringFile, paths.fontTable, paths.faxOptFile});
    const RewriteResult result = qm::saveAccount(rec);
    if (!result.ok) {
        *error = result.error;
        return false;
    }
    if (!result.error.isEmpty()) {
        // Saved, but the new account's work folders could not be made.
        *error = result.error;
        before.restore();
        return false;
    }
    if (!saveDeleteStrings(n, delStrings, error) || !saveFontDataRow(font, error) ||
        !saveFaxOption(n, faxOption, error)) {
        before.restore();
        return false;
    }
    m_faxOption = faxOption;
    return true;
}

bool FormQuillmarcBAccount::deleteAccount(QString* error, QString* notice)
{
    const FilePaths& paths = filePaths();
    const QString n = txtID->text();
    DataLock lock;
    if (!lock.isLocked()) {
        *error = lock.error();
        return false;
    }
    if (!QFileInfo::exists(paths.accountFile))
        return true;
    const RewriteResult result = qm::deleteAccount(n);
    if (!result.ok) {
        *error = result.error;
        return false;
    }
    if (!result.replaced)
        return true;

    // The account's stored mail goes with it; the folders stay for the number's next use.
    QStringList left;
    for (const QString& folder : {workFolder(n), workAttachFolder(n)}) {
        const QDir dir(folder);
        const QStringList files = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& name : files) {
            if (!QFile::remove(dir.filePath(name)))
                left.append(QDir::toNativeSeparators(dir.filePath(name)));
        }
    }
    if (!left.isEmpty()) {
        *notice =
            QStringLiteral("アカウントは削除しましたが、次のファイルを削除できませんでした。\n%1")
                .arg(left.join(QLatin1Char('\n')));
    }
    return true;
}

void FormQuillmarcBAccount::cmdOKClick()
{
    if (!validateAccount())
        return;
    QString error;
    if (!saveAccount(&error)) {
        MessageBox::show(this, QMessageBox::Critical, kTitle,
                         QStringLiteral("アカウントを保存できませんでした。\n%1").arg(error));
        return;
    }
    accept();
}

void FormQuillmarcBAccount::cmdDeleteClick()
{
    const auto answer =
        MessageBox::show(this, QMessageBox::Warning, QCoreApplication::applicationName(),
                         QStringLiteral("このアカウントを削除してよろしいですか？"),
                         QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    QString error;
    QString notice;
    if (!deleteAccount(&error, &notice)) {
        MessageBox::show(this, QMessageBox::Critical, kTitle,
                         QStringLiteral("アカウントを削除できませんでした。\n%1").arg(error));
        return;
    }
    if (!notice.isEmpty())
        MessageBox::show(this, QMessageBox::Warning, kTitle, notice);
    accept();
}

} // namespace qm::manager
