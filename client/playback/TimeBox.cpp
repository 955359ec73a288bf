#include "playback/TimeBox.h"

#include "diagnostics/SystemInfo.h"
#include "view/ViewControl.h"

#include <QGridLayout>
#include <QtGlobal>
#include <QLabel>

TimeBox::TimeBox(QWidget *parent)
    : QWidget(parent)
{
    SystemInfo *info = SystemInfo::instance();
    const double s = info->scale();
    setObjectName(QStringLiteral("TimeBox"));
    setStyleSheet(QStringLiteral("border:0;"));
    // Sized once for the display scale (not again on every resize).
    setFixedSize(int(120 * s), int(30 * s));
    auto *bubble = new QWidget(this);
    bubble->setObjectName(QStringLiteral("widget"));
    bubble->setGeometry(0, 0, width(), int(20 * s));
    bubble->setStyleSheet(QStringLiteral("border:1px solid #efefef;\nbackground-color:rgba(135,135,"
                                         "135,0.4);\nborder-radius:10px;"));
    auto *bubbleLayout = new QGridLayout(bubble);
    bubbleLayout->setContentsMargins(10, 0, 10, 0);
    m_label = new QLabel(QStringLiteral("TextLabel"), bubble);
    m_label->setObjectName(QStringLiteral("label"));
    m_label->setStyleSheet(
        QStringLiteral("border:0;\nbackground-color:rgba(0,0,0,0);\nfont-size:%1px;"
                       "\nfont-family: \"微软雅黑\";\ncolor:#565656")
            .arg(info->smallFontSize()));
    bubbleLayout->addWidget(m_label);
    // The pointer from the bubble down to the cursor; placed by updateVisibility().
    m_pointer = new QWidget(this);
    m_pointer->setObjectName(QStringLiteral("widget_pointer"));
    m_pointer->setStyleSheet(QStringLiteral("border:1px solid #ccc"));
    m_pointer->setGeometry(width() / 2, bubble->height(), 1, height() - bubble->height());
    connect(ViewControl::instance(), &ViewControl::dateChangeMsg, this, &TimeBox::reloadDateTime);
    hide();
}

QString TimeBox::text(const QDateTime &at)
{
    return at.toString(QStringLiteral("yyyy-M-d hh:mm:ss"));
}

QString TimeBox::label() const
{
    return m_label->text();
}

void TimeBox::place(int anchorX, int anchorY, int widthLimit)
{
    m_anchorX = anchorX;
    m_anchorY = anchorY;
    m_widthLimit = widthLimit;
    updateVisibility();
}

void TimeBox::setShown(bool shown)
{
    m_shown = shown;
    updateVisibility();
}

void TimeBox::showAt(int cursorX, const QDateTime &at)
{
    m_cursorX = cursorX;
    m_label->setText(text(at));
    updateVisibility();
}

void TimeBox::reloadDateTime()
{
    m_label->setText(text(ViewControl::instance()->replayDateTime()));
}

int TimeBox::pointerX() const
{
    return m_pointer->x();
}

void TimeBox::updateVisibility()
{
    if (m_shown && m_cursorX >= 0 && m_cursorX < m_widthLimit - 2) {
        // Centred over the cursor, but never past either end of the line; the
        // pointer stands over the cursor's line (its right pixel).
        const int lineLeft = m_anchorX + width() / 2 - PointerShift;
        const int centred = m_anchorX + m_cursorX;
        const int x = qBound(lineLeft, centred, qMax(lineLeft, lineLeft + m_widthLimit - width()));
        m_pointer->move(qBound(0, lineLeft + m_cursorX + 1 - x, width() - 1), m_pointer->y());
        move(x, m_anchorY);
        show();
        raise();
    } else {
        hide();
    }
}
