#include "panels/frontpanel.h"

#include "link/commtasker.h"
#include "shell/settings.h"

namespace trq {

void FrontPanel::AfterQueryInitialValuesBeforeShow() {
    const int seconds =
        Settings::GetInt(QStringLiteral("ReadTimes"), QStringLiteral("ReadTimes"), 5);
    tasker_.setQueryCmdMaxMsec(seconds * 1000);
}

} // namespace trq
