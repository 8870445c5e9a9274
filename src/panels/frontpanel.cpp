#include "panels/frontpanel.h"

#include "link/commtasker.h"
#include "panels/settingsdialogs.h"

namespace trq {

void FrontPanel::AfterQueryInitialValuesBeforeShow() {
    dlgReadTimes readTimes;
    readTimes.GetSettings();
    tasker_.setQueryCmdMaxMsec(readTimes.ReadTimes() * 1000);
}

} // namespace trq
