#include "link/SdkApi.h"

#include "diagnostics/Checks.h"

#include <QMutex>

#include <atomic>
#include <list>

namespace {

const SdkApi libraryTable;
std::atomic<const SdkApi *> currentTable{&libraryTable};

QMutex installLock;

// Every table ever installed; list nodes never move.
std::list<SdkApi> &installedTables()
{
    static std::list<SdkApi> tables;
    return tables;
}

} // namespace

const SdkApi &sdkApi()
{
    return *currentTable.load(std::memory_order_acquire);
}

void setSdkApi(const SdkApi &api)
{
    ORVANE_ASSERT_GUI_THREAD();
    QMutexLocker lock(&installLock);
    installedTables().push_back(api);
    currentTable.store(&installedTables().back(), std::memory_order_release);
}
