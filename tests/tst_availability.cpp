// What the menus and the toolbar offer off line and with each layout on
// line, and the Record menu by output and recording, without a window.
#include "protocol/layoutprofile.h"
#include "support/uisupport.h"
#include "ui/availability.h"

using namespace trq;
using namespace trq::test;

using C = MainWindow::Command;
using B = MainWindow::Button;

namespace {

const QList<C> kItems{
    C::Gpib,         C::Rs232,           C::SaveMemory, C::RecallMemory, C::Delay,     C::ReadTimes,
    C::CouplingMenu, C::Independent,     C::Parallel,   C::Tracking,     C::AutoRange, C::AutoRun,
    C::Output,       C::ClearProtection, C::Control,    C::Wave,         C::TableData, C::Limits};

} // namespace

class TestAvailability : public QObject {
    Q_OBJECT

private slots:
    // Layout 0: off line, where the read time stays as it is.
    void commandsAndButtonsPerLayout_data() {
        columns<int, QList<C>, QList<B>>("layout", "disabledItems", "enabledButtons");
        const QList<C> noMemories{C::SaveMemory,   C::RecallMemory, C::Delay,
                                  C::CouplingMenu, C::Independent,  C::Parallel,
                                  C::Tracking,     C::AutoRange,    C::AutoRun};
        const QList<C> legacy = noMemories + QList<C>{C::Gpib, C::ClearProtection};
        const QList<B> legacyButtons{B::Com, B::OnOffLine, B::Output, B::About};
        QList<C> offLine = kItems;
        offLine.removeAll(C::Gpib);
        offLine.removeAll(C::Rs232);
        offLine.removeAll(C::ReadTimes);
        row("off line", 0, offLine, QList<B>{B::Gpib, B::Com, B::OnOffLine, B::About});
        row("layout 1", 1, QList<C>(), kToolButtons);
        row("layout 2", 2, noMemories,
            QList<B>{B::Gpib, B::Com, B::OnOffLine, B::Output, B::ClearError, B::About});
        row("layout 3", 3, legacy, legacyButtons);
        row("layout 4", 4, legacy + QList<C>{C::Wave}, legacyButtons);
    }
    void commandsAndButtonsPerLayout() {
        auto [layout, disabledItems, enabledButtons] =
            fetch<int, QList<C>, QList<B>>("layout", "disabledItems", "enabledButtons");
        const LayoutProfile* profile = layout ? layoutProfile(layout) : nullptr;
        for (C item : kItems) {
            const std::optional<bool> on = commandAvailable(item, profile);
            if (!profile && item == C::ReadTimes)
                QCOMPARE(on, std::nullopt);
            else
                QCOMPARE(on, std::optional<bool>(!disabledItems.contains(item)));
        }
        for (B button : kToolButtons)
            QCOMPARE(buttonAvailable(button, profile), enabledButtons.contains(button));
    }

    void recordMenuFollowsTheOutput_data() {
        columns<bool, bool, bool, bool, bool>("outputOn", "recording", "start", "stop", "others");
        row("output off", false, false, false, false, false);
        row("output on", true, false, true, true, true);
        row("recording", true, true, false, true, true);
        // A bench records on after this supply's output went off.
        row("recording, output off", false, true, false, true, false);
    }
    void recordMenuFollowsTheOutput() {
        auto [outputOn, recording, start, stop, others] =
            fetch<bool, bool, bool, bool, bool>("outputOn", "recording", "start", "stop", "others");
        QCOMPARE(recordCommandAvailable(C::RecordStart, outputOn, recording), start);
        QCOMPARE(recordCommandAvailable(C::RecordStop, outputOn, recording), stop);
        for (C c : {C::RecordSetup, C::RecordSave, C::RecordLoad})
            QCOMPARE(recordCommandAvailable(c, outputOn, recording), others);
    }
};

TRQ_TEST_MAIN(TestAvailability)
#include "tst_availability.moc"
