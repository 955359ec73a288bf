#include "devtree/MenuListDev.h"

#include "devtree/MenuDevTitle.h"
#include "diagnostics/SystemInfo.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/ChannelDrag.h"
#include "view/ViewControl.h"
#include "widgets/LabelFoldBtn.h"

#include <QDrag>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int RowHeight = 24;
constexpr int FoldSize = 10;
constexpr int ChildIndent = 14;

int channelLimit(const Device *d)
{
    return qMin(d->channelCount(), int(d->channels().size()));
}

} // namespace

MenuListDev::MenuListDev(QWidget *parent)
    : QWidget(parent)
    , m_dev(Dev::instance())
    , m_systemInfo(SystemInfo::instance())
    , m_events(DeviceLinks::events())
{
    const SystemInfo *si = m_systemInfo;
    auto *root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    m_title = new MenuDevTitle(this);
    m_title->setObjectName(QStringLiteral("widget_background"));
    m_title->setFixedHeight(si->scaled(RowHeight));
    auto *titleLayout = new QHBoxLayout(m_title);
    titleLayout->setContentsMargins(si->scaled(4), 0, si->scaled(4), 0);
    titleLayout->setSpacing(si->scaled(4));

    // Created after the strip is named: the arrow takes its look from it.
    m_fold = new LabelFoldBtn(m_title);
    m_fold->setObjectName(QStringLiteral("label_channelFold"));
    m_fold->setFixedSize(si->scaled(FoldSize), si->scaled(FoldSize));
    m_foldPlaceHolder = new QLabel(m_title);
    m_foldPlaceHolder->setObjectName(QStringLiteral("label_foldPlaceHolder"));
    m_foldPlaceHolder->setFixedSize(si->scaled(FoldSize), si->scaled(FoldSize));
    m_icon = new QLabel(m_title);
    m_icon->setObjectName(QStringLiteral("label_icon_devType"));
    m_name = new QLabel(m_title);
    m_name->setObjectName(QStringLiteral("label_devName"));
    titleLayout->addWidget(m_fold);
    titleLayout->addWidget(m_foldPlaceHolder);
    titleLayout->addWidget(m_icon);
    titleLayout->addWidget(m_name, 1);
    root->addWidget(m_title);
    // A channel row drags its channel onto a cell of the grid.
    connect(m_title, &MenuDevTitle::dragStarted, this, [this] {
        if (QMimeData *mime = m_channel ? ChannelDrag::mimeFor(m_channel) : nullptr) {
            auto *drag = new QDrag(this);
            drag->setMimeData(mime);
            drag->exec(Qt::CopyAction);
        }
    });

    m_channelBox = new QWidget(this);
    m_channelBox->setObjectName(QStringLiteral("widget_channelBox"));
    auto *boxLayout = new QVBoxLayout(m_channelBox);
    boxLayout->setContentsMargins(si->scaled(ChildIndent), 0, 0, 0);
    boxLayout->setSpacing(0);
    root->addWidget(m_channelBox);
    m_channelBox->hide();

    m_fold->hide();
    setTextState(Normal);

    connect(m_title, &MenuDevTitle::clicked, this, &MenuListDev::clickedDev);
    connect(m_title, &MenuDevTitle::doubleClick, this, &MenuListDev::doubleClickedDev);
    connect(m_title, &MenuDevTitle::rightClicked, this, &MenuListDev::rightClickedDev);
    connect(m_fold, &LabelFoldBtn::clicked, this, &MenuListDev::clickedFold);

    connect(m_events, &DeviceEvents::startReplaySuccessMsg, this, &MenuListDev::connectDevSuccess);
    connect(m_events, &DeviceEvents::startReplaySuccessMsg, this,
            &MenuListDev::connectChannelSuccess);
    connect(m_events, &DeviceEvents::videoRequestSuccessMsg, this, &MenuListDev::connectDevSuccess);
    connect(m_events, &DeviceEvents::videoRequestSuccessMsg, this,
            &MenuListDev::connectChannelSuccess);
    connect(m_events, &DeviceEvents::connectDevFailMsg, this,
            [this](Channel *ch, int, const QString &) { connectDevFail(ch); });
    connect(m_events, &DeviceEvents::connectChannelFailMsg, this,
            [this](Channel *ch, int, const QString &) { connectChannelFail(ch); });
    connect(m_events, &DeviceEvents::videoRequestStopSuccessMsg, this,
            &MenuListDev::videoRequestStopSuccess);
    connect(m_events, &DeviceEvents::stopReplaySuccessMsg, this,
            &MenuListDev::videoRequestStopSuccess);
    // A lost device shows the failure colour on all its rows until it is back.
    connect(m_events, &DeviceEvents::deviceOfflineMsg, this,
            [this](Device *d, int, const QString &) {
                if (d == m_device)
                    setTextState(Failed);
            });
    connect(m_events, &DeviceEvents::deviceOnlineMsg, this, [this](Device *d) {
        if (d == m_device)
            setTextState(m_channel ? Normal : Active);
    });

    ViewControl *view = ViewControl::instance();
    connect(view, &ViewControl::doubleClickScreenMsg, this,
            &MenuListDev::selectChannelByClickScreen);
    connect(view, &ViewControl::changeModMsg, this, &MenuListDev::changeMod);
    connect(m_dev, &Dev::selectDevMsg, this, &MenuListDev::selectDev);
    connect(m_dev, &Dev::selectChannelMsg, this, &MenuListDev::selectChannel);
}

MenuListDev::~MenuListDev() = default;

void MenuListDev::detach()
{
    disconnect(m_events, nullptr, this, nullptr);
    disconnect(m_dev, nullptr, this, nullptr);
    disconnect(ViewControl::instance(), nullptr, this, nullptr);
    for (MenuListDev *child : std::as_const(m_children))
        child->detach();
}

QString MenuListDev::titleFor(const QString &caption)
{
    if (caption.size() > MaxTitleLength)
        return caption.left(MaxTitleLength - 1) + QStringLiteral("...");
    return caption;
}

bool MenuListDev::isCameraType(int type)
{
    return type == 6 || type == 7 || (type >= 10 && type <= 14);
}

QString MenuListDev::textStyle(TextState state)
{
    switch (state) {
    case Failed:
        return QStringLiteral("color: #FF0000;font-size:11px;font-family: \"微软雅黑\";");
    case Active:
        return QStringLiteral("color: #008000;font-size:11px;font-family: \"微软雅黑\";");
    case Normal:
        break;
    }
    return QStringLiteral("color: #4e525a;font-size:11px;font-family: \"微软雅黑\";");
}

QString MenuListDev::title() const
{
    return m_name->text();
}

int MenuListDev::shownRowCount() const
{
    return 1 + (m_open ? int(m_children.size()) : 0);
}

MenuListDev *MenuListDev::rowOf(const Channel *channel)
{
    if (!channel)
        return nullptr;
    if (m_channel == channel)
        return this;
    for (MenuListDev *child : std::as_const(m_children))
        if (MenuListDev *row = child->rowOf(channel))
            return row;
    return nullptr;
}

void MenuListDev::setIcon(bool camera)
{
    if (camera) {
        m_icon->setStyleSheet(QString::fromUtf8(CameraIconStyle));
        m_icon->setFixedSize(m_systemInfo->scaled(12), m_systemInfo->scaled(20));
    } else {
        m_icon->setStyleSheet(QString::fromUtf8(DeviceIconStyle));
        m_icon->setFixedSize(m_systemInfo->scaled(20), m_systemInfo->scaled(8));
    }
}

void MenuListDev::clearChildren()
{
    qDeleteAll(m_children);
    m_children.clear();
}

void MenuListDev::setDevice(Device *device)
{
    m_device = device;
    m_channel = nullptr;
    clearChildren();
    if (!device)
        return;
    m_name->setText(titleFor(device->caption()));
    setIcon(isCameraType(device->type()));

    if (device->channelCount() < 2) {
        // The row stands for channel 0; the place holder keeps the indent.
        m_fold->hide();
        m_foldPlaceHolder->show();
        m_channel = device->channel(0);
    } else {
        m_foldPlaceHolder->hide();
        m_fold->show();
        for (int i = 0; i < channelLimit(device); ++i) {
            auto *child = new MenuListDev(m_channelBox);
            connect(child, &MenuListDev::clicked, this, &MenuListDev::clickedChannel);
            connect(child, &MenuListDev::doubleClicked, this, &MenuListDev::doubleClickedChannel);
            connect(child, &MenuListDev::rightClicked, this, &MenuListDev::rightClickedChannel);
            connect(child, &MenuListDev::devClosed, this, &MenuListDev::showDevClosed);
            child->setChannelRow(device, i);
            m_channelBox->layout()->addWidget(child);
            child->show();
            m_children.append(child);
        }
    }
    setTextState(anyVideoOn(currentLive()) ? Active : Normal);
    setHighlighted(m_channel ? m_dev->selectedChannel() == m_channel
                             : m_dev->selectedDevice() == device && !m_dev->selectedChannel());
}

void MenuListDev::setChannelRow(Device *device, int index)
{
    m_device = device;
    m_channel = device ? device->channel(index) : nullptr;
    clearChildren();
    m_fold->hide();
    m_foldPlaceHolder->show();
    m_name->setText(tr("通道") + QString::number(index + 1));
    setIcon(true);
    setTextState(m_channel && m_channel->videoOn(currentLive()) ? Active : Normal);
    setHighlighted(m_channel && m_dev->selectedChannel() == m_channel);
}

bool MenuListDev::isDeviceRowOf(const Channel *channel) const
{
    return channel && !m_channel && m_device && channel->device() == m_device;
}

bool MenuListDev::anyVideoOn(bool live) const
{
    if (!m_device)
        return false;
    for (int i = 0; i < channelLimit(m_device); ++i)
        if (m_device->channel(i)->videoOn(live))
            return true;
    return false;
}

bool MenuListDev::currentLive() const
{
    return ViewControl::instance()->isLive();
}

void MenuListDev::setTextState(TextState state)
{
    m_textState = state;
    m_name->setStyleSheet(m_systemInfo->scaleStyleSheet(textStyle(state)));
}

void MenuListDev::setHighlighted(bool on)
{
    m_highlighted = on;
    m_title->setStyleSheet(on ? QString::fromLatin1(SelectedBackground) : QString());
}

// ---- Slots -----------------------------------------------------------------

void MenuListDev::clickedFold(LabelFoldBtn *button, bool open)
{
    if (!button)
        return;
    m_channelBox->setVisible(open);
    m_open = open;
    emit folded();
}

void MenuListDev::clickedDev(MenuDevTitle *)
{
    emit clicked(this);
}

void MenuListDev::clickedChannel(MenuListDev *row)
{
    emit clicked(row);
}

void MenuListDev::doubleClickedDev(MenuDevTitle *)
{
    emit doubleClicked(this);
}

void MenuListDev::doubleClickedChannel(MenuListDev *row)
{
    emit doubleClicked(row);
}

void MenuListDev::rightClickedDev(MenuDevTitle *, QMouseEvent *event)
{
    emit rightClicked(this, event);
}

void MenuListDev::rightClickedChannel(MenuListDev *row, QMouseEvent *event)
{
    emit rightClicked(row, event);
}

void MenuListDev::connectDevSuccess(Channel *channel)
{
    if (isDeviceRowOf(channel))
        setTextState(Active);
}

void MenuListDev::connectChannelSuccess(Channel *channel)
{
    if (isDeviceRowOf(channel))
        setTextState(Active);
    else if (channel && channel == m_channel)
        setTextState(channel->videoOn(currentLive()) ? Active : Normal);
}

void MenuListDev::connectDevFail(Channel *channel)
{
    if (!channel)
        return;
    const bool singleChannelRow =
        m_channel && m_device == channel->device() && m_device->channelCount() < 2;
    if (isDeviceRowOf(channel) || singleChannelRow)
        setTextState(Failed);
}

void MenuListDev::connectChannelFail(Channel *channel)
{
    if (channel && channel == m_channel)
        setTextState(Failed);
}

void MenuListDev::videoRequestStopSuccess(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    setTextState(Normal);
    if (!anyVideoOn(currentLive()))
        emit devClosed(channel);
}

void MenuListDev::showDevClosed(Channel *channel)
{
    if (isDeviceRowOf(channel))
        setTextState(Normal);
}

void MenuListDev::selectChannelByClickScreen(Channel *channel)
{
    if (channel && channel == m_channel)
        emit clicked(this);
}

void MenuListDev::selectDev(Device *device)
{
    setHighlighted(device && !m_channel && m_device == device);
}

void MenuListDev::selectChannel(Channel *channel)
{
    if (!channel)
        return;
    setHighlighted(channel == m_channel);
}

void MenuListDev::changeMod(bool live)
{
    if (m_channel)
        setTextState(m_channel->videoOn(live) ? Active : Normal);
    else
        setTextState(anyVideoOn(live) ? Active : Normal);
}
