#pragma once

#include <QWidget>

#include <functional>

class QComboBox;
class QToolButton;
class WallLayouts;

// The control bar's layouts: a list of the named layouts (choosing one shows
// it in the grid) and a menu to save the grid as a layout, delete one, open
// one in a window of its own, and run the tour. Live view only. GUI thread only.
class LayoutBar : public QWidget
{
    Q_OBJECT

public:
    explicit LayoutBar(WallLayouts *layouts, QWidget *parent = nullptr);

    QComboBox *combo() const { return m_combo; }
    // The name the user types when saving (tests answer for the dialog).
    void setNamePrompt(std::function<QString(const QString &current)> prompt);

public slots:
    void reload();
    void saveAs();
    void removeCurrent();
    void openCurrentInWindow();
    void chooseTour();

private:
    WallLayouts *m_layouts;
    QComboBox *m_combo;
    QToolButton *m_menuButton;
    std::function<QString(const QString &)> m_prompt;
};
