#include "ui/numberdialogs.h"

#include "core/numbers.h"
#include "core/settings.h"
#include "core/strings.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <cmath>

namespace trq {

NumberDialog::NumberDialog(const QString& objectName, const QString& caption,
                           std::vector<SettingField> fields, QWidget* parent)
    : QDialog(parent), fields_(std::move(fields)), values_(fields_.size(), 0),
      ok_(new QPushButton(tr("OK"), this)), cancel_(new QPushButton(tr("Cancel"), this)) {
    setObjectName(objectName);
    setWindowTitle(caption);
    auto* grid = new QGridLayout(this);
    int row = 0;
    for (const SettingField& f : fields_) {
        auto* edit = new QSpinBox(this);
        edit->setRange(f.minimum, f.maximum);
        edit->setSingleStep(1);
        edits_.push_back(edit);
        grid->addWidget(new QLabel(text(f.label), this), row, 0);
        grid->addWidget(edit, row, 1);
        if (f.unit)
            grid->addWidget(new QLabel(text(*f.unit), this), row, 2);
        ++row;
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    grid->addLayout(buttons, row, 0, 1, 3);
    ok_->setDefault(true);
    // The numbers before the buttons: made first, the buttons would take
    // the focus and a typed number would go nowhere.
    std::vector<QWidget*> chain(edits_.begin(), edits_.end());
    chain.insert(chain.end(), {ok_, cancel_});
    for (std::size_t i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void NumberDialog::load() {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        values_[i] = (Settings::instance().*fields_[i].get)();
}

void NumberDialog::store() {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        (Settings::instance().*fields_[i].set)(values_[i]);
}

bool NumberDialog::run() {
    load();
    for (std::size_t i = 0; i < fields_.size(); ++i)
        edits_[i]->setValue(values_[i]);
    if (!edits_.empty()) {
        edits_.front()->setFocus(Qt::OtherFocusReason);
        edits_.front()->selectAll();
    }
    if (exec() != QDialog::Accepted)
        return false;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const int v = roundHalfEven(edits_[i]->value());
        if (v <= fields_[i].storedMaximum)
            values_[i] = v;
    }
    store();
    return true;
}

using S = Settings;

AutoRangeDialog::AutoRangeDialog(QWidget* parent)
    : NumberDialog(QStringLiteral("AutoRangeDialog"), tr("Auto Mode"),
                   {{&S::autoStartMemory, &S::setAutoStartMemory, 0, 99, Text::StartMemory, {}},
                    {&S::autoEndMemory, &S::setAutoEndMemory, 0, 99, Text::EndMemory, {}},
                    {&S::autoCycle, &S::setAutoCycle, 0, 99999, Text::Cycle, {}}},
                   parent) {}

DelayDialog::DelayDialog(QWidget* parent)
    : NumberDialog(QStringLiteral("DelayDialog"), text(Text::DelayTitle),
                   {{&S::delay, &S::setDelay, 1, 99, Text::Delay, Text::DelayUnit}}, parent) {}

ReadTimeDialog::ReadTimeDialog(QWidget* parent)
    : NumberDialog(QStringLiteral("ReadTimeDialog"), text(Text::ReadTimeTitle),
                   {{&S::readTimeSeconds, &S::setReadTimeSeconds, 0, 120, Text::ReadTimeLabel,
                     Text::ReadTimeUnit}},
                   parent) {}

SaveMemoryDialog::SaveMemoryDialog(QWidget* parent)
    : NumberDialog(QStringLiteral("SaveMemoryDialog"), text(Text::SaveMemoryTitle),
                   {{&S::memory, &S::setMemory, 1, 4, Text::SaveMemoryLabel, {}}}, parent) {}

RecallMemoryDialog::RecallMemoryDialog(QWidget* parent)
    : NumberDialog(QStringLiteral("RecallMemoryDialog"), text(Text::RecallMemoryTitle),
                   {{&S::memory, &S::setMemory, 1, 4, Text::RecallMemoryLabel, {}}}, parent) {}

} // namespace trq
