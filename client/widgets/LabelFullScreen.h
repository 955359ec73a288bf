#pragma once

#include <QLabel>
#include <QPixmap>

// The full-screen toggle of the video area: any mouse button's release flips
// it and reports the new state; the picture shows what a click will do and
// lights up under the pointer.
class LabelFullScreen : public QLabel
{
    Q_OBJECT

public:
    explicit LabelFullScreen(QWidget *parent = nullptr);
    bool isFullScreen() const { return m_fullScreen; }

signals:
    void clickMsg(bool fullScreen);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showPicture(bool hover);

    bool m_fullScreen = false;
    QPixmap m_full{QStringLiteral(":/main/images/btnImg/fullGl.png")};
    QPixmap m_fullHover{QStringLiteral(":/main/images/btnImg/fullGl-hover.png")};
    QPixmap m_back{QStringLiteral(":/main/images/btnImg/sc1.png")};
    QPixmap m_backHover{QStringLiteral(":/main/images/btnImg/sc1-hover.png")};
};
