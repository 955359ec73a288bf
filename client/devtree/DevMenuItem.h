#pragma once

#include "widgets/Clickable.h"

#include <QWidget>

class QLabel;

// One entry of the device context menu: a text and, for entries that show a
// state, a small marker on the left. Highlighted while the mouse is over it;
// reports a left-button release. GUI thread only.
class DevMenuItem : public Clickable<QWidget>
{
    Q_OBJECT

public:
    // Designed height of an entry, before the UI scale.
    static constexpr int BaseHeight = 26;

    DevMenuItem(const QString &objectName, const QString &text, QWidget *parent = nullptr);

    QString text() const;
    QLabel *textLabel() const { return m_text; }
    // Adds a marker label with this object name (hidden until shown).
    QLabel *addMarker(const QString &objectName);
    // Sizes the entry for the UI scale.
    void applyScale(double scale, const QString &textStyle);

signals:
    void clicked(DevMenuItem *item);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void leftButtonReleased() override;
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_text;
    QWidget *m_markerSlot;
    QLabel *m_marker = nullptr;
};
