#include "media/YuvColour.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

YuvColour YuvColour::of(const AVFrame *frame)
{
    YuvColour c;
    if (!frame)
        return c;
    switch (frame->colorspace) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        // BT.2020 pictures reach us as 8-bit 4:2:0 only after conversion;
        // BT.709 is the nearer of the two matrices drawn.
        c.bt709 = true;
        break;
    default:
        break;
    }
    const auto fmt = static_cast<AVPixelFormat>(frame->format);
    c.fullRange = frame->color_range == AVCOL_RANGE_JPEG || fmt == AV_PIX_FMT_YUVJ420P ||
                  fmt == AV_PIX_FMT_YUVJ422P || fmt == AV_PIX_FMT_YUVJ444P;
    return c;
}

YuvColour::Conversion YuvColour::conversion() const
{
    const double kr = bt709 ? 0.2126 : 0.299;
    const double kb = bt709 ? 0.0722 : 0.114;
    const double kg = 1.0 - kr - kb;
    // Limited range: Y spans 16..235 and U, V 16..240 of 255.
    const double ys = fullRange ? 1.0 : 255.0 / 219.0;
    const double cs = fullRange ? 1.0 : 255.0 / 224.0;
    const double rv = 2.0 * (1.0 - kr) * cs;
    const double gu = -2.0 * kb * (1.0 - kb) / kg * cs;
    const double gv = -2.0 * kr * (1.0 - kr) / kg * cs;
    const double bu = 2.0 * (1.0 - kb) * cs;
    Conversion out;
    // Columns: the contributions of Y, of U and of V to (R, G, B).
    out.matrix = {float(ys), float(ys), float(ys), 0.0f, float(gu),
                  float(bu), float(rv), float(gv), 0.0f};
    out.offset = {fullRange ? 0.0f : 16.0f / 255.0f, 128.0f / 255.0f, 128.0f / 255.0f};
    return out;
}
