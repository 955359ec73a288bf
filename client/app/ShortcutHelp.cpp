#include "app/ShortcutHelp.h"

#include "admin/CloseBtn.h"
#include "app/Shortcuts.h"
#include "diagnostics/SystemInfo.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr QSize BaseSize(520, 560);

} // namespace

ShortcutHelp::ShortcutHelp(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("shortcutHelp"));
    setWindowTitle(tr("Keyboard shortcuts"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *box = new QWidget(this);
    box->setObjectName(QStringLiteral("widget"));
    box->setAttribute(Qt::WA_StyledBackground);
    box->setStyleSheet(QStringLiteral(
        "#widget{border:1px solid #aaa;border-radius:4px;background-color:#505153;}"
        "QLabel{color:#ffffff;font-size:13px;background:transparent}"
        "QTableWidget{color:#ffffff;font-size:11px;background-color:#404143;"
        "gridline-color:#606163;border:none}"
        "QHeaderView::section{color:#ffffff;background-color:#313131;border:none;padding:3px}"));
    outer->addWidget(box);
    auto *layout = new QVBoxLayout(box);
    auto *header = new QHBoxLayout;
    header->addWidget(new QLabel(windowTitle(), box), 1);
    auto *closeButton = new CloseBtn(box);
    closeButton->setObjectName(QStringLiteral("widget_closeBtn"));
    closeButton->setFixedSize(20, 20);
    closeButton->setStyleSheet(QStringLiteral(
        "background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 "
        "#c3382b,stop:0.5 #c3382b ,stop:1 #ad3333);border-radius:0;border-image: "
        "url(:/main/images/btnImg/btn_close.png);"));
    header->addWidget(closeButton, 0, Qt::AlignRight | Qt::AlignTop);
    layout->addLayout(header);

    const QList<Shortcuts::GridShortcut> &entries = Shortcuts::table();
    m_table = new QTableWidget(int(entries.size()), 3, box);
    m_table->setObjectName(QStringLiteral("shortcutHelp_table"));
    m_table->setHorizontalHeaderLabels({tr("Key"), tr("Action"), tr("Applies in")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setFocusPolicy(Qt::NoFocus);
    for (int row = 0; row < entries.size(); ++row) {
        const Shortcuts::GridShortcut &e = entries.at(row);
        m_table->setItem(row, KeyColumn, new QTableWidgetItem(Shortcuts::keyText(e)));
        m_table->setItem(row, ActionColumn, new QTableWidgetItem(Shortcuts::description(e)));
        m_table->setItem(row, ModeColumn, new QTableWidgetItem(Shortcuts::modeText(e.mode)));
    }
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setSectionResizeMode(ActionColumn, QHeaderView::Stretch);
    layout->addWidget(m_table, 1);

    connect(closeButton, &CloseBtn::clicked, this, &QDialog::close);
    const SystemInfo *info = SystemInfo::instance();
    resize(info->scaled(BaseSize.width()), info->scaled(BaseSize.height()));
}

int ShortcutHelp::rowCount() const
{
    return m_table->rowCount();
}

QString ShortcutHelp::cell(int row, int column) const
{
    const QTableWidgetItem *item = m_table->item(row, column);
    return item ? item->text() : QString();
}
