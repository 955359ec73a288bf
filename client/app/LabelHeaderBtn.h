#pragma once

#include <QLabel>

// A text label of the header that acts as a button (user name, control
// panel): emits clicked() on a left-button release. GUI thread only.
class LabelHeaderBtn : public QLabel
{
    Q_OBJECT
public:
    explicit LabelHeaderBtn(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
