#include "devtree/DevMenuItem.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStyleOption>

namespace {
constexpr int MarkerSize = 6;
constexpr int MarkerLeft = 8;
constexpr int MarkerGap = 8;
} // namespace

DevMenuItem::DevMenuItem(const QString &objectName, const QString &text, QWidget *parent)
    : Clickable(parent)
    , m_text(new QLabel(text, this))
{
    setObjectName(objectName);
    m_text->setObjectName(objectName + QStringLiteral("_text"));
    m_text->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto *layout = new QHBoxLayout(this);
    layout->setSpacing(0);
    m_markerSlot = new QWidget(this);
    m_markerSlot->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(m_markerSlot);
    layout->addWidget(m_text, 1);
    applyScale(1.0, QString());
}

QString DevMenuItem::text() const
{
    return m_text->text();
}

QLabel *DevMenuItem::addMarker(const QString &objectName)
{
    m_marker = new QLabel(m_markerSlot);
    m_marker->setObjectName(objectName);
    m_marker->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_marker->setStyleSheet(QStringLiteral("background-color:#008000;border-radius:3px"));
    m_marker->setGeometry(0, (height() - MarkerSize) / 2, MarkerSize, MarkerSize);
    m_marker->hide();
    return m_marker;
}

void DevMenuItem::applyScale(double scale, const QString &textStyle)
{
    const int h = int(BaseHeight * scale);
    const int m = int(MarkerSize * scale);
    setFixedHeight(h);
    if (!textStyle.isEmpty())
        m_text->setStyleSheet(textStyle);
    layout()->setContentsMargins(int(MarkerLeft * scale), 0, 0, 0);
    m_markerSlot->setFixedSize(m + int(MarkerGap * scale), h);
    if (m_marker)
        m_marker->setGeometry(0, (h - m) / 2, m, m);
}

void DevMenuItem::enterEvent(QEnterEvent *event)
{
    setStyleSheet(QStringLiteral("DevMenuItem{background-color:#e6e7e8}"));
    QWidget::enterEvent(event);
}

void DevMenuItem::leaveEvent(QEvent *event)
{
    setStyleSheet(QString());
    QWidget::leaveEvent(event);
}

void DevMenuItem::leftButtonReleased()
{
    emit clicked(this);
}

void DevMenuItem::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
