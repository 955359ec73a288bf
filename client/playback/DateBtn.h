#pragma once

#include <QLabel>

// The calendar button of the playback timeline: a styled label that reports
// a left-button press; the main window opens its calendar then.
class DateBtn : public QLabel
{
    Q_OBJECT

public:
    explicit DateBtn(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
};
