#include "app/LayoutBar.h"

#include "config/Config.h"
#include "view/LayoutTour.h"
#include "view/ViewControl.h"
#include "view/WallLayouts.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char *const Style = "QComboBox { color:#e6e6e6; background:#2b2b2b; border:1px solid #1a1a1a;"
                          " border-radius:3px; padding:2px 6px; min-width:110px; }"
                          "QToolButton { color:#e6e6e6; background:transparent; border:none;"
                          " padding:2px 4px; }"
                          "QToolButton:hover { background:#505050; }";

} // namespace

LayoutBar::LayoutBar(WallLayouts *layouts, QWidget *parent)
    : QWidget(parent)
    , m_layouts(layouts)
    , m_combo(new QComboBox(this))
    , m_menuButton(new QToolButton(this))
{
    setObjectName(QStringLiteral("widget_layoutBar"));
    setStyleSheet(QString::fromLatin1(Style));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    m_combo->setObjectName(QStringLiteral("comboBox_layout"));
    m_combo->setToolTip(tr("Named layouts"));
    m_combo->setFocusPolicy(Qt::NoFocus);
    row->addWidget(m_combo);
    m_menuButton->setObjectName(QStringLiteral("button_layoutMenu"));
    m_menuButton->setText(QStringLiteral("☰"));
    m_menuButton->setToolTip(tr("Layouts"));
    m_menuButton->setPopupMode(QToolButton::InstantPopup);
    auto *menu = new QMenu(m_menuButton);
    menu->addAction(tr("Save layout as…"), this, &LayoutBar::saveAs);
    menu->addAction(tr("Delete layout"), this, &LayoutBar::removeCurrent);
    menu->addAction(tr("Open in new window"), this, &LayoutBar::openCurrentInWindow);
    menu->addSeparator();
    menu->addAction(tr("Tour…"), this, &LayoutBar::chooseTour);
    m_menuButton->setMenu(menu);
    row->addWidget(m_menuButton);

    m_prompt = [this](const QString &current) {
        bool ok = false;
        const QString name = QInputDialog::getText(this, tr("Save layout"), tr("Layout name:"),
                                                   QLineEdit::Normal, current, &ok);
        return ok ? name : QString();
    };
    connect(m_combo, &QComboBox::activated, this, [this](int index) {
        if (index > 0)
            m_layouts->apply(m_combo->itemText(index));
    });
    connect(m_layouts, &WallLayouts::layoutsChanged, this, &LayoutBar::reload);
    connect(m_layouts, &WallLayouts::currentChanged, this, &LayoutBar::reload);
    // Layouts are of the live wall.
    connect(ViewControl::instance(), &ViewControl::changeModMsg, this,
            [this](bool live) { setEnabled(live); });
    reload();
}

void LayoutBar::setNamePrompt(std::function<QString(const QString &)> prompt)
{
    m_prompt = std::move(prompt);
}

void LayoutBar::reload()
{
    const QSignalBlocker quiet(m_combo);
    m_combo->clear();
    m_combo->addItem(tr("Layouts"));
    m_combo->addItems(m_layouts->names());
    const int current = m_combo->findText(m_layouts->currentName());
    m_combo->setCurrentIndex(qMax(0, current));
}

void LayoutBar::saveAs()
{
    const QString name = m_prompt(m_layouts->currentName()).trimmed();
    if (name.isEmpty())
        return;
    if (!m_layouts->save(name))
        m_combo->setToolTip(tr("The layout could not be saved"));
}

void LayoutBar::removeCurrent()
{
    if (m_combo->currentIndex() > 0)
        m_layouts->remove(m_combo->currentText());
}

void LayoutBar::openCurrentInWindow()
{
    // The grid as it is, when no layout is chosen, opens under a new name.
    QString name = m_combo->currentIndex() > 0 ? m_combo->currentText() : QString();
    if (name.isEmpty()) {
        name = m_prompt(QString()).trimmed();
        if (name.isEmpty() || !m_layouts->save(name))
            return;
    }
    m_layouts->openWindow(name);
}

void LayoutBar::chooseTour()
{
    QDialog dialog(this);
    dialog.setWindowTitle(tr("Tour"));
    auto *column = new QVBoxLayout(&dialog);
    column->addWidget(new QLabel(tr("Show these layouts in turn:"), &dialog));
    auto *list = new QListWidget(&dialog);
    const QStringList chosen = Config::instance()->readTourLayouts();
    for (const QString &name : m_layouts->names()) {
        auto *item = new QListWidgetItem(name, list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(chosen.contains(name) ? Qt::Checked : Qt::Unchecked);
    }
    column->addWidget(list);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Seconds per layout:"), &dialog));
    auto *seconds = new QSpinBox(&dialog);
    seconds->setRange(5, 3600);
    seconds->setValue(Config::instance()->get(ConfigKey::TourSeconds));
    row->addWidget(seconds);
    column->addLayout(row);
    auto *buttons = new QDialogButtonBox(&dialog);
    QPushButton *start = buttons->addButton(tr("Start tour"), QDialogButtonBox::AcceptRole);
    QPushButton *stop = buttons->addButton(tr("Stop tour"), QDialogButtonBox::DestructiveRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    stop->setEnabled(m_layouts->isTouring());
    column->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    connect(start, &QPushButton::clicked, &dialog, [&] {
        QStringList names;
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked)
                names.append(list->item(i)->text());
        m_layouts->startTour(names, seconds->value());
        dialog.accept();
    });
    connect(stop, &QPushButton::clicked, &dialog, [&] {
        m_layouts->stopTour();
        dialog.accept();
    });
    dialog.exec();
}
