#pragma once

#include <QList>
#include <QWidget>

// A small line chart of the last values of one figure, oldest on the left,
// scaled to a quarter above the largest value shown (and never below 1). GUI thread only.
class Sparkline : public QWidget
{
    Q_OBJECT

public:
    explicit Sparkline(int capacity, QWidget *parent = nullptr);

    // Appends a value; beyond the capacity the oldest one goes.
    void append(double value);
    void clear();
    const QList<double> &values() const { return m_values; }
    int capacity() const { return m_capacity; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const int m_capacity;
    QList<double> m_values;
};
