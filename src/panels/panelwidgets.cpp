#include "panels/panelwidgets.h"

#include "panels/commandset.h"
#include "panels/numedit.h"
#include "panels/textfield.h"
#include "shell/dataform.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace trq {

TextField* makeDisplay(QWidget* parent, const QString& colour, int pointSize) {
    auto* field = new TextField(parent);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(pointSize);
    font.setBold(true);
    field->setFont(font);
    field->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    field->setFocusPolicy(Qt::NoFocus);
    field->setStyleSheet(QStringLiteral("QLineEdit { background: #0c140c; color: %1; border: 1px "
                                        "solid #2a3a2a; border-radius: 3px; padding: 2px 6px; }")
                             .arg(colour));
    return field;
}

QPushButton* makeSwitch(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setCheckable(true);
    b->setStyleSheet(QStringLiteral("QPushButton:checked { background: #3c8d3c; color: white; "
                                    "font-weight: bold; }"));
    return b;
}

void ChannelControls::build(QWidget* parent, const QString& caption, bool withProtection) {
    frame = new QGroupBox(caption, parent);
    voltage = makeDisplay(frame, QStringLiteral("#7CFC00"), 22);
    current = makeDisplay(frame, QStringLiteral("#ffb000"), 22);
    // A line edit asks for room for many characters; a reading needs six.
    voltage->setFixedWidth(180);
    current->setFixedWidth(180);
    numVoltage = new NumEdit(frame);
    numCurrent = new NumEdit(frame);
    auto* grid = new QGridLayout(frame);
    grid->addWidget(voltage, 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("V"), frame), 0, 1);
    grid->addWidget(current, 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("A"), frame), 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Set voltage"), frame), 2, 0);
    grid->addWidget(numVoltage, 3, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Set current"), frame), 4, 0);
    grid->addWidget(numCurrent, 5, 0, 1, 2);
    if (withProtection) {
        numOVP = new NumEdit(frame);
        ocp = makeSwitch(QStringLiteral("OCP"), frame);
        grid->addWidget(new QLabel(QStringLiteral("Over-voltage"), frame), 6, 0);
        grid->addWidget(numOVP, 7, 0, 1, 2);
        grid->addWidget(ocp, 8, 0, 1, 2);
    }
}

void ChannelControls::configure(const MachineTypeRecord& r) {
    struct Setting {
        NumEdit* edit;
        double maximum, step;
        QString format;
    };
    const Setting settings[] = {{numVoltage, r.maxVolt, r.stepVolt, r.fmtVolt},
                                {numCurrent, r.maxCurr, r.stepCurr, r.fmtCurr},
                                {numOVP, r.maxOvp, r.stepOvp, r.fmtOvp}};
    for (const Setting& s : settings) {
        if (!s.edit)
            continue;
        const QSignalBlocker block(s.edit);
        s.edit->setLimits(0, s.maximum);
        if (s.step > 0)
            s.edit->setSingleStep(s.step);
        s.edit->setFormat(s.format);
        s.edit->setValueQuietly(0);
    }
    voltage->setText(formatNumber(0, QStringLiteral("0") + r.fmtVolt));
    current->setText(formatNumber(0, QStringLiteral("0") + r.fmtCurr));
}

void ChannelControls::blank() {
    voltage->setText({});
    current->setText({});
}

} // namespace trq
