#include "ptz/PtzBtn.h"

#include <QMouseEvent>

PtzBtn::PtzBtn(int code, const QString &text, QWidget *parent)
    : QLabel(text, parent)
    , m_code(code)
{
    setAlignment(Qt::AlignCenter);
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(QStringLiteral("QLabel{border:1px solid #ccc;border-radius:4px;background:#fff;}"
                                 "QLabel:hover{background:#e6e0f0;}"));
}

void PtzBtn::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && !m_held) {
        m_held = true;
        emit clickMsg(m_code);
    }
    QLabel::mousePressEvent(event);
}

void PtzBtn::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        end();
    QLabel::mouseReleaseEvent(event);
}

void PtzBtn::leaveEvent(QEvent *event)
{
    end();
    QLabel::leaveEvent(event);
}

void PtzBtn::hideEvent(QHideEvent *event)
{
    end();
    QLabel::hideEvent(event);
}

void PtzBtn::end()
{
    if (!m_held)
        return;
    m_held = false;
    emit releaseMsg();
}
