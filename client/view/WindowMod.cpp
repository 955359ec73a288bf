#include "view/WindowMod.h"

namespace WindowMod {

int windowCount(int mod)
{
    static constexpr int counts[Count] = {1, 4, 6, 8, 9, 13, 16, 25, 36, 49, 64};
    return isValid(mod) ? counts[mod] : 0;
}

int uniformSide(int mod)
{
    switch (mod) {
    case WINDOW_MOD_4:
        return 2;
    case WINDOW_MOD_9:
        return 3;
    case WINDOW_MOD_16:
        return 4;
    case WINDOW_MOD_25:
        return 5;
    case WINDOW_MOD_36:
        return 6;
    case WINDOW_MOD_49:
        return 7;
    case WINDOW_MOD_64:
        return 8;
    default:
        return 0;
    }
}

QList<QRect> cellRects(int mod, int W, int H)
{
    QList<QRect> rects;
    if (!isValid(mod))
        return rects;

    if (mod == WINDOW_MOD_1) {
        rects.append(QRect(0, 0, W, H));
        return rects;
    }

    if (const int n = uniformSide(mod)) {
        const int w = W / n - 2;
        const int h = H / n - 2;
        for (int row = 0; row < n; ++row)
            for (int column = 0; column < n; ++column)
                rects.append(QRect((column * W) / n + 1, (row * H) / n + 1, w, h));
        return rects;
    }

    if (mod == WINDOW_MOD_6) {
        const int w = W / 3 - 2;
        const int h = H / 3 - 2;
        rects.append(QRect(1, 1, (2 * W) / 3 - 2, (2 * H) / 3 - 2));
        // Bottom row left to right, then the right column from the top.
        rects.append(QRect(1, (2 * H) / 3 + 1, w, h));
        rects.append(QRect(W / 3 + 1, (2 * H) / 3 + 1, w, h));
        rects.append(QRect((2 * W) / 3 + 1, (2 * H) / 3 + 1, w, h));
        rects.append(QRect((2 * W) / 3 + 1, 1, w, h));
        rects.append(QRect((2 * W) / 3 + 1, H / 3 + 1, w, h));
        return rects;
    }

    // The quarter layouts.
    const int w = W / 4 - 2;
    const int h = H / 4 - 2;
    const int x[4] = {1, W / 4 + 1, W / 2 + 1, (3 * W) / 4 + 1};
    const int y[4] = {1, H / 4 + 1, H / 2 + 1, (3 * H) / 4 + 1};

    if (mod == WINDOW_MOD_8) {
        rects.append(QRect(1, 1, (3 * W) / 4 - 2, (3 * H) / 4 - 2));
        for (int column = 0; column < 4; ++column)
            rects.append(QRect(x[column], y[3], w, h));
        for (int row = 0; row < 3; ++row)
            rects.append(QRect(x[3], y[row], w, h));
        return rects;
    }

    // WINDOW_MOD_13: the large window in the centre, the ring around it
    // row by row.
    rects.append(QRect(W / 4 + 1, H / 4 + 1, W / 2 - 2, H / 2 - 2));
    for (int column = 0; column < 4; ++column)
        rects.append(QRect(x[column], y[0], w, h));
    rects.append(QRect(x[0], y[1], w, h));
    rects.append(QRect(x[3], y[1], w, h));
    rects.append(QRect(x[0], y[2], w, h));
    rects.append(QRect(x[3], y[2], w, h));
    for (int column = 0; column < 4; ++column)
        rects.append(QRect(x[column], y[3], w, h));
    return rects;
}

} // namespace WindowMod
