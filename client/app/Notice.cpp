#include "app/Notice.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

constexpr int BottomGap = 24;

} // namespace

Notice::Notice(QWidget *host)
    : QFrame(host)
    , m_text(new QLabel(this))
    , m_action(new QPushButton(this))
{
    setObjectName(QStringLiteral("notice"));
    setStyleSheet(QStringLiteral(
        "#notice { background: rgba(30, 30, 36, 230); border-radius: 6px; }"
        "#notice QLabel { color: white; background: transparent; }"
        "#notice QPushButton { color: #9fc3ff; background: transparent; border: none;"
        " text-decoration: underline; padding: 0 4px; }"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(14, 8, 14, 8);
    row->setSpacing(12);
    row->addWidget(m_text);
    row->addWidget(m_action);
    m_action->setCursor(Qt::PointingHandCursor);
    m_action->hide();
    connect(m_action, &QPushButton::clicked, this, [this] {
        const std::function<void()> run = m_run;
        hide();
        if (run)
            run();
    });
    m_timer.setSingleShot(true);
    m_timer.setInterval(ShowMs);
    connect(&m_timer, &QTimer::timeout, this, &QWidget::hide);
    host->installEventFilter(this);
    hide();
}

void Notice::post(const QString &text, const QString &actionText, std::function<void()> action)
{
    m_text->setText(text);
    const bool withAction = !actionText.isEmpty() && action;
    m_action->setText(actionText);
    m_action->setVisible(withAction);
    m_run = withAction ? std::move(action) : std::function<void()>();
    adjustSize();
    place();
    show();
    raise();
    m_timer.start();
}

Notice *Notice::of(const QWidget *widget)
{
    const QWidget *top = widget ? widget->window() : nullptr;
    return top ? top->findChild<Notice *>(QStringLiteral("notice")) : nullptr;
}

QString Notice::text() const
{
    return isVisible() ? m_text->text() : QString();
}

void Notice::enterEvent(QEnterEvent *event)
{
    m_timer.stop();
    QFrame::enterEvent(event);
}

void Notice::leaveEvent(QEvent *event)
{
    if (isVisible())
        m_timer.start();
    QFrame::leaveEvent(event);
}

bool Notice::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parent() && event->type() == QEvent::Resize && isVisible())
        place();
    return QFrame::eventFilter(watched, event);
}

void Notice::place()
{
    const QWidget *host = parentWidget();
    const int width = qMin(sizeHint().width(), host->width() - 16);
    resize(width, sizeHint().height());
    move((host->width() - width) / 2, qMax(0, host->height() - height() - BottomGap));
}
