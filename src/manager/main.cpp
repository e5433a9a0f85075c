#include "data/Paths.h"
#include "data/Privacy.h"
#include "manager/FormQuillmarcB.h"
#include "widgets/MessageBox.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    qm::makeCreatedFilesPrivate();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillmarcB"));

    QString error;
    if (!qm::ensureDataDir(&error)) {
        qm::widgets::MessageBox::critical(nullptr, QStringLiteral("アカウント設定"), error);
        return 1;
    }
    qm::manager::FormQuillmarcB window;
    window.show();
    return app.exec();
}
