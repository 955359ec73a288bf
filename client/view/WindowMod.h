#pragma once

#include <QList>
#include <QRect>

// Grid layouts of the view area. The value is what "config/windownum" stores.
enum WINDOW_MOD : int {
    WINDOW_MOD_1 = 0,   // single window
    WINDOW_MOD_4 = 1,   // 2 x 2
    WINDOW_MOD_6 = 2,   // one 2 x 2 window in a 3 x 3 grid, five small
    WINDOW_MOD_8 = 3,   // one 3 x 3 window in a 4 x 4 grid, seven small
    WINDOW_MOD_9 = 4,   // 3 x 3
    WINDOW_MOD_13 = 5,  // one 2 x 2 window in the centre of a 4 x 4 grid, twelve around it
    WINDOW_MOD_16 = 6,  // 4 x 4
    WINDOW_MOD_25 = 7,  // 5 x 5
    WINDOW_MOD_36 = 8,  // 6 x 6
    WINDOW_MOD_49 = 9,  // 7 x 7
    WINDOW_MOD_64 = 10, // 8 x 8
};

namespace WindowMod {

inline constexpr int Count = 11;

inline bool isValid(int mod)
{
    return mod >= 0 && mod < Count;
}

// Number of windows of a layout; 0 for a value outside the table.
int windowCount(int mod);

// Rows (= columns) of a uniform n x n layout; 0 for the irregular layouts
// (0, 2, 3, 5) and for values outside the table.
int uniformSide(int mod);

// Geometry of every window of `mod` inside a host of width w and height h,
// in grid order (x, y, width, height). Each window keeps one pixel free on
// every side of its cell, except the single window, which fills the host.
// Integer arithmetic, divisions truncate. Empty for an invalid mode.
QList<QRect> cellRects(int mod, int w, int h);

// Image numbers used by the popup entries and the control-bar button:
// 1 for mode 0 ... 11 for mode 10.
inline int imageNumber(int mod)
{
    return mod + 1;
}

} // namespace WindowMod
