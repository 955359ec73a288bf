#pragma once

#include <QDateTime>
#include <QWidget>

class QLabel;

// The bubble over the minute line that shows the full date and time of the
// playback cursor, with a one-pixel pointer line under it. Shown only in
// playback mode and while the cursor lies on the visible minute line. The
// bubble is centred over the cursor as far as the line allows: near either
// end of the line it stops at the line's edge and only its pointer follows
// the cursor. GUI thread only.
class TimeBox : public QWidget
{
    Q_OBJECT

public:
    // How far right of the line's left edge the pointer stands for cursor x 0.
    static constexpr int PointerShift = 3;

    explicit TimeBox(QWidget *parent = nullptr);

    // "2024-3-5 09:05:07": date unpadded, time padded.
    static QString text(const QDateTime &at);

    // anchorX: the box's x (in the parent) that centres it over cursor x 0,
    // i.e. the line's left edge + PointerShift - width() / 2; anchorY: the
    // box's y; widthLimit: the line's width. The box is shown while
    // 0 <= x < widthLimit - 2 and kept within the line's horizontal extent.
    void place(int anchorX, int anchorY, int widthLimit);
    void setShown(bool shown);
    void showAt(int cursorX, const QDateTime &at);
    QString label() const;
    // The pointer's x inside the box (over the cursor's line).
    int pointerX() const;

public slots:
    void reloadDateTime();

private:
    void updateVisibility();

    QLabel *m_label;
    QWidget *m_pointer;
    bool m_shown = false;
    int m_anchorX = 0;
    int m_anchorY = 0;
    int m_cursorX = 0;
    int m_widthLimit = 0;
};
