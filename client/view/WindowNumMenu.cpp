#include "view/WindowNumMenu.h"

#include "diagnostics/SystemInfo.h"
#include "view/LabelWinBtn.h"
#include "view/ViewControl.h"

#include <QPainter>
#include <QStyleOption>

QSize WindowNumMenu::designedSize()
{
    const int rows = (WindowMod::Count + Columns - 1) / Columns;
    return QSize(2 * Margin + Columns * EntrySize + (Columns - 1) * Spacing,
                 2 * Margin + rows * EntrySize + (rows - 1) * Spacing);
}

WindowNumMenu::WindowNumMenu(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("WindowNumMenu"));
    setStyleSheet(
        QStringLiteral("#WindowNumMenu{background-color:rgba(40,42,46,0.92);border-radius:4px}"));
    for (int k = 1; k <= WindowMod::Count; ++k) {
        auto *entry = new LabelWinBtn(this);
        entry->setObjectName(QStringLiteral("label_sc%1").arg(k));
        entry->refreshStyle();
        connect(entry, &LabelWinBtn::clickWindowMod, this, &WindowNumMenu::onclickWindowModBtn);
        m_entries.append(entry);
    }
    connect(ViewControl::instance(), &ViewControl::resizeMsg, this,
            qOverload<>(&WindowNumMenu::resize));
    resize();
}

void WindowNumMenu::onclickWindowModBtn(WINDOW_MOD mod)
{
    emit clickWindowMod(mod);
}

void WindowNumMenu::resize()
{
    const double s = SystemInfo::instance()->scale();
    const QSize designed = designedSize();
    const int w = int(designed.width() * s);
    const int h = int(designed.height() * s);
    QWidget::resize(w, h);
    for (int i = 0; i < m_entries.size(); ++i) {
        const int x = Margin + (i % Columns) * (EntrySize + Spacing);
        const int y = Margin + (i / Columns) * (EntrySize + Spacing);
        m_entries.at(i)->setGeometry(int(x * s), int(y * s), int(EntrySize * s),
                                     int(EntrySize * s));
    }
    if (QWidget *p = parentWidget())
        move(int(p->width() - w - 15 * s), int(p->height() - h - 5 * s));
}

void WindowNumMenu::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
