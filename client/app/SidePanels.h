#pragma once

#include <QList>
#include <QObject>

class LabelFoldBtn;
class QWidget;
class WidgetMenuWindow;

// The main window's side column as an accordion: each section is a header
// (holding a fold arrow) and the panel that folds out below it. One panel is
// open at a time; it gets the height the headers leave of the column.
// GUI thread only.
class SidePanels : public QObject
{
    Q_OBJECT

public:
    // The sections are the widget children of column; those without a fold
    // arrow or a panel are left alone. Every panel starts closed.
    explicit SidePanels(QWidget *column, QObject *parent = nullptr);

    const QList<LabelFoldBtn *> &foldButtons() const { return m_buttons; }
    const QList<QWidget *> &headers() const { return m_headers; }
    // Opens the first section.
    void openFirst();
    // The column's height for the panels; with resize, every panel gets what
    // the headers leave of it.
    void fit(int height, bool resize);

public slots:
    // A fold arrow was clicked: opens its panel (closing the open one) or
    // closes the open one.
    void clickFold(LabelFoldBtn *button, bool open);

private:
    QList<LabelFoldBtn *> m_buttons;
    QList<WidgetMenuWindow *> m_panels;
    QList<QWidget *> m_headers;
    WidgetMenuWindow *m_open = nullptr;
    int m_panelHeight = 0;
};
