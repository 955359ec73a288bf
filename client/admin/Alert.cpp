#include "admin/Alert.h"

#include "admin/CloseBtn.h"
#include "diagnostics/SystemInfo.h"
#include "model/Channel.h"
#include "model/Device.h"
#include "view/ViewControl.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QTableWidget>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr QSize BaseSize(300, 110);

} // namespace

QString AlertEntry::deviceText(const Channel *channel)
{
    if (!channel || !channel->device())
        return QString();
    return channel->device()->uid() + QLatin1Char('(') + QString::number(channel->index() + 1) +
           QLatin1Char(')');
}

bool AlertLog::add(const AlertEntry &entry)
{
    if (!m_entries.isEmpty()) {
        AlertEntry &newest = m_entries.last();
        if (newest.sameFailure(entry) && newest.last.msecsTo(entry.first) <= CollapseMs) {
            newest.count += entry.count;
            newest.last = entry.last;
            return true;
        }
    }
    m_entries.append(entry);
    while (m_entries.size() > MaxEntries)
        m_entries.removeFirst();
    return false;
}

Alert::Alert(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Alert"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *box = new QWidget(this);
    box->setObjectName(QStringLiteral("widget"));
    box->setAttribute(Qt::WA_StyledBackground);
    box->setStyleSheet(QStringLiteral(
        "#widget{border:1px solid #aaa;\nborder-radius:4px;\nbackground-color: #505153;}"));
    outer->addWidget(box);
    auto *grid = new QGridLayout(box);
    auto *closeButton = new CloseBtn(box);
    closeButton->setObjectName(QStringLiteral("widget_closeBtn"));
    closeButton->setFixedSize(20, 20);
    closeButton->setStyleSheet(QStringLiteral(
        "background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 "
        "#c3382b,stop:0.5 #c3382b ,stop:1 #ad3333);\nborder-radius:0;border-image: "
        "url(:/main/images/btnImg/btn_close.png);"));
    grid->addWidget(closeButton, 0, 2, Qt::AlignRight | Qt::AlignTop);
    const QString style = QStringLiteral("color:#ffffff;font-size:11px;background:transparent");
    const auto row = [&](int r, const QString &caption, const char *name) {
        auto *title = new QLabel(caption, box);
        title->setStyleSheet(style);
        auto *value = new QLabel(box);
        value->setObjectName(QLatin1String(name));
        value->setStyleSheet(style);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(title, r, 0, Qt::AlignTop);
        grid->addWidget(value, r, 1, 1, 2);
        return value;
    };
    m_code = row(1, tr("错误码:"), "label_errorCode");
    m_device = row(2, tr("设备:"), "label_device");
    m_message = row(3, tr("信息:"), "label_errorMsg");
    grid->setColumnStretch(1, 1);
    connect(closeButton, &CloseBtn::clicked, this, &Alert::close);
    connect(ViewControl::instance(), &ViewControl::resizeMsg, this, &Alert::reposition);
}

void Alert::setMessage(const AlertEntry &entry)
{
    m_entry = entry;
    m_code->setText(QString::number(entry.code));
    m_device->setText(entry.device);
    m_message->setText(entry.count > 1 ? tr("%1 (%2 times)").arg(entry.text).arg(entry.count)
                                       : entry.text);
}

QString Alert::codeText() const
{
    return m_code->text();
}

QString Alert::deviceText() const
{
    return m_device->text();
}

QString Alert::messageText() const
{
    return m_message->text();
}

void Alert::close()
{
    emit closeMsg();
}

void Alert::applyScale()
{
    resize(SystemInfo::instance()->scaled(BaseSize.width()),
           SystemInfo::instance()->scaled(BaseSize.height()));
    reposition();
}

void Alert::reposition()
{
    if (QWidget *p = parentWidget())
        move((p->width() - width()) / 2, (p->height() - height()) / 2);
}

AlertList::AlertList(const AlertLog &log, QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("AlertList"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_table = new QTableWidget(int(log.entries().size()), 5, this);
    m_table->setHorizontalHeaderLabels(
        {tr("Time"), tr("Device"), tr("Code"), tr("Message"), tr("Count")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    int row = 0;
    for (auto it = log.entries().crbegin(); it != log.entries().crend(); ++it, ++row) {
        const QString cells[] = {it->last.toString(QStringLiteral("HH:mm:ss")), it->device,
                                 QString::number(it->code), it->text, QString::number(it->count)};
        for (int c = 0; c < 5; ++c)
            m_table->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
    m_table->resizeColumnsToContents();
    layout->addWidget(m_table);
}

int AlertList::rowCount() const
{
    return m_table->rowCount();
}

QString AlertList::cell(int row, int column) const
{
    const QTableWidgetItem *item = m_table->item(row, column);
    return item ? item->text() : QString();
}
