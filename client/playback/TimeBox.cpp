#include "playback/TimeBox.h"

#include "diagnostics/SystemInfo.h"
#include "view/ViewControl.h"

#include <QGridLayout>
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
    auto *grid = new QGridLayout(this);
    grid->setVerticalSpacing(0);
    grid->setContentsMargins(0, 0, 0, 0);
    auto *bubble = new QWidget(this);
    bubble->setObjectName(QStringLiteral("widget"));
    bubble->setFixedSize(int(120 * s), int(20 * s));
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
    auto *stem = new QWidget(this);
    auto *stemLayout = new QGridLayout(stem);
    stemLayout->setContentsMargins(0, 0, 0, 0);
    auto *line = new QWidget(stem);
    line->setMaximumWidth(1);
    line->setStyleSheet(QStringLiteral("border:1px solid #ccc"));
    stemLayout->addWidget(line);
    grid->addWidget(bubble, 0, 0);
    grid->addWidget(stem, 1, 0);
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

void TimeBox::updateVisibility()
{
    if (m_shown && m_cursorX >= 0 && m_cursorX < m_widthLimit - 2) {
        move(m_anchorX + m_cursorX, m_anchorY);
        show();
        raise();
    } else {
        hide();
    }
}
