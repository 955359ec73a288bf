#include "diagnostics/Checks.h"

#include <QDebug>

namespace orvane::detail {

void checkFailed(const char *condition, const char *file, int line)
{
    qWarning("check failed: \"%s\" in %s:%d", condition, file, line);
}

} // namespace orvane::detail
