#include "admin/TabBtn.h"

#include "diagnostics/SystemInfo.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

TabBtn::TabBtn(const QString &text, QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(text, this))
{
    setCursor(Qt::PointingHandCursor);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    m_label->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_label);
    deselect();
}

QString TabBtn::text() const
{
    return m_label->text();
}

void TabBtn::select()
{
    m_selected = true;
    apply(m_selectedBackground, m_selectedText);
}

void TabBtn::deselect()
{
    m_selected = false;
    apply(m_normalBackground, m_normalText);
}

void TabBtn::apply(const QString &background, const QString &text)
{
    setStyleSheet(background);
    const int px = SystemInfo::instance()->scaled(11);
    m_label->setStyleSheet(QString(text).replace(QStringLiteral("font-size:11px"),
                                                 QStringLiteral("font-size:%1px").arg(px)));
}

void TabBtn::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked(this);
    QWidget::mouseReleaseEvent(event);
}

void TabBtn::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
