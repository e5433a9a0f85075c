#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace qm::ui {

// The about box.
class FormVersion : public QDialog
{
    Q_OBJECT
public:
    explicit FormVersion(QWidget* parent = nullptr);

    QLabel* lblTitle = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblVersion = nullptr;
    QPushButton* cmdOK = nullptr;
};

} // namespace qm::ui
