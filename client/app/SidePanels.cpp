#include "app/SidePanels.h"

#include "app/WidgetMenuWindow.h"
#include "widgets/LabelFoldBtn.h"

#include <QWidget>

SidePanels::SidePanels(QWidget *column, QObject *parent)
    : QObject(parent)
{
    // Each child of the column besides its layout is one section: a header
    // (holding the fold arrow) and the panel that folds out below it.
    const QObjectList sections = column->children();
    for (QObject *object : sections) {
        if (object->objectName() == QLatin1String("gridLayout_7") || !object->isWidgetType())
            continue;
        QWidget *header = nullptr;
        WidgetMenuWindow *panel = nullptr;
        for (QObject *child : object->children()) {
            if (auto *menuWindow = qobject_cast<WidgetMenuWindow *>(child))
                panel = menuWindow;
            else if (!header && child->isWidgetType())
                header = static_cast<QWidget *>(child);
        }
        if (!header || !panel)
            continue;
        LabelFoldBtn *button = nullptr;
        for (QObject *child : header->children()) {
            if (child->objectName().indexOf(QLatin1String("fold")) > 0) {
                button = qobject_cast<LabelFoldBtn *>(child);
                break;
            }
        }
        if (!button)
            continue;
        m_headers.append(header);
        m_buttons.append(button);
        m_panels.append(panel);
        panel->close();
        connect(button, &LabelFoldBtn::clicked, this, &SidePanels::clickFold);
    }
}

void SidePanels::openFirst()
{
    if (!m_buttons.isEmpty())
        m_buttons.first()->toggle(true);
}

void SidePanels::fit(int height, bool resize)
{
    m_panelHeight = height;
    if (!resize || m_panelHeight < 1)
        return;
    for (QWidget *header : std::as_const(m_headers))
        m_panelHeight -= header->height() + 1;
    if (m_panelHeight < 1)
        return;
    for (WidgetMenuWindow *panel : std::as_const(m_panels))
        panel->setHeight(m_panelHeight);
}

void SidePanels::clickFold(LabelFoldBtn *button, bool open)
{
    if (!open) {
        if (m_open)
            m_open->toggle();
        m_open = nullptr;
        return;
    }
    const int index = m_buttons.indexOf(button);
    if (index < 0)
        return;
    m_open = m_panels.at(index);
    for (LabelFoldBtn *other : std::as_const(m_buttons)) {
        if (other != button && other->isOpen())
            other->toggle(false);
    }
    for (WidgetMenuWindow *panel : std::as_const(m_panels)) {
        if (panel != m_open && panel->isOpen())
            panel->close();
    }
    m_open->setHeight(m_panelHeight);
    if (!m_open->isOpen())
        m_open->toggle();
}
