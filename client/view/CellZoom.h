#pragma once

#include <QPointF>
#include <QRectF>

// The digital zoom of one view cell: which part of the picture the cell
// shows. Positions are normalised: the picture spans [0, 1]² (y down, as
// its rows), and so does the cell's picture area. At factor 1 the cell shows
// the whole picture; at factor f a 1/f by 1/f part of it, which always lies
// inside the picture.
//
// Plain arithmetic, no widgets; any thread, one at a time.
class CellZoom
{
public:
    static constexpr double MinFactor = 1.0;
    static constexpr double MaxFactor = 8.0;

    double factor() const { return m_factor; }
    bool isZoomed() const { return m_factor > MinFactor; }
    // The part of the picture shown, normalised.
    QRectF visible() const { return QRectF(m_origin, QSizeF(1.0 / m_factor, 1.0 / m_factor)); }

    // Multiplies the factor by multiplier (clamped to [MinFactor, MaxFactor])
    // so that the picture point under pointInCell stays where it is, as far as
    // the view stays inside the picture. True when the view changed.
    bool zoomAt(QPointF pointInCell, double multiplier);
    // Moves the picture with a pointer that moved by delta (a fraction of the
    // cell's size), stopping at the picture's edges. True when the view changed.
    bool panBy(QPointF delta);
    // Centres the view on a picture point, as far as the edges allow.
    bool centreOn(QPointF picturePoint);
    // Back to the whole picture. True when the view changed.
    bool reset();

    // The picture point shown at a point of the cell.
    QPointF toPicture(QPointF pointInCell) const { return m_origin + pointInCell / m_factor; }

private:
    bool moveTo(QPointF origin, double factor);

    double m_factor = MinFactor;
    QPointF m_origin{0.0, 0.0}; // the visible part's top left corner
};
