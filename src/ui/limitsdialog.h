#pragma once

#include "session/limits.h"

#include <QDialog>

class QTableWidget;
class QPushButton;

namespace trq {

class Prompter;

// The limits per channel and quantity: bounds, hold time and action, one
// rule a row.
class LimitsDialog : public QDialog {
    Q_OBJECT
public:
    enum Column {
        ChannelColumn,
        QuantityColumn,
        LowerColumn,
        UpperColumn,
        HoldColumn,
        ActionColumn
    };

    LimitsDialog(int channels, Prompter& prompter, QWidget* parent = nullptr);
    // Names the supply whose rules these are.
    void setSupply(const QString& supply);
    // Shows the rules; true when confirmed with rules that all read.
    bool run(const std::vector<LimitRule>& rules);
    std::vector<LimitRule> rules() const { return rules_; }

    QTableWidget* table() const { return table_; }
    void addRule(const LimitRule& rule);
    void removeRule();
    // Reads the rows; false (and says which row) when one does not read.
    bool readRows();

private:
    int channels_;
    Prompter& prompter_;
    QTableWidget* table_;
    QPushButton* remove_;
    std::vector<LimitRule> rules_;
};

} // namespace trq
