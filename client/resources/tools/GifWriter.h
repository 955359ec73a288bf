#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

// Writes an animated GIF89a that loops forever (NETSCAPE2.0 extension). Qt reads GIF but
// cannot write it, so the build's icon renderer uses this for the waiting animation.
//
// The LZW stream is deliberately uncompressed: every pixel is sent as a literal code and a
// clear code follows before the code width would grow. Files are larger than a real encoder
// would make them, which does not matter for a few small frames, and every GIF decoder reads
// them. Any thread.
class GifWriter
{
public:
    // frames: QImage::Format_Indexed8, all of the same size, with the colour table of the first
    // frame (at most 256 colours) used for all. The first colour with alpha 0, if any, becomes
    // the transparent index, and frames are disposed to the background between steps.
    // delayCs: the time each frame is shown, in hundredths of a second.
    // Returns an empty array when the input breaks one of these rules.
    static QByteArray encode(const QList<QImage> &frames, int delayCs);
};
