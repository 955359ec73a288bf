#include "ptz/MenuPtz.h"

#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "ptz/Cruise.h"
#include "ptz/PTZ.h"
#include "ptz/Point.h"
#include "ptz/PtzBtn.h"
#include "ptz/PtzTab.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace {

struct Button
{
    int code;
    const char *name;
    const char *image;
    int row;
    int column;
};
// The pad (rows 0..2) and the lens pairs (rows 3..5: minus, plus).
constexpr Button kButtons[] = {
    {5, "label_btnTopLeft", "upleft", 0, 0},       {1, "label_btnTop", "upBtn", 0, 1},
    {6, "label_btnTopRight", "upper_right", 0, 2}, {2, "label_btnLeft", "left", 1, 0},
    {3, "label_btnRight", "right", 1, 2},          {8, "label_btnBottomLeft", "left_lower", 2, 0},
    {4, "label_btnBottom", "down", 2, 1},          {7, "label_btnBottomRight", "low_right", 2, 2},
    {9, "label_zoomMinus", "minus", 3, 0},         {10, "label_zoomPlus", "plus", 3, 2},
    {11, "label_focusMinus", "minus", 4, 0},       {12, "label_focusPlus", "plus", 4, 2},
    {13, "label_irisMinus", "minus", 5, 0},        {14, "label_irisPlus", "plus", 5, 2},
};

} // namespace

MenuPtz::MenuPtz(QWidget *parent)
    : QWidget(parent)
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *grid = new QGridLayout;
    outer->addLayout(grid);
    grid->setSpacing(6);
    for (const Button &b : kButtons) {
        auto *button = new PtzBtn(b.code, QLatin1String(b.image), this);
        button->setObjectName(QLatin1String(b.name));
        button->setMinimumSize(32, 28);
        grid->addWidget(button, b.row, b.column);
        connect(button, &PtzBtn::clickMsg, this, &MenuPtz::clickDirection);
        connect(button, &PtzBtn::releaseMsg, this, &MenuPtz::stopPtz);
        m_buttons.append(button);
    }
    const QString lens[] = {tr("变倍"), tr("聚焦"), tr("光圈")};
    for (int i = 0; i < 3; ++i) {
        auto *label = new QLabel(lens[i], this);
        label->setAlignment(Qt::AlignCenter);
        grid->addWidget(label, 3 + i, 1);
    }
    grid->addWidget(new QLabel(tr("步长(1-8):"), this), 6, 0, 1, 2);
    m_step = new QComboBox(this);
    m_step->setStyleSheet(QStringLiteral("font-size:11px"));
    for (int s = 1; s <= 8; ++s)
        m_step->addItem(QString::number(s), s);
    m_step->setCurrentIndex(4);
    PTZ::instance()->setStep(step());
    connect(m_step, &QComboBox::activated, this, [this] { PTZ::instance()->setStep(step()); });
    grid->addWidget(m_step, 6, 2);

    // Below the pad: the preset and cruise panels behind a row of tabs (the
    // colour tab has no panel and stays hidden).
    auto *tabs = new QHBoxLayout;
    tabs->setSpacing(1);
    const std::pair<const char *, QString> tabNames[] = {{"widget_point", tr("预置点")},
                                                         {"widget_cruise", tr("巡航线")},
                                                         {"widget_color", tr("色彩调节")}};
    for (const auto &[name, text] : tabNames) {
        auto *tab = new PtzTab(text, this);
        tab->setObjectName(QLatin1String(name));
        tabs->addWidget(tab);
        connect(tab, &PtzTab::clicked, this, &MenuPtz::selectedTab);
        m_tabs.append(tab);
    }
    m_tabs.last()->hide();
    outer->addLayout(tabs);
    auto *tabPlace = new QWidget(this);
    tabPlace->setObjectName(QStringLiteral("widget_tabPlace"));
    auto *place = new QVBoxLayout(tabPlace);
    place->setContentsMargins(0, 0, 0, 0);
    m_point = new Point(tabPlace);
    m_cruise = new Cruise(tabPlace);
    place->addWidget(m_point);
    place->addWidget(m_cruise);
    outer->addWidget(tabPlace, 1);
    m_tabs.first()->select();
    m_resend.setInterval(ResendMs);
    connect(&m_resend, &QTimer::timeout, this, &MenuPtz::resent);
    connect(Dev::instance(), &Dev::selectChannelMsg, this, &MenuPtz::offerFeatures);
    offerFeatures(Dev::instance()->selectedChannel());
}

void MenuPtz::offerFeatures(Channel *ch)
{
    // Only what the selected device can do; without a device, everything
    // (the buttons then say that none is selected).
    const Device *d = ch ? ch->device() : nullptr;
    auto offers = [d](int feature) { return !d || DeviceLinks::has(d, feature); };
    PtzTab *point = tab(QStringLiteral("widget_point"));
    PtzTab *cruise = tab(QStringLiteral("widget_cruise"));
    point->setVisible(offers(DeviceLink::Presets));
    cruise->setVisible(offers(DeviceLink::Cruise));
    PtzTab *current = !m_cruise->isHidden() ? cruise : point;
    for (PtzTab *t : {current, point, cruise}) {
        if (!t->isHidden()) {
            t->select();
            return;
        }
    }
    m_point->hide();
    m_cruise->hide();
}

void MenuPtz::selectedTab(PtzTab *tab)
{
    for (PtzTab *other : std::as_const(m_tabs))
        if (other != tab)
            other->deselect();
    const QString name = tab->objectName();
    m_point->setVisible(name == QLatin1String("widget_point"));
    m_cruise->setVisible(name == QLatin1String("widget_cruise"));
}

PtzTab *MenuPtz::tab(const QString &name) const
{
    for (PtzTab *t : m_tabs)
        if (t->objectName() == name)
            return t;
    return nullptr;
}

bool MenuPtz::isCameraClass(int deviceType)
{
    return deviceType == 7 || deviceType == 10;
}

std::pair<int, bool> MenuPtz::commandFor(int code, int deviceType)
{
    // Recorder class: the long form's commands for codes 1..14.
    static constexpr int longCommands[] = {3, 1, 2, 4, 5, 7, 8, 6, 11, 12, 9, 10, 13, 14};
    static constexpr int shortCommands[] = {1, 3, 4, 2};
    if (code < 1 || code > 14)
        return {-1, false};
    if (isCameraClass(deviceType))
        return code <= 4 ? std::pair<int, bool>{shortCommands[code - 1], true}
                         : std::pair<int, bool>{-1, true};
    return {longCommands[code - 1], false};
}

int MenuPtz::step() const
{
    return m_step->currentData().toInt();
}

PtzBtn *MenuPtz::button(int code) const
{
    for (PtzBtn *b : m_buttons)
        if (b->code() == code)
            return b;
    return nullptr;
}

void MenuPtz::clickDirection(int code)
{
    Channel *ch = Dev::instance()->selectedChannel();
    if (!ch)
        return;
    // A new movement on another channel first stops the one running.
    if (m_moving && m_channel != ChannelRef::of(ch))
        stopPtz();
    m_channel = ChannelRef::of(ch);
    m_moving = true;
    m_lastCode = code;
    send(code);
    m_resend.start();
}

void MenuPtz::send(int code)
{
    Channel *ch = m_channel.resolve(Dev::instance());
    if (!ch)
        return;
    const auto [command, shortForm] = commandFor(code, ch->device()->type());
    if (command >= 0)
        DeviceLinks::of(ch->device())->ptzControl(ch, quint8(command), quint8(step()), shortForm);
}

void MenuPtz::resent()
{
    if (m_moving)
        send(m_lastCode);
}

void MenuPtz::stopPtz()
{
    m_resend.stop();
    if (!m_moving)
        return;
    m_moving = false;
    // The stop goes to the channel that moves, whatever is selected now.
    if (Channel *ch = m_channel.resolve(Dev::instance()))
        DeviceLinks::of(ch->device())->ptzControl(ch, 0, quint8(step()), ch->device()->type() == 7);
    m_channel = ChannelRef();
}

bool MenuPtz::handleKey(int key, bool pressed, bool autoRepeat)
{
    int code = 0;
    switch (key) {
    case Qt::Key_Up:
        code = 1;
        break;
    case Qt::Key_Left:
        code = 2;
        break;
    case Qt::Key_Right:
        code = 3;
        break;
    case Qt::Key_Down:
        code = 4;
        break;
    default:
        return false;
    }
    if (autoRepeat)
        return true; // the resend timer repeats the movement
    if (pressed) {
        m_heldKey = key;
        clickDirection(code);
    } else if (key == m_heldKey) {
        m_heldKey = 0;
        stopPtz();
    }
    return true;
}

void MenuPtz::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A window that loses the focus while a button is held ends the movement.
    if (window() != m_topLevel) {
        if (m_topLevel)
            m_topLevel->removeEventFilter(this);
        m_topLevel = window();
        m_topLevel->installEventFilter(this);
    }
}

bool MenuPtz::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_topLevel &&
        (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::Hide))
        stopPtz();
    return QWidget::eventFilter(watched, event);
}
