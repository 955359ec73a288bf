#include "view/CellZoom.h"

#include <QtGlobal>

namespace {

// A factor this close to 1 is 1: repeated wheel steps in and out do not
// leave the cell a hair off the whole picture.
constexpr double Snap = 1e-6;

} // namespace

bool CellZoom::zoomAt(QPointF pointInCell, double multiplier)
{
    if (!(multiplier > 0.0)) // also NaN
        return false;
    double factor = qBound(MinFactor, m_factor * multiplier, MaxFactor);
    if (factor - MinFactor < Snap)
        factor = MinFactor;
    const QPointF fixed = toPicture(pointInCell);
    return moveTo(fixed - pointInCell / factor, factor);
}

bool CellZoom::panBy(QPointF delta)
{
    return moveTo(m_origin - delta / m_factor, m_factor);
}

bool CellZoom::centreOn(QPointF picturePoint)
{
    const double half = 0.5 / m_factor;
    return moveTo(picturePoint - QPointF(half, half), m_factor);
}

bool CellZoom::reset()
{
    return moveTo(QPointF(), MinFactor);
}

bool CellZoom::moveTo(QPointF origin, double factor)
{
    const double limit = 1.0 - 1.0 / factor;
    // qBound with a NaN coordinate (a NaN delta) would keep it: such a move
    // leaves the view as it is.
    if (!(origin.x() == origin.x() && origin.y() == origin.y()))
        return false;
    origin = QPointF(qBound(0.0, origin.x(), limit), qBound(0.0, origin.y(), limit));
    if (factor == m_factor && origin == m_origin)
        return false;
    m_factor = factor;
    m_origin = origin;
    return true;
}
