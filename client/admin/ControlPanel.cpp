#include "admin/ControlPanel.h"

#include "admin/CloseBtn.h"
#include "diagnostics/SystemInfo.h"
#include "view/ViewControl.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QVBoxLayout>

namespace {

constexpr QSize BaseSize(720, 500);

const char *const SelectedBackground =
    "background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 "
    "#808080,stop:0.5 #606060 ,stop:1 #313131);";
const char *const NormalBackground =
    "background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 "
    "#b9c7d1,stop:0.5 #b9c7d1 ,stop:1 #dee2e6);";
const char *const SelectedText = "color:#e2e2e2;font-size:11px;font-family: \"微软雅黑\";"
                                 "font-weight:bold;background-color:rgba(0,0,0,0)";
const char *const NormalText = "color:#6c6c6c;font-size:11px;font-family: \"微软雅黑\";"
                               "font-weight:bold;background-color:rgba(0,0,0,0)";

struct TabSpec
{
    const char *name;
    const char *icon;
    const char *text;
};
// In the order of the tab box.
const TabSpec Tabs[] = {
    {"widget_btn_1", "local", QT_TRANSLATE_NOOP("ControlPanel", "本地配置")},
    {"widget_btn_2", "user", QT_TRANSLATE_NOOP("ControlPanel", "用户管理")},
    {"widget_btn_3", "time", QT_TRANSLATE_NOOP("ControlPanel", "时间搜索")},
    {"widget_btn_6", "file", QT_TRANSLATE_NOOP("ControlPanel", "Debug记录")},
    {"widget_btn_4", "event", QT_TRANSLATE_NOOP("ControlPanel", "事件搜索")},
    {"widget_btn_5", "daily", QT_TRANSLATE_NOOP("ControlPanel", "日志搜索")},
};

} // namespace

ControlTab::ControlTab(const QString &name, const QString &icon, const QString &text,
                       QWidget *parent)
    : QWidget(parent)
    , m_icon(icon)
{
    setObjectName(name);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    m_iconLabel = new QLabel(this);
    m_iconLabel->setFixedSize(16, 16);
    m_text = new QLabel(text, this);
    layout->addWidget(m_iconLabel);
    layout->addWidget(m_text, 1);
    setMinimumHeight(32);
    setSelected(false);
}

void ControlTab::setSelected(bool on)
{
    m_selected = on;
    setStyleSheet(QLatin1String(on ? SelectedBackground : NormalBackground));
    m_iconLabel->setStyleSheet(
        QStringLiteral("border-image: url(:/main/images/btnImg/%1%2.png);background:rgba(0,0,0,0)")
            .arg(m_icon, on ? QStringLiteral("-hover") : QString()));
    m_text->setStyleSheet(SystemInfo::instance()->scaleFontSheet(
        QLatin1String(on ? SelectedText : NormalText), SystemInfo::Normal));
}

void ControlTab::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    setSelected(true);
    emit clickMsg(this);
}

void ControlTab::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

ControlPanel::ControlPanel(const QMap<QString, PageFactory> &pages, QWidget *parent)
    : QWidget(parent)
    , m_factories(pages)
{
    setObjectName(QStringLiteral("ControlPanel"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#ControlPanel{background:#f6f6f6;border:1px solid #999}"));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(1, 1, 1, 1);
    outer->setSpacing(0);
    m_header = new QWidget(this);
    m_header->setObjectName(QStringLiteral("widget_header"));
    m_header->setAttribute(Qt::WA_StyledBackground);
    m_header->setStyleSheet(QStringLiteral("#widget_header{background:#3a3441}"));
    m_header->installEventFilter(this);
    auto *headerLayout = new QHBoxLayout(m_header);
    headerLayout->setContentsMargins(10, 4, 4, 4);
    auto *title = new QLabel(tr("控制面板"), m_header);
    title->setStyleSheet(QStringLiteral("color:#ffffff;font-size:13px"));
    headerLayout->addWidget(title, 1);
    auto *closeButton = new CloseBtn(m_header);
    closeButton->setObjectName(QStringLiteral("widget_closeBtn"));
    closeButton->setFixedSize(22, 22);
    closeButton->setStyleSheet(
        QStringLiteral("border-image: url(:/main/images/btnImg/btn_close.png);background:#c3382b"));
    headerLayout->addWidget(closeButton);
    outer->addWidget(m_header);

    auto *body = new QHBoxLayout;
    body->setSpacing(0);
    auto *tabBox = new QWidget(this);
    tabBox->setObjectName(QStringLiteral("widget_tabBox"));
    auto *tabLayout = new QVBoxLayout(tabBox);
    tabLayout->setContentsMargins(0, 0, 0, 0);
    tabLayout->setSpacing(1);
    for (const TabSpec &spec : Tabs) {
        auto *tab = new ControlTab(QLatin1String(spec.name), QLatin1String(spec.icon),
                                   tr(spec.text), tabBox);
        tab->setVisible(m_factories.contains(QLatin1String(spec.name)));
        tabLayout->addWidget(tab);
        connect(tab, &ControlTab::clickMsg, this, &ControlPanel::clickTab);
        m_tabs.append(tab);
    }
    tabLayout->addStretch(1);
    // At least the base width, wider where a tab's text needs it.
    tabBox->setMinimumWidth(SystemInfo::instance()->scaled(120));
    tabBox->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    body->addWidget(tabBox);
    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("widget_contentBox"));
    m_content->setAttribute(Qt::WA_StyledBackground);
    m_content->setStyleSheet(QStringLiteral("#widget_contentBox{background-color:#eeeeee;}"));
    auto *contentLayout = new QVBoxLayout(m_content);
    contentLayout->setContentsMargins(8, 8, 8, 8);
    body->addWidget(m_content, 1);
    outer->addLayout(body, 1);

    connect(closeButton, &CloseBtn::clicked, this, &ControlPanel::close);
    connect(ViewControl::instance(), &ViewControl::resizeMsg, this, &ControlPanel::reposition);
}

ControlTab *ControlPanel::tab(const QString &name) const
{
    for (ControlTab *t : m_tabs)
        if (t->objectName() == name)
            return t;
    return nullptr;
}

void ControlPanel::selectTab(int index)
{
    // The tab at that place of the box; a hidden one gives way to the first shown.
    ControlTab *chosen = index >= 0 && index < m_tabs.size() ? m_tabs.at(index) : nullptr;
    if (!chosen || !m_factories.contains(chosen->objectName())) {
        chosen = nullptr;
        for (ControlTab *t : std::as_const(m_tabs))
            if (!chosen && m_factories.contains(t->objectName()))
                chosen = t;
    }
    if (chosen)
        clickTab(chosen);
}

void ControlPanel::clickTab(ControlTab *tab)
{
    for (ControlTab *other : std::as_const(m_tabs))
        if (other != tab)
            other->setSelected(false);
    tab->setSelected(true);
    delete m_page;
    const auto factory = m_factories.constFind(tab->objectName());
    if (factory == m_factories.constEnd())
        return;
    m_page = (*factory)(m_content);
    if (m_page) {
        m_content->layout()->addWidget(m_page);
        m_page->show();
    }
}

void ControlPanel::close()
{
    emit closeMsg();
}

void ControlPanel::move(QPoint delta)
{
    QWidget::move(pos() + delta);
    emit moveMsg(delta);
}

void ControlPanel::applyScale()
{
    resize(SystemInfo::instance()->scaled(BaseSize.width()),
           SystemInfo::instance()->scaled(BaseSize.height()));
    reposition();
}

void ControlPanel::reposition()
{
    if (QWidget *p = parentWidget()) {
        resize(size().boundedTo(p->size()));
        QWidget::move((p->width() - width()) / 2, (p->height() - height()) / 2);
    }
}

bool ControlPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_header) {
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto *mouse = static_cast<QMouseEvent *>(event);
            m_dragging = mouse->button() == Qt::LeftButton;
            m_dragFrom = mouse->globalPosition().toPoint();
            break;
        }
        case QEvent::MouseMove:
            if (m_dragging) {
                const QPoint at = static_cast<QMouseEvent *>(event)->globalPosition().toPoint();
                move(at - m_dragFrom);
                m_dragFrom = at;
            }
            break;
        case QEvent::MouseButtonRelease:
            m_dragging = false;
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
