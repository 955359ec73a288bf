#pragma once

#include <QLabel>

// A press-and-hold button of the PTZ panel: a left press reports its command
// code, and the end of the press is reported once however it ends (release,
// the pointer leaving the button, the button hidden).
//
// It shows the pad's image ":/main/images/btnImg/<image>.png", and its
// "-hover" variant while the pointer is over it or the button is held.
// GUI thread only.
class PtzBtn : public QLabel
{
    Q_OBJECT

public:
    PtzBtn(int code, const QString &image, QWidget *parent = nullptr);
    int code() const { return m_code; }
    bool isHeld() const { return m_held; }
    // The resource path of the image shown now.
    QString imagePath() const;

signals:
    void clickMsg(int code);
    void releaseMsg();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void end();
    void restyle();

    int m_code;
    QString m_image;
    bool m_held = false;
    bool m_hovered = false;
};
