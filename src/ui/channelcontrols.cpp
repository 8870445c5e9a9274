#include "ui/channelcontrols.h"

#include "session/instrumentsession.h"
#include "ui/numedit.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace trq {

QLineEdit* makeDisplay(QWidget* parent, const QString& colour, int pointSize) {
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
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
    grid->addWidget(new QLabel(tr("Set voltage"), frame), 2, 0);
    grid->addWidget(numVoltage, 3, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Set current"), frame), 4, 0);
    grid->addWidget(numCurrent, 5, 0, 1, 2);
    if (withProtection) {
        numOVP = new NumEdit(frame);
        ocp = makeSwitch(QStringLiteral("OCP"), frame);
        grid->addWidget(new QLabel(tr("Over-voltage"), frame), 6, 0);
        grid->addWidget(numOVP, 7, 0, 1, 2);
        grid->addWidget(ocp, 8, 0, 1, 2);
    }
    delivered = new QLabel(frame);
    delivered->setObjectName(QStringLiteral("delivered"));
    limitMarker = new QLabel(tr("LIMITS"), frame);
    limitMarker->setObjectName(QStringLiteral("limitMarker"));
    limitMarker->setAlignment(Qt::AlignCenter);
    // Its room is kept while hidden: every channel has the same rows, so a
    // watched channel's controls stay in line with the others'.
    QSizePolicy policy = limitMarker->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    limitMarker->setSizePolicy(policy);
    limitMarker->hide();
    grid->addWidget(delivered, 9, 0, 1, 2);
    grid->addWidget(limitMarker, 10, 0, 1, 2);
}

void ChannelControls::configure(NumEdit* edit, const EditLimits& limits) {
    if (!edit)
        return;
    const QSignalBlocker block(edit);
    edit->setLimits(0, limits.maximum);
    if (limits.step > 0)
        edit->setSingleStep(limits.step);
    edit->setFormat(limits.format);
    edit->setValueQuietly(0);
}

} // namespace trq
