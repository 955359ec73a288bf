#include "ptz/PtzTab.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

PtzTab::PtzTab(const QString &text, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    auto *label = new QLabel(text, this);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("background:transparent"));
    layout->addWidget(label);
    setStyleSheet(m_normalStyle);
}

void PtzTab::select()
{
    m_selected = true;
    setStyleSheet(m_selectedStyle);
    emit clicked(this);
}

void PtzTab::deselect()
{
    setStyleSheet(m_normalStyle);
    m_selected = false;
}

void PtzTab::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_selected && event->button() == Qt::LeftButton)
        select();
}

void PtzTab::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
