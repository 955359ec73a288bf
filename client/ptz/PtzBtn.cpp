#include "ptz/PtzBtn.h"

#include <QMouseEvent>

PtzBtn::PtzBtn(int code, const QString &image, QWidget *parent)
    : QLabel(parent)
    , m_code(code)
    , m_image(image)
{
    setCursor(Qt::PointingHandCursor);
    restyle();
}

QString PtzBtn::imagePath() const
{
    return QStringLiteral(":/main/images/btnImg/%1%2.png")
        .arg(m_image, m_hovered || m_held ? QStringLiteral("-hover") : QString());
}

void PtzBtn::restyle()
{
    // "image" keeps the square picture's shape in a button that is not square.
    setStyleSheet(QStringLiteral("QLabel{image:url(%1);border:1px solid %2;border-radius:4px;"
                                 "background:%3;padding:2px}")
                      .arg(imagePath(), QLatin1String(m_held ? "#8f5fe8" : "#d0d0d8"),
                           QLatin1String(m_hovered || m_held ? "#f3eefb" : "#ffffff")));
}

void PtzBtn::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && !m_held) {
        m_held = true;
        restyle();
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

void PtzBtn::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    restyle();
    QLabel::enterEvent(event);
}

void PtzBtn::leaveEvent(QEvent *event)
{
    m_hovered = false;
    if (m_held)
        end();
    else
        restyle();
    QLabel::leaveEvent(event);
}

void PtzBtn::hideEvent(QHideEvent *event)
{
    m_hovered = false;
    if (m_held)
        end();
    else
        restyle();
    QLabel::hideEvent(event);
}

void PtzBtn::end()
{
    if (!m_held)
        return;
    m_held = false;
    restyle();
    emit releaseMsg();
}
