#pragma once

#include <QMap>
#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <functional>

class QLabel;

// One side tab of the control panel: an icon and a text; a left-button
// release selects it and reports the click. GUI thread only.
class ControlTab : public QWidget
{
    Q_OBJECT

public:
    ControlTab(const QString &name, const QString &icon, const QString &text,
               QWidget *parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool on);

signals:
    void clickMsg(ControlTab *tab);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_selected = false;
    QString m_icon;
    QLabel *m_iconLabel;
    QLabel *m_text;
};

// The control panel: side tabs that show one page at a time in the content
// box (local settings, user management, the session's alerts, debug log).
// The pages come from factories the main window registers, so the panel
// knows nothing of them; a tab without a factory stays hidden. Clicking the
// selected tab again rebuilds its page. GUI thread only.
class ControlPanel : public QWidget
{
    Q_OBJECT

public:
    using PageFactory = std::function<QWidget *(QWidget *parent)>;

    explicit ControlPanel(const QMap<QString, PageFactory> &pages, QWidget *parent = nullptr);

    QWidget *page() const { return m_page; }
    ControlTab *tab(const QString &name) const;
    QList<ControlTab *> tabs() const { return m_tabs; }
    // Selects the tab at place i of the box (0 local settings, 1 user management).
    void selectTab(int index);
    void applyScale();

signals:
    void closeMsg();
    void moveMsg(QPoint delta);

public slots:
    void close();
    void move(QPoint delta);
    void clickTab(ControlTab *tab);
    void reposition();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QMap<QString, PageFactory> m_factories;
    QList<ControlTab *> m_tabs;
    QWidget *m_content;
    QWidget *m_header;
    QPointer<QWidget> m_page;
    QPoint m_dragFrom;
    bool m_dragging = false;
};
