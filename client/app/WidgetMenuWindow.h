#pragma once

#include <QWidget>

// The fold-out panel of one side-column section. The accordion of the main
// window opens at most one panel at a time and gives it the height the section
// headers leave free. GUI thread only.
class WidgetMenuWindow : public QWidget
{
    Q_OBJECT
public:
    explicit WidgetMenuWindow(QWidget *parent = nullptr);

    bool isOpen() const { return open; }
    // Flips the open state, then shows or hides the panel.
    void toggle();
    // Clears the open state and hides the panel. Hides QWidget::close(), which
    // would report a close event for a child that never is a window.
    void close();
    // Fixed height of the panel and of its content widget; below 1 is ignored.
    void setHeight(int height);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool open = false;
};
