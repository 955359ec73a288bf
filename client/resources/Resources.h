#pragma once

// The client's compiled-in resources: the images below ":/main/images/btnImg/" and ":/login/",
// the application font ":/fonts/fonts/HELVETICA NEUE.ttf" (see images.manifest and IMAGES.md).
//
// They are linked into orvane_widgets and registered automatically when the program starts,
// also in programs that link the static library. orvaneInitResources() registers them
// explicitly; calling it is harmless, and needed only where a linker has dropped the automatic
// registration (e.g. a program that links orvane_widgets' objects in an unusual way).
// GUI thread, before the first use of a resource path.
void orvaneInitResources();
