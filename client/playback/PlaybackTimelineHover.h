#pragma once

// The playback timeline's hover popup (PlaybackTimeline's own).

#include "playback/PlaybackTimelineStyle.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QWidget>

// The moment under the pointer and its thumbnail, in a frameless window of
// its own above the pointer.
class HoverPopup : public QWidget
{
public:
    explicit HoverPopup(QWidget *parent)
        : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    void set(const QString &text, const QImage &image)
    {
        m_text = text;
        m_image = image;
        resize(sizeHint());
        update();
    }

    QSize sizeHint() const override
    {
        const QFontMetrics fm(font());
        const QSize image = m_image.isNull() ? QSize(0, 0) : m_image.size();
        return {qMax(fm.horizontalAdvance(m_text), image.width()) + 2 * Pad,
                fm.height() + image.height() + (image.height() > 0 ? Pad : 0) + 2 * Pad};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), QColor(0x20, 0x20, 0x20));
        p.setPen(QColor(0x70, 0x70, 0x70));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
        int y = Pad;
        if (!m_image.isNull()) {
            p.drawImage((width() - m_image.width()) / 2, y, m_image);
            y += m_image.height() + Pad;
        }
        p.setPen(TimelineStyle::LabelColor);
        p.drawText(QRect(0, y, width(), fontMetrics().height()), Qt::AlignCenter, m_text);
    }

private:
    static constexpr int Pad = 3;
    QString m_text;
    QImage m_image;
};
