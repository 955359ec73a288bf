#include "view/WaitingCircle.h"

#include "diagnostics/SystemInfo.h"

#include <QLabel>
#include <QMovie>

WaitingCircle::WaitingCircle(QWidget *parent)
    : QWidget(parent)
    , m_label(new QLabel(this))
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    m_label->setAlignment(Qt::AlignCenter);
    relayout();
}

WaitingCircle::~WaitingCircle() = default;

void WaitingCircle::relayout()
{
    const int side = SystemInfo::instance()->scaled(BaseSize);
    resize(side, side);
    m_label->setGeometry(0, 0, side, side);
    if (QWidget *cell = parentWidget())
        move((cell->width() - side) / 2, (cell->height() - side) / 2);
    QMovie *old = m_movie;
    m_movie = new QMovie(QString::fromLatin1(MoviePath), QByteArray(), this);
    m_movie->setScaledSize(QSize(side, side));
    m_label->setMovie(m_movie);
    m_movie->start();
    delete old;
}

bool WaitingCircle::isPlaying() const
{
    return m_movie && m_movie->state() == QMovie::Running;
}
