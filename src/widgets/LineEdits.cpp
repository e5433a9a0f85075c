#include "widgets/LineEdits.h"

#include <QEvent>
#include <QLineEdit>
#include <QTimer>

namespace qm::widgets {

namespace {
class SelectAllOnFocus : public QObject
{
public:
    SelectAllOnFocus(QLineEdit* box, std::function<bool()> when)
        : QObject(box), m_box(box), m_when(std::move(when))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_box && event->type() == QEvent::FocusIn && (!m_when || m_when())) {
            // Again once queued, so a mouse click that gave the focus does not undo it.
            m_box->selectAll();
            QTimer::singleShot(0, m_box, &QLineEdit::selectAll);
        }
        return false;
    }

private:
    QLineEdit* m_box;
    std::function<bool()> m_when;
};
} // namespace

void echoAsStars(QLineEdit* box)
{
    box->setEchoMode(QLineEdit::Password);
    box->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
}

void selectAllOnFocus(QLineEdit* box, std::function<bool()> when)
{
    box->installEventFilter(new SelectAllOnFocus(box, std::move(when)));
}

} // namespace qm::widgets
