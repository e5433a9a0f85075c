#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qm::manager {

// The account list: the only top-level window of the account manager. It hands one
// record to the editor and refreshes when the editor closes; it never writes the
// account file itself.
class FormQuillmarcB : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kAccountLimit = 99;

    explicit FormQuillmarcB(QWidget* parent = nullptr);

    QString mode() const { return m_mode; }
    int currentAccountNo() const { return m_currentAccount; }
    // Reads the account file again into the list.
    void fillList();

    QTreeWidget* ListView = nullptr;
    QPushButton* cmdAppend = nullptr;
    QPushButton* cmdQuit = nullptr;
    QLabel* LabelMsg1 = nullptr;

signals:
    // The editor is about to open (tests answer it from here).
    void editorOpening(QWidget* editor);

private:
    void readMode();
    void cmdAppendClick();
    void cmdQuitClick();
    void listRowClick(QTreeWidgetItem* item);
    void openEditor();
    void showHandOverError(const QString& error);
    bool removeHandOverFiles();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString m_mode;
    int m_currentAccount = 0;
};

} // namespace qm::manager
