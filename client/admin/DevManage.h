#pragma once

#include <QList>
#include <QPoint>
#include <QWidget>

class AddDev;
class CloseBtn;
class DevOpt;
class QRWindow;
class SearchDev;
class TabBtn;
class WaitingCircle;

// The device manager: a frameless popup over the main window's centre area
// with a draggable header, a close button and four tabs: add a device, edit
// or delete the selected device, search the local network, and the device
// options. One page lives at a time: a page is created when its tab is
// chosen and deleted when another replaces it; only the search page is
// hidden instead (a press on one of its rows opens the add page from inside
// the table's own signal). Hovering a search result shows its UID as a QR
// code beside the table. GUI thread only.
class DevManage : public QWidget
{
    Q_OBJECT

public:
    enum Tab { AddTab = 0, EditTab = 1, SearchTab = 2, DevOptTab = 3 };

    explicit DevManage(QWidget *parent);
    ~DevManage() override;

    // Opens a page, as a click on its tab does.
    void selectTab(int index);

    const QList<TabBtn *> &tabs() const { return m_tabs; }
    // The current pages (null when not alive) and the hover QR code.
    AddDev *addDevPage() const { return m_addDev; }
    SearchDev *searchPage() const { return m_search; }
    DevOpt *devOptPage() const { return m_devOpt; }
    QRWindow *hoverQr() const { return m_qr; }
    WaitingCircle *waitingCircle() const { return m_waiting; }

signals:
    void closeWindowMsg();
    void moveMsg(QPoint delta);

public slots:
    void closeWindow();
    void clickTab(TabBtn *tab);
    void enteredRow(int row);
    void clickedRow(int row);
    void leaveTable();
    // Moves the window by delta (kept inside its parent) and reports it.
    void moveBy(QPoint delta);
    void stopWaiting();
    void startWaiting();
    void reposition();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void markTab(TabBtn *tab);
    void showAddPage(bool addMode);
    void deleteAddPage();
    void deleteDevOptPage();
    void deleteSearchPage();
    void placePage(QWidget *page);

    QList<TabBtn *> m_tabs;
    AddDev *m_addDev = nullptr;
    SearchDev *m_search = nullptr;
    QRWindow *m_qr = nullptr;
    WaitingCircle *m_waiting = nullptr;
    DevOpt *m_devOpt = nullptr;
    QWidget *m_header = nullptr;
    QWidget *m_content = nullptr;
    CloseBtn *m_close = nullptr;
    QPoint m_dragFrom; // global position of the last drag step
    bool m_dragging = false;
};
