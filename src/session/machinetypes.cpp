#include "session/machinetypes.h"

#include "storage/database.h"

namespace trq {

QList<MachineTypeRecord> MachineTypes::all() const {
    QList<MachineTypeRecord> records;
    for (const QVariantList& row : database_.machineTypeRows())
        records << MachineTypeRecord::fromRow(row);
    return records;
}

std::optional<MachineTypeRecord> MachineTypes::find(const QString& model) const {
    const std::optional<QVariantList> row = database_.machineTypeRow(model);
    if (!row)
        return std::nullopt;
    return MachineTypeRecord::fromRow(*row);
}

MachineTypeRecord MachineTypes::forChannel(const QString& model, int channel) const {
    std::optional<MachineTypeRecord> record = find(model);
    if (record && record->perChannel)
        record = find(MachineTypeRecord::channelRowName(model, channel));
    return record.value_or(MachineTypeRecord{});
}

QStringList MachineTypes::offeredModels() const {
    QStringList models;
    for (const MachineTypeRecord& r : all())
        if (isOfferedModel(r))
            models << r.model;
    return models;
}

} // namespace trq
