#pragma once

#include "view/WindowMod.h"

#include <QList>
#include <QWidget>

class LabelWinBtn;

// The window-count popup: the eleven layout entries, placed in the lower
// right corner of its parent (the view host) and re-placed whenever the grid
// is laid out. Created by the main window on demand and deleted when closed.
// GUI thread only.
class WindowNumMenu : public QWidget
{
    Q_OBJECT

public:
    // Designed geometry, before the UI scale is applied.
    static constexpr int Columns = 6;
    static constexpr int EntrySize = 36;
    static constexpr int Spacing = 8;
    static constexpr int Margin = 8;
    static QSize designedSize();

    explicit WindowNumMenu(QWidget *parent = nullptr);

    const QList<LabelWinBtn *> &entries() const { return m_entries; }

    using QWidget::resize;

signals:
    void clickWindowMod(WINDOW_MOD mod);

public slots:
    void onclickWindowModBtn(WINDOW_MOD mod);
    // Scales the popup and its entries and puts it in the parent's lower
    // right corner.
    void resize();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<LabelWinBtn *> m_entries;
};
