#pragma once

// Closes every registered device's link and views, takes it out of the
// registry (Dev) and frees it once the signals of its removal have been
// handled: a session that ends, or a cloud user's list replacing the local
// one. GUI thread only.
void releaseAllDevices();
