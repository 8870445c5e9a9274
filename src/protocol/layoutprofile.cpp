#include "protocol/layoutprofile.h"

#include <array>

namespace trq {

namespace {

using O = Operation;

constexpr QueryStep kThreeChannelPoll[] = {
    {O::MeasuredVoltage, 1}, {O::MeasuredCurrent, 1}, {O::MeasuredVoltage, 2},
    {O::MeasuredCurrent, 2}, {O::MeasuredVoltage, 3}, {O::MeasuredCurrent, 3},
    {O::Error, 0},
};
constexpr QueryStep kThreeChannelInitial[] = {
    {O::AutoStart, 0},       {O::AutoEnd, 0},         {O::AutoCycle, 0},
    {O::AutoDelay, 0},       {O::Memory, 0},          {O::OverVoltage, 1},
    {O::OverVoltage, 2},     {O::OverVoltage, 3},     {O::Output, 0},
    {O::Coupling, 0},        {O::AutoRun, 0},         {O::OverCurrent, 1},
    {O::OverCurrent, 2},     {O::OverCurrent, 3},     {O::Voltage, 1},
    {O::Voltage, 2},         {O::Voltage, 3},         {O::Current, 1},
    {O::Current, 2},         {O::Current, 3},         {O::MeasuredVoltage, 1},
    {O::MeasuredCurrent, 1}, {O::MeasuredVoltage, 2}, {O::MeasuredCurrent, 2},
    {O::MeasuredVoltage, 3}, {O::MeasuredCurrent, 3},
};

constexpr QueryStep kSingleChannelPoll[] = {
    {O::MeasuredVoltage, 1}, {O::MeasuredCurrent, 1}, {O::Error, 0}};
constexpr QueryStep kSingleChannelInitial[] = {
    {O::OverVoltage, 1}, {O::Output, 0},          {O::OverCurrent, 1},     {O::Voltage, 1},
    {O::Current, 1},     {O::MeasuredVoltage, 1}, {O::MeasuredCurrent, 1},
};

constexpr QueryStep kTwoChannelPoll[] = {{O::MeasuredVoltage, 1},
                                         {O::MeasuredCurrent, 1},
                                         {O::MeasuredVoltage, 2},
                                         {O::MeasuredCurrent, 2}};
constexpr QueryStep kTwoChannelInitial[] = {
    {O::Voltage, 1},         {O::Voltage, 2},         {O::Current, 1},
    {O::Current, 2},         {O::MeasuredVoltage, 1}, {O::MeasuredCurrent, 1},
    {O::MeasuredVoltage, 2}, {O::MeasuredCurrent, 2},
};

constexpr QueryStep kFourChannelPoll[] = {
    {O::MeasuredVoltage, 1}, {O::MeasuredCurrent, 1}, {O::MeasuredVoltage, 2},
    {O::MeasuredCurrent, 2}, {O::Voltage, 1},         {O::Voltage, 2},
    {O::Current, 1},         {O::Current, 2},         {O::Status, 0},
    {O::MeasuredVoltage, 3}, {O::MeasuredCurrent, 3}, {O::MeasuredVoltage, 4},
    {O::MeasuredCurrent, 4}, {O::Voltage, 3},         {O::Voltage, 4},
    {O::Current, 3},         {O::Current, 4},
};
constexpr QueryStep kFourChannelInitial[] = {
    {O::Voltage, 1},         {O::Voltage, 2},         {O::Voltage, 3},
    {O::Voltage, 4},         {O::Current, 1},         {O::Current, 2},
    {O::Current, 3},         {O::Current, 4},         {O::MeasuredVoltage, 1},
    {O::MeasuredCurrent, 1}, {O::MeasuredVoltage, 2}, {O::MeasuredCurrent, 2},
    {O::MeasuredVoltage, 3}, {O::MeasuredCurrent, 3}, {O::MeasuredVoltage, 4},
    {O::MeasuredCurrent, 4}, {O::Status, 0},
};
// Channels 3 and 4 of the four-channel supplies go no higher than this.
constexpr FixedLimit kFourChannelLimits[] = {{3, 10.001, 3.001}, {4, 5.001, 1.001}};

constexpr std::array<LayoutProfile, 4> kProfiles{{
    {.layout = 1,
     .channels = 3,
     .pollCycle = kThreeChannelPoll,
     .pollCounterWrap = 7000,
     .cycleQueries = 7,
     .pollsByDirectExchange = false,
     .initialQueries = kThreeChannelInitial,
     .valuePattern = "###0.###",
     .protection = true,
     .clearProtection = true,
     .autoRunAndMemories = true,
     .couplingMenu = true,
     .sets = false,
     .trackCaption = QT_TRANSLATE_NOOP("trq::FrontPanel", "TRACK"),
     .fixedLimits = {},
     .coupledChannel = 0,
     .parallelLocksOverCurrent = true,
     .parallelBlankChannel = 0,
     .couplingChangeBlanks = 3,
     .outputSwitchBlanksFrom = -1,
     .warnsBeforeCoupling = false,
     .editsWaitForReadings = false,
     .tracesSettings = true,
     .followsStatus = false,
     .gpib = true,
     .graph = true},
    {.layout = 2,
     .channels = 1,
     .pollCycle = kSingleChannelPoll,
     .pollCounterWrap = 3000,
     .cycleQueries = 3,
     .pollsByDirectExchange = false,
     .initialQueries = kSingleChannelInitial,
     .valuePattern = "",
     .protection = true,
     .clearProtection = true,
     .autoRunAndMemories = false,
     .couplingMenu = false,
     .sets = true,
     .trackCaption = QT_TRANSLATE_NOOP("trq::FrontPanel", "SERIES"),
     .fixedLimits = {},
     .coupledChannel = 0,
     .parallelLocksOverCurrent = false,
     .parallelBlankChannel = -1,
     .couplingChangeBlanks = 0,
     .outputSwitchBlanksFrom = -1,
     .warnsBeforeCoupling = true,
     .editsWaitForReadings = true,
     .tracesSettings = true,
     .followsStatus = false,
     .gpib = true,
     .graph = true},
    {.layout = 3,
     .channels = 2,
     .pollCycle = kTwoChannelPoll,
     .pollCounterWrap = 7000,
     .cycleQueries = 7,
     .pollsByDirectExchange = false,
     .initialQueries = kTwoChannelInitial,
     .valuePattern = "###0.###",
     .protection = false,
     .clearProtection = false,
     .autoRunAndMemories = false,
     .couplingMenu = false,
     .sets = false,
     .trackCaption = QT_TRANSLATE_NOOP("trq::FrontPanel", "TRACK"),
     .fixedLimits = {},
     .coupledChannel = 1,
     .parallelLocksOverCurrent = false,
     .parallelBlankChannel = 1,
     .couplingChangeBlanks = 2,
     .outputSwitchBlanksFrom = -1,
     .warnsBeforeCoupling = false,
     .editsWaitForReadings = false,
     .tracesSettings = false,
     .followsStatus = false,
     .gpib = false,
     .graph = true},
    {.layout = 4,
     .channels = 4,
     .pollCycle = kFourChannelPoll,
     .pollCounterWrap = 7000,
     .cycleQueries = 7,
     .pollsByDirectExchange = true,
     .initialQueries = kFourChannelInitial,
     .valuePattern = "###0.0##",
     .protection = false,
     .clearProtection = false,
     .autoRunAndMemories = false,
     .couplingMenu = false,
     .sets = false,
     .trackCaption = QT_TRANSLATE_NOOP("trq::FrontPanel", "TRACK"),
     .fixedLimits = kFourChannelLimits,
     .coupledChannel = 1,
     .parallelLocksOverCurrent = false,
     .parallelBlankChannel = 1,
     .couplingChangeBlanks = 2,
     .outputSwitchBlanksFrom = 2,
     .warnsBeforeCoupling = false,
     .editsWaitForReadings = false,
     .tracesSettings = false,
     .followsStatus = true,
     .gpib = false,
     .graph = false},
}};

} // namespace

const LayoutProfile* layoutProfile(int layout) {
    for (const LayoutProfile& p : kProfiles)
        if (p.layout == layout)
            return &p;
    return nullptr;
}

const QueryStep& pollStepAt(const LayoutProfile& profile, int position) {
    return profile.pollCycle[std::size_t(position) % profile.pollCycle.size()];
}

int nextPollPosition(const LayoutProfile& profile, int position) {
    return (position + 1) % profile.pollCounterWrap;
}

} // namespace trq
