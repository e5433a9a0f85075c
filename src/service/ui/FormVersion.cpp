#include "FormVersion.h"

#include "ProgramIcon.h"
#include "widgets/WindowGeometry.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace qm::ui {

FormVersion::FormVersion(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("formVersion"));
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    setWindowIcon(programIcon());

    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setPixmap(programIcon().pixmap(48, 48));
    picIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    lblTitle = new QLabel(QStringLiteral("  quillmarc"), this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle->font();
    titleFont.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Liberation Serif"),
                           QStringLiteral("DejaVu Serif")});
    titleFont.setStyleHint(QFont::Serif);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    lblTitle->setFont(titleFont);

    lblDescription = new QLabel(QStringLiteral("メール to FAX /携帯/PC 自動転送ソフト"), this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    Label2 = new QLabel(QStringLiteral("受信メールを、FAXと携帯やPC宛に自動転送します"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    lblVersion = new QLabel(QStringLiteral("Version : 1.41"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* grid = new QGridLayout(this);
    grid->addWidget(picIcon, 0, 0, 4, 1);
    grid->addWidget(lblTitle, 0, 1);
    grid->addWidget(lblDescription, 1, 1);
    grid->addWidget(Label2, 2, 1);
    grid->addWidget(lblVersion, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    grid->addLayout(buttons, 4, 0, 1, 2);
    grid->setColumnMinimumWidth(0, 64);
    grid->setHorizontalSpacing(16);

    widgets::centreOnScreen(this);
}

} // namespace qm::ui
