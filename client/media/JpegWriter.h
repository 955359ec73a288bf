#pragma once

#include "av/AvHandles.h"
#include "media/PictureExchange.h"

#include <QString>

// Writes a picture as a baseline JPEG through FFmpeg's MJPEG encoder and
// muxer. Limited-range pictures are expanded to full range (swscale) so the
// file shows the colours the view cell draws.
//
// Threads: any thread; one object per picture.
class JpegWriter
{
public:
    // Copies the picture (call inside PictureExchange::withFront); false when
    // memory is exhausted.
    bool take(const PictureExchange::Picture &picture);
    // Encodes the copied picture into path; false and *error on failure.
    bool write(const QString &path, QString *error);

private:
    AvFramePtr m_frame; // YUV420P copy of the picture
    bool m_fullRange = false;
    bool m_bt709 = false;
};
