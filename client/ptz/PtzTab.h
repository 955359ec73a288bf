#pragma once

#include <QWidget>

// One tab header of the PTZ panel's tab row. A click selects it (once: a
// selected tab ignores clicks); the panel deselects the others.
class PtzTab : public QWidget
{
    Q_OBJECT

public:
    explicit PtzTab(const QString &text, QWidget *parent = nullptr);

    bool isSelected() const { return m_selected; }
    void select();
    void deselect();

signals:
    void clicked(PtzTab *tab);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_selected = false;
    const QString m_selectedStyle = QStringLiteral(
        "background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 "
        "#dfdfdf,stop:0.5 #aaaaaa ,stop:1 #aaaaaa)");
    const QString m_normalStyle = QStringLiteral("background-color:#eeeeee");
};
