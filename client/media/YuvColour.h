#pragma once

#include <array>

struct AVFrame;

// How a picture's YUV samples map to RGB: the matrix (BT.601 or BT.709) and
// the range (limited 16-235/240, or full 0-255) its stream declares.
struct YuvColour
{
    bool bt709 = false;
    bool fullRange = false;

    bool operator==(const YuvColour &o) const
    {
        return bt709 == o.bt709 && fullRange == o.fullRange;
    }

    // The colour properties of a decoded frame; BT.601 limited range where
    // the stream declares none.
    static YuvColour of(const AVFrame *frame);

    // rgb = matrix * (yuv - offset), samples and results in 0..1. The
    // matrix is column-major, as OpenGL takes it.
    struct Conversion
    {
        std::array<float, 9> matrix;
        std::array<float, 3> offset;
    };
    Conversion conversion() const;
};
