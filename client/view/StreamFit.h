#pragma once

#include <QSize>

// Which of a device's two streams a view cell should show: the sub stream
// (SD) in a cell smaller than the main stream's (HD) picture, the main
// stream in a cell about as large as it or larger. The band between the two
// thresholds keeps the choice, so a cell resized around one threshold does
// not switch back and forth.
namespace StreamFit {

// HD once the cell spans this much of the HD picture (in either direction).
constexpr double UpScale = 0.75;
// SD again once it spans less than this.
constexpr double DownScale = 0.55;
// The HD picture size assumed until the channel has shown its own.
constexpr QSize DefaultHdPicture{1280, 720};

// cell: the cell's size in device pixels; hdPicture: the channel's HD size
// (empty = DefaultHdPicture); hdNow: the stream shown or asked for now.
inline bool wantHd(bool hdNow, QSize cell, QSize hdPicture)
{
    if (hdPicture.isEmpty())
        hdPicture = DefaultHdPicture;
    const double scale =
        qMax(double(cell.width()) / hdPicture.width(), double(cell.height()) / hdPicture.height());
    return hdNow ? scale >= DownScale : scale >= UpScale;
}

} // namespace StreamFit
