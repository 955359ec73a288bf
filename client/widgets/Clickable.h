#pragma once

#include <QMouseEvent>
#include <QWidget>

// A widget that acts as a button: it shows the pointing-hand cursor, and a
// left-button release over it calls leftButtonReleased(), where each button
// emits its own signal. Base is QWidget or a subclass of it (QLabel).
// GUI thread only.
//
// With Release::PassOn every release then goes on to Base's handler, which
// leaves the event unaccepted so that the parent sees it as well; with
// Release::Consume the button keeps every release to itself.
template <class Base> class Clickable : public Base
{
public:
    enum class Release { PassOn, Consume };

    explicit Clickable(QWidget *parent = nullptr, Release release = Release::PassOn)
        : Base(parent)
        , m_release(release)
    {
        this->setCursor(Qt::PointingHandCursor);
    }

protected:
    virtual void leftButtonReleased() = 0;

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::LeftButton)
            leftButtonReleased();
        if (m_release == Release::PassOn)
            Base::mouseReleaseEvent(event);
    }

private:
    const Release m_release;
};
