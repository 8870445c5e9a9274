#include "ui/recordsetupdialog.h"

#include "core/prompter.h"
#include "session/instrumentsession.h"
#include "session/recordscale.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <cmath>

namespace trq {

namespace {

bool isNumeric(const QString& text) {
    bool ok = false;
    text.trimmed().toDouble(&ok);
    return ok;
}

// The longest lengths the first scales allow, in whole days.
struct LengthLimit {
    int scale;
    int maxDays;
    const char* text;
};

constexpr LengthLimit kLengthLimits[] = {
    {0, 0,
     QT_TRANSLATE_NOOP("trq::RecordSetupDialog",
                       "The Max. Record Time Lenth must less than 8.9 Hours !")},
    {1, 0,
     QT_TRANSLATE_NOOP("trq::RecordSetupDialog",
                       "The Max. Record Time Lenth must less than 17.8 Hours !")},
    {2, 1,
     QT_TRANSLATE_NOOP("trq::RecordSetupDialog",
                       "The Max. Record Time Lenth must less than 1.8 day !")},
    {3, 3,
     QT_TRANSLATE_NOOP("trq::RecordSetupDialog",
                       "The Max. Record Time Lenth must less than 3.8 day !")},
};

} // namespace

RecordSetupDialog::RecordSetupDialog(ApplyActivity apply, Prompter& prompter, QWidget* parent)
    : QDialog(parent), apply_(std::move(apply)), prompter_(prompter), days_(new QComboBox(this)),
      hours_(new QComboBox(this)), minutes_(new QComboBox(this)), seconds_(new QComboBox(this)),
      scale_(new QComboBox(this)), operation_(new QComboBox(this)), round_(new QLineEdit(this)),
      waiting_(new QLineEdit(this)), writer_(new QLineEdit(this)) {
    setObjectName(QStringLiteral("RecordSetupDialog"));
    setWindowTitle(tr("Dialog Record Time Length"));
    pickColour_ = [this](const QColor& preset) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(preset, this);
        return c.isValid() ? std::optional<QColor>(c) : std::nullopt;
    };
    for (int i = 0; i <= 7; ++i)
        days_->addItem(QString::number(i));
    for (int i = 0; i <= 23; ++i)
        hours_->addItem(QString::number(i));
    for (int i = 0; i <= 59; ++i)
        minutes_->addItem(QString::number(i));
    for (int k = 0; k <= 11; ++k)
        seconds_->addItem(QString::number(5 * k));
    for (const RecordScale& s : kRecordScales)
        scale_->addItem(scaleText(s));
    operation_->addItems({tr("Maximum"), tr("Minimum"), tr("Average")});
    connect(scale_, &QComboBox::currentIndexChanged, this,
            [this](int index) { operation_->setEnabled(index != 0); });
    operation_->setEnabled(false);

    auto* grid = new QGridLayout(this);
    int row = 0;
    const std::pair<const char*, QComboBox*> combos[] = {
        {QT_TR_NOOP("Days:"), days_},        {QT_TR_NOOP("Hours:"), hours_},
        {QT_TR_NOOP("Miniutes:"), minutes_}, {QT_TR_NOOP("Seconds:"), seconds_},
        {QT_TR_NOOP("Scale:"), scale_},      {QT_TR_NOOP("Point Operation:"), operation_}};
    for (const auto& [label, combo] : combos) {
        grid->addWidget(new QLabel(tr(label), this), row, 0);
        grid->addWidget(combo, row++, 1);
        if (combo == seconds_) {
            // Weeks-long runs: no length, no length check.
            continuous_ = new QCheckBox(tr("Continuous (until stopped)"), this);
            grid->addWidget(continuous_, row++, 1);
            partHours_ = new QSpinBox(this);
            partHours_->setRange(0, RecordSetup::kMaxPartHours);
            partHours_->setSpecialValueText(tr("never"));
            partHours_->setSuffix(QStringLiteral(" h"));
            partHours_->setToolTip(tr("Saves the points since the last part as a "
                                      "record of their own while recording"));
            grid->addWidget(new QLabel(tr("Save a part every:"), this), row, 0);
            grid->addWidget(partHours_, row++, 1);
            connect(continuous_, &QCheckBox::toggled, this, [this](bool on) {
                for (QComboBox* c : {days_, hours_, minutes_, seconds_})
                    c->setEnabled(!on);
            });
        }
    }
    for (int n = 0; n < 4; ++n) {
        auto* box = new QLineEdit(this);
        auto* swatch = new QWidget(this);
        swatch->setFixedSize(24, 18);
        swatch->setAutoFillBackground(true);
        box->installEventFilter(this);
        colourBoxes_[std::size_t(n)] = box;
        swatches_[std::size_t(n)] = swatch;
        paintSwatch(n, colourOf(QString::number(RecordSetup::kDefaultColours[std::size_t(n)])));
        grid->addWidget(new QLabel(tr("Ch%1 Color:").arg(n + 1), this), row, 0);
        auto* line = new QHBoxLayout;
        line->addWidget(box);
        line->addWidget(swatch);
        grid->addLayout(line, row++, 1);
    }
    const std::tuple<const char*, QLineEdit*, QString*> timerBoxes[] = {
        {QT_TR_NOOP("Round Timer:"), round_, &values_.roundTime},
        {QT_TR_NOOP("Waiting Timer:"), waiting_, &values_.waitingTime},
        {QT_TR_NOOP("Writer Timer:"), writer_, &values_.writerTime}};
    for (const auto& [label, box, field] : timerBoxes) {
        grid->addWidget(new QLabel(tr(label), this), row, 0);
        // The unit after its box, whatever the label's length in a language.
        auto* line = new QHBoxLayout;
        line->addWidget(box);
        line->addWidget(new QLabel(QStringLiteral("ms"), this));
        grid->addLayout(line, row++, 1);
        connect(box, &QLineEdit::textEdited, this,
                [field = field](const QString& t) { *field = t; });
    }
    round_->setText(QStringLiteral("3000"));
    waiting_->setText(QStringLiteral("500"));
    writer_->setText(QStringLiteral("100"));
    auto* ok = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    cancel->setObjectName(QStringLiteral("CancelButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, row, 0, 1, 2);
    connect(ok, &QPushButton::clicked, this, &RecordSetupDialog::ok);
    connect(cancel, &QPushButton::clicked, this, [this] {
        confirmed_ = false;
        reject();
    });
}

QString RecordSetupDialog::colourText(const QColor& c) {
    return QString::number(c.red() | (c.green() << 8) | (c.blue() << 16));
}

QColor RecordSetupDialog::colourOf(const QString& text) {
    const qint64 v = text.trimmed().toLongLong();
    return QColor(int(v & 0xff), int((v >> 8) & 0xff), int((v >> 16) & 0xff));
}

void RecordSetupDialog::paintSwatch(int n, const QColor& colour) {
    swatchColours_[std::size_t(n)] = colour;
    QPalette p = swatches_[std::size_t(n)]->palette();
    p.setColor(QPalette::Window, colour);
    swatches_[std::size_t(n)]->setPalette(p);
}

bool RecordSetupDialog::run(RecordSetup& setup) {
    setup.load();
    values_ = setup;
    auto select = [](QComboBox* combo, int index) {
        if (index >= 0 && index < combo->count())
            combo->setCurrentIndex(index);
    };
    select(days_, values_.days);
    select(hours_, values_.hours);
    select(minutes_, values_.minutes);
    select(seconds_, int(std::lround(values_.seconds / 5.0)));
    select(scale_, values_.scale);
    select(operation_, values_.operation);
    continuous_->setChecked(values_.continuous);
    partHours_->setValue(values_.partHours);
    operation_->setEnabled(scale_->currentIndex() != 0);
    for (int n = 0; n < 4; ++n) {
        QString& field = values_.colours[std::size_t(n)];
        if (field.trimmed().isEmpty())
            field = colourText(swatchColours_[std::size_t(n)]);
        else
            paintSwatch(n, colourOf(field));
        colourBoxes_[std::size_t(n)]->setText(field);
    }
    const std::tuple<QLineEdit*, QString*, const char*> timerBoxes[] = {
        {waiting_, &values_.waitingTime, "500"},
        {round_, &values_.roundTime, "3000"},
        {writer_, &values_.writerTime, "100"}};
    for (const auto& [box, field, fallback] : timerBoxes) {
        if (!isNumeric(*field))
            *field = QLatin1String(fallback);
        box->setText(*field);
    }
    confirmed_ = false;
    exec();
    if (confirmed_) {
        values_.days = days_->currentIndex();
        values_.hours = hours_->currentIndex();
        values_.minutes = minutes_->currentIndex();
        values_.scale = scale_->currentIndex();
        values_.operation = operation_->currentIndex();
        values_.seconds = 5 * seconds_->currentIndex();
        values_.continuous = continuous_->isChecked();
        values_.partHours = partHours_->value();
        values_.save();
        setup = values_;
    }
    return confirmed_;
}

bool RecordSetupDialog::checkLength() {
    if (continuous_->isChecked())
        return true;
    for (const LengthLimit& limit : kLengthLimits) {
        if (scale_->currentIndex() != limit.scale || days_->currentIndex() <= limit.maxDays)
            continue;
        const QString text = tr(limit.text) + tr("\r\nChoose <Cancle> to change other setting!");
        if (prompter_.ask(text, {}, Prompter::Icon::Warning, Prompter::Buttons::OkCancel) !=
            Prompter::Answer::Ok)
            return false;
        days_->setCurrentIndex(limit.maxDays);
    }
    return true;
}

void RecordSetupDialog::checkTimer(QLineEdit* box, QString& field, const char* fallback,
                                   const QString& message) {
    if (isNumeric(box->text()))
        return;
    prompter_.message(message, {}, Prompter::Icon::Information);
    box->setText(QLatin1String(fallback));
    field = QLatin1String(fallback);
}

void RecordSetupDialog::ok() {
    const bool accepted = checkLength();
    checkTimer(round_, values_.roundTime, "3000",
               tr("Round Timer Value should be numberic type and it is reset to 3000ms"));
    checkTimer(waiting_, values_.waitingTime, "500",
               tr("Waiting Device's Response Timer Value should be numberic type and "
                  "it is reset to 500ms"));
    checkTimer(writer_, values_.writerTime, "100",
               tr("Writer Timer Value should be numberic type and it is reset to 100ms"));
    // A refused length applies nothing: Escape or the close box after it
    // must not store what was refused.
    if (!accepted)
        return;
    // Only the on/off state comes from the values; the periods stay.
    auto on = [](const QLineEdit* box) { return box->text().trimmed().toDouble() != 0; };
    if (apply_)
        apply_({on(round_), on(waiting_), on(writer_)});
    confirmed_ = true;
    accept();
}

void RecordSetupDialog::pickColourFor(int n) {
    const auto colour = pickColour_ ? pickColour_(swatchColours_[std::size_t(n)]) : std::nullopt;
    if (!colour)
        return;
    paintSwatch(n, *colour);
    values_.colours[std::size_t(n)] = colourText(*colour);
    colourBoxes_[std::size_t(n)]->setText(values_.colours[std::size_t(n)]);
}

bool RecordSetupDialog::eventFilter(QObject* watched, QEvent* event) {
    // A click, Enter or Space opens the picker; focus alone never does (the
    // box gets it back when the picker closes).
    bool open = false;
    if (event->type() == QEvent::MouseButtonRelease)
        open = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        open = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    }
    if (open) {
        for (int n = 0; n < 4; ++n)
            if (watched == colourBoxes_[std::size_t(n)]) {
                // Deferred: a modal picker inside the box's own event upsets it.
                QTimer::singleShot(0, this, [this, n] { pickColourFor(n); });
                return true;
            }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace trq
