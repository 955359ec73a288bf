#pragma once

#include <QString>

// English text of a P2P SDK error code (session codes -1..-91, AV codes
// -20000..-20032), translated in context "QObject"; any other code gives
// "No process:" followed by the code. Pure; any thread.
QString errorText(int code);
