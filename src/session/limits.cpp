#include "session/limits.h"

#include "storage/recordstore.h"

#include <QCoreApplication>

#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace trq {

QString unitOf(Quantity quantity) {
    static const char* const kUnits[] = {"V", "A", "W", "Ah", "Wh"};
    return QLatin1String(kUnits[int(quantity)]);
}

namespace {

constexpr const char* kActionTexts[] = {
    QT_TRANSLATE_NOOP("trq::LimitAction", "log only"),
    QT_TRANSLATE_NOOP("trq::LimitAction", "message"),
    QT_TRANSLATE_NOOP("trq::LimitAction", "output off"),
    QT_TRANSLATE_NOOP("trq::LimitAction", "stop recording"),
    QT_TRANSLATE_NOOP("trq::LimitAction", "output off and stop recording"),
    QT_TRANSLATE_NOOP("trq::LimitAction", "all outputs off on the bench")};
static_assert(std::size(kActionTexts) == kLimitActionCount);

} // namespace

QString textOf(LimitAction action) {
    return QLatin1String(kActionTexts[int(action)]);
}

QString shownTextOf(LimitAction action) {
    return shownActionText(textOf(action));
}

QString shownActionText(const QString& stored) {
    return QCoreApplication::translate("trq::LimitAction", stored.toUtf8().constData());
}

namespace {

QString numberText(const std::optional<double>& v) {
    return v ? QString::number(*v, 'g', 12) : QString();
}

std::optional<double> numberOf(const QString& text, bool* ok) {
    if (text.trimmed().isEmpty())
        return std::nullopt;
    bool good = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &good);
    *ok = *ok && good;
    return v;
}

} // namespace

QString LimitRule::toText() const {
    return QStringList{QString::number(channel),
                       unitOf(quantity),
                       numberText(lower),
                       numberText(upper),
                       QString::number(holdSeconds),
                       QString::number(int(action))}
        .join(QLatin1Char(','));
}

std::optional<LimitRule> LimitRule::fromText(const QString& text) {
    const QStringList f = text.split(QLatin1Char(','));
    if (f.size() != 6)
        return std::nullopt;
    LimitRule r;
    bool ok = true;
    r.channel = f.at(0).toInt(&ok);
    ok = ok && r.channel >= 1 && r.channel <= 4;
    int q = 0;
    while (q < 5 && unitOf(Quantity(q)) != f.at(1))
        ++q;
    ok = ok && q < 5;
    r.quantity = Quantity(q);
    r.lower = numberOf(f.at(2), &ok);
    r.upper = numberOf(f.at(3), &ok);
    bool holdOk = false, actionOk = false;
    r.holdSeconds = f.at(4).toInt(&holdOk);
    const int action = f.at(5).toInt(&actionOk);
    ok = ok && holdOk && actionOk && r.holdSeconds >= 0 && action >= 0 &&
         action < kLimitActionCount && (r.lower || r.upper);
    r.action = LimitAction(action);
    return ok ? std::optional<LimitRule>(r) : std::nullopt;
}

void LimitMonitor::setRules(std::vector<LimitRule> rules) {
    rules_ = std::move(rules);
    states_.assign(rules_.size(), State{});
}

std::vector<LimitTrip> LimitMonitor::check(int channel, Quantity quantity, double value,
                                           qint64 msec) {
    std::vector<LimitTrip> trips;
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const LimitRule& r = rules_[i];
        if (r.channel != channel || r.quantity != quantity)
            continue;
        State& s = states_[i];
        const bool below = r.lower && value < *r.lower;
        const bool above = r.upper && value > *r.upper;
        if (!below && !above) {
            s = State{.shown = s.shown}; // back within: armed again
            continue;
        }
        if (s.outSince < 0)
            s.outSince = msec;
        if (!s.tripped && msec - s.outSince >= qint64(r.holdSeconds) * 1000) {
            s.tripped = s.shown = true;
            trips.push_back({r, value, below ? *r.lower : *r.upper});
        }
    }
    return trips;
}

bool LimitMonitor::tripped(int channel) const {
    for (std::size_t i = 0; i < rules_.size(); ++i)
        if (rules_[i].channel == channel && states_[i].shown)
            return true;
    return false;
}

bool LimitMonitor::watches(int channel) const {
    return std::any_of(rules_.begin(), rules_.end(),
                       [channel](const LimitRule& r) { return r.channel == channel; });
}

void LimitMonitor::rearm() {
    for (State& s : states_)
        s = State{.shown = s.shown};
}

void LimitMonitor::acknowledge() {
    for (State& s : states_)
        s.shown = false;
}

namespace {

std::vector<LimitRule> parsed(const QStringList& texts) {
    std::vector<LimitRule> rules;
    for (const QString& text : texts)
        if (const auto r = LimitRule::fromText(text))
            rules.push_back(*r);
    return rules;
}

QStringList textsOf(const std::vector<LimitRule>& rules) {
    QStringList out;
    for (const LimitRule& r : rules)
        out << r.toText();
    return out;
}

} // namespace

std::vector<LimitRule> LimitMonitor::load(const QString& model, const QString& serial) {
    if (model.isEmpty())
        return {};
    std::optional<QStringList> own = Settings::instance().limitRules(model, serial);
    if (!own)
        own = Settings::instance().limitRules(model);
    return parsed(own.value_or(QStringList()));
}

void LimitMonitor::store(const QString& model, const QString& serial,
                         const std::vector<LimitRule>& rules) {
    if (!model.isEmpty())
        Settings::instance().setLimitRules(model, serial, textsOf(rules));
}

QString LimitMonitor::adoptUnassigned(const QString& lastModel) {
    Settings& s = Settings::instance();
    const std::optional<QStringList> unassigned = s.limitRules({});
    if (!unassigned)
        return {};
    const std::vector<LimitRule> rules = parsed(*unassigned);
    s.setLimitRules({}, {}, std::nullopt);
    if (rules.empty())
        return {};
    if (lastModel.isEmpty() || s.limitRules(lastModel))
        return QStringLiteral("Limits: %1 rule(s) of no supply dropped").arg(rules.size());
    store(lastModel, {}, rules);
    return QStringLiteral("Limits: %1 rule(s) of no supply given to %2")
        .arg(rules.size())
        .arg(lastModel);
}

QString eventText(const RecordEvent& e) {
    if (e.isStep())
        return e.action;
    return QCoreApplication::translate("trq::RecordEvent",
                                       "limit of CH%1 %2 tripped at %L3 %2 (bound %L4): %5")
        .arg(e.channel)
        .arg(e.quantity)
        .arg(e.value)
        .arg(e.limit)
        .arg(shownActionText(e.action));
}

} // namespace trq
