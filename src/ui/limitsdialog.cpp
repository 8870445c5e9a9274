#include "ui/limitsdialog.h"

#include "core/prompter.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace trq {

LimitsDialog::LimitsDialog(int channels, Prompter& prompter, QWidget* parent)
    : QDialog(parent), channels_(std::max(channels, 1)), prompter_(prompter),
      table_(new QTableWidget(0, 6, this)), remove_(new QPushButton(tr("Remove"), this)) {
    setObjectName(QStringLiteral("LimitsDialog"));
    setWindowTitle(tr("Limits"));
    table_->setHorizontalHeaderLabels(
        {tr("Channel"), tr("Quantity"), tr("Lower"), tr("Upper"), tr("Hold [s]"), tr("Action")});
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto* add = new QPushButton(tr("Add"), this);
    connect(add, &QPushButton::clicked, this, [this] { addRule({}); });
    connect(remove_, &QPushButton::clicked, this, &LimitsDialog::removeRule);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (readRows())
            accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* note = new QLabel(tr("A value out of its bounds for the hold time trips the "
                               "action once; an empty bound is no bound. Charge and "
                               "energy count from the panel's Reset Ah/Wh. The rules "
                               "belong to this supply; another model has its own."),
                            this);
    note->setWordWrap(true);
    auto* row = new QHBoxLayout;
    row->addWidget(add);
    row->addWidget(remove_);
    row->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(row);
    layout->addWidget(note);
    layout->addWidget(buttons);
    // Room for the other columns and the longest action in the user's
    // language.
    int longest = 0;
    for (int a = 0; a < kLimitActionCount; ++a)
        longest = std::max(longest, fontMetrics().horizontalAdvance(shownTextOf(LimitAction(a))));
    resize(std::max(720, 540 + longest), 320);
}

void LimitsDialog::setSupply(const QString& supply) {
    setWindowTitle(tr("Limits of %1").arg(supply));
}

bool LimitsDialog::run(const std::vector<LimitRule>& rules) {
    table_->setRowCount(0);
    for (const LimitRule& r : rules)
        addRule(r);
    return exec() == QDialog::Accepted;
}

void LimitsDialog::addRule(const LimitRule& r) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    auto* channel = new QComboBox(table_);
    for (int n = 1; n <= channels_; ++n)
        channel->addItem(QStringLiteral("CH%1").arg(n));
    channel->setCurrentIndex(std::clamp(r.channel, 1, channels_) - 1);
    auto* quantity = new QComboBox(table_);
    for (int q = 0; q <= int(Quantity::Energy); ++q)
        quantity->addItem(unitOf(Quantity(q)));
    quantity->setCurrentIndex(int(r.quantity));
    auto* hold = new QSpinBox(table_);
    hold->setRange(0, 86400);
    hold->setValue(r.holdSeconds);
    auto* action = new QComboBox(table_);
    for (int a = 0; a < kLimitActionCount; ++a)
        action->addItem(shownTextOf(LimitAction(a)));
    action->setCurrentIndex(int(r.action));
    table_->setCellWidget(row, ChannelColumn, channel);
    table_->setCellWidget(row, QuantityColumn, quantity);
    // Edits of their own, so that OK takes what is typed even while the
    // cell is still being edited.
    auto bound = [this](const std::optional<double>& v) {
        auto* edit = new QLineEdit(v ? QLocale().toString(*v, 'g', 12) : QString(), table_);
        edit->setFrame(false);
        return edit;
    };
    table_->setCellWidget(row, LowerColumn, bound(r.lower));
    table_->setCellWidget(row, UpperColumn, bound(r.upper));
    table_->setCellWidget(row, HoldColumn, hold);
    table_->setCellWidget(row, ActionColumn, action);
}

void LimitsDialog::removeRule() {
    const int row = table_->currentRow();
    if (row >= 0)
        table_->removeRow(row);
}

bool LimitsDialog::readRows() {
    std::vector<LimitRule> rules;
    for (int row = 0; row < table_->rowCount(); ++row) {
        LimitRule r;
        r.channel =
            qobject_cast<QComboBox*>(table_->cellWidget(row, ChannelColumn))->currentIndex() + 1;
        r.quantity = Quantity(
            qobject_cast<QComboBox*>(table_->cellWidget(row, QuantityColumn))->currentIndex());
        r.holdSeconds = qobject_cast<QSpinBox*>(table_->cellWidget(row, HoldColumn))->value();
        r.action = LimitAction(
            qobject_cast<QComboBox*>(table_->cellWidget(row, ActionColumn))->currentIndex());
        bool ok = true;
        for (const auto& [column, bound] :
             {std::pair{LowerColumn, &r.lower}, {UpperColumn, &r.upper}}) {
            const QString t =
                qobject_cast<QLineEdit*>(table_->cellWidget(row, column))->text().trimmed();
            if (t.isEmpty())
                continue;
            bool good = false;
            const double v = QLocale().toDouble(t, &good);
            *bound = good ? std::optional<double>(v) : std::nullopt;
            ok = ok && good;
        }
        ok = ok && (r.lower || r.upper) && (!r.lower || !r.upper || *r.lower < *r.upper);
        if (!ok) {
            prompter_.message(tr("Row %1: give a lower bound, an upper bound or "
                                 "both, as numbers, the lower below the upper.")
                                  .arg(row + 1),
                              windowTitle(), Prompter::Icon::Warning);
            table_->selectRow(row);
            return false;
        }
        rules.push_back(r);
    }
    rules_ = std::move(rules);
    return true;
}

} // namespace trq
