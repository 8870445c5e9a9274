#pragma once

#include "protocol/machinetype.h"

#include <QList>
#include <QStringList>

#include <optional>

namespace trq {

class Database;

// The machine-type table, read as records.
class MachineTypes {
public:
    explicit MachineTypes(const Database& database) : database_(database) {}

    QList<MachineTypeRecord> all() const;
    std::optional<MachineTypeRecord> find(const QString& model) const;
    // The record that holds channel n's limits: the model's own, or its row
    // "model#n" where the model keeps limits per channel.
    MachineTypeRecord forChannel(const QString& model, int channel) const;
    // Models offered in the model menu and accepted by detection, in the
    // table's order.
    QStringList offeredModels() const;

private:
    const Database& database_;
};

} // namespace trq
