#include "panels/frontpanel.h"

#include "link/commtasker.h"
#include "panels/settingsdialogs.h"
#include "shell/mdiform1.h"

namespace trq {

void FrontPanel::AfterQueryInitialValuesBeforeShow() {
    dlgReadTimes readTimes;
    readTimes.GetSettings();
    tasker_.setQueryCmdMaxMsec(readTimes.ReadTimes() * 1000);
}

MachineTypeRecord FrontPanel::channelRecord(int n) const {
    const QString& model = main_.MachineType;
    std::optional<MachineTypeRecord> record = data_.find(model);
    if (record && record->perChannel)
        record = data_.find(model + QLatin1Char('#') + QString::number(n));
    return record.value_or(MachineTypeRecord{});
}

} // namespace trq
