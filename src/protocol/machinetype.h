#pragma once

#include <QString>
#include <QVariantList>

namespace trq {

// One row of the machine-type table: a model, whether it is offered, its
// front-panel layout and the limits of its edits. Models that keep limits
// per channel have rows "model#1", "model#2", ... of their own.
struct MachineTypeRecord {
    QString model;
    bool listed = false;
    int layout = 0;
    bool perChannel = false;
    double maxVolt = 0, maxCurr = 0, maxOvp = 0;
    double stepVolt = 0, stepCurr = 0, stepOvp = 0;
    QString fmtVolt, fmtCurr, fmtOvp;

    // From the table's columns, in their order.
    static MachineTypeRecord fromRow(const QVariantList& row);
    // The row that holds channel n's limits.
    static QString channelRowName(const QString& model, int channel);
};

// The model text of an identification answer: the second of comma-separated
// fields, or the third of blank-separated words; empty when the answer ends
// before either is complete. Nothing is trimmed.
QString parseModel(const QString& answer);

// Models of this program's family ("xxQ..."): they get a menu item, and only
// they are accepted when detected.
bool isOfferedModel(const MachineTypeRecord& record);
// The serial number of a comma-separated identification answer (its third
// field, trimmed), or empty.
QString parseSerialNumber(const QString& answer);

} // namespace trq
