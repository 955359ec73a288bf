#pragma once

#include <QLabel>

// A press-and-hold button of the PTZ panel: a left press reports its command
// code, and the end of the press is reported once however it ends (release,
// the pointer leaving the button, the button hidden).
class PtzBtn : public QLabel
{
    Q_OBJECT

public:
    explicit PtzBtn(int code, const QString &text, QWidget *parent = nullptr);
    int code() const { return m_code; }
    bool isHeld() const { return m_held; }

signals:
    void clickMsg(int code);
    void releaseMsg();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void end();

    int m_code;
    bool m_held = false;
};
