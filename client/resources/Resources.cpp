#include "Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace; these wrappers keep that true.
static void initImages()
{
    Q_INIT_RESOURCE(orvane_images);
}

static void initFonts()
{
    Q_INIT_RESOURCE(orvane_fonts);
}

void orvaneInitResources()
{
    initImages();
    initFonts();
}
