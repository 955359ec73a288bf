#pragma once

#include <QFrame>
#include <QTimer>

#include <functional>

class QLabel;
class QPushButton;

// A short notice near the bottom of its host: what an action did ("Snapshot
// saved"), with an optional action button ("Open folder"). It goes after
// ShowMs, or at once when a newer notice replaces it; the pointer over it
// holds it. GUI thread only.
class Notice : public QFrame
{
    Q_OBJECT

public:
    static constexpr int ShowMs = 4000;

    explicit Notice(QWidget *host);

    // Shows text, with a button labelled actionText that runs action (and
    // closes the notice) when both are given.
    void post(const QString &text, const QString &actionText = QString(),
              std::function<void()> action = {});
    // The notice of the window that holds widget (null when it has none):
    // any widget of a main window can tell what it did.
    static Notice *of(const QWidget *widget);

    QString text() const;
    QPushButton *actionButton() const { return m_action; }

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();

    QLabel *m_text;
    QPushButton *m_action;
    std::function<void()> m_run;
    QTimer m_timer;
};
