#pragma once

#include <QDateTime>
#include <QWidget>

class QLabel;

// The bubble over the minute line that shows the full date and time of the
// playback cursor, with a one-pixel pointer line under it. Shown only in
// playback mode and while the cursor lies on the visible minute line.
class TimeBox : public QWidget
{
    Q_OBJECT

public:
    explicit TimeBox(QWidget *parent = nullptr);

    // "2024-3-5 09:05:07": date unpadded, time padded.
    static QString text(const QDateTime &at);

    // The box's pointer stands at (anchorX + cursor x, anchorY); the cursor
    // is shown while 0 <= x < widthLimit - 2.
    void place(int anchorX, int anchorY, int widthLimit);
    void setShown(bool shown);
    void showAt(int cursorX, const QDateTime &at);
    QString label() const;

public slots:
    void reloadDateTime();

private:
    void updateVisibility();

    QLabel *m_label;
    bool m_shown = false;
    int m_anchorX = 0;
    int m_anchorY = 0;
    int m_cursorX = 0;
    int m_widthLimit = 0;
};
