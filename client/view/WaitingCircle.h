#pragma once

#include <QWidget>

class QLabel;
class QMovie;

// The animated waiting indicator shown over a view cell while its stream is
// being requested: a label playing ":/main/images/btnImg/Loading_icon.gif".
// GUI thread.
class WaitingCircle : public QWidget
{
    Q_OBJECT

public:
    static constexpr int BaseSize = 64; // designed size, before scaling
    static constexpr const char *MoviePath = ":/main/images/btnImg/Loading_icon.gif";

    explicit WaitingCircle(QWidget *parent);
    ~WaitingCircle() override;

    // Sizes the indicator (base size times the UI scale), centres it in its
    // parent and (re)starts the movie at that size.
    void relayout();
    bool isPlaying() const;

private:
    QLabel *m_label;
    QMovie *m_movie = nullptr;
};
