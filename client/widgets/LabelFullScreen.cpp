#include "widgets/LabelFullScreen.h"

#include <QMouseEvent>

LabelFullScreen::LabelFullScreen(QWidget *parent)
    : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
    showPicture(false);
}

void LabelFullScreen::showPicture(bool hover)
{
    const QPixmap &p =
        m_fullScreen ? (hover ? m_backHover : m_back) : (hover ? m_fullHover : m_full);
    if (!p.isNull() && !size().isEmpty())
        setPixmap(p.scaled(size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

void LabelFullScreen::enterEvent(QEnterEvent *event)
{
    showPicture(true);
    QLabel::enterEvent(event);
}

void LabelFullScreen::leaveEvent(QEvent *event)
{
    showPicture(false);
    QLabel::leaveEvent(event);
}

void LabelFullScreen::mouseReleaseEvent(QMouseEvent *event)
{
    m_fullScreen = !m_fullScreen;
    showPicture(false);
    emit clickMsg(m_fullScreen);
    QLabel::mouseReleaseEvent(event);
}

void LabelFullScreen::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    showPicture(false);
}
