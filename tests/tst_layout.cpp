// Every text in the windows and dialogs fits the space its layout gives it:
// run by ctest at 100 %, 150 % and 200 % (QT_SCALE_FACTOR), with a dark
// palette (TRQ_TEST_DARK) and in German (TRQ_TEST_LANGUAGE=de).
#include "core/language.h"
#include "session/linkwait.h"
#include "support/shellfixture.h"
#include "ui/aboutdialog.h"
#include "ui/automationdialog.h"
#include "ui/gpibsettingsdialog.h"
#include "ui/graphwindow.h"
#include "ui/limitsdialog.h"
#include "ui/mqttdialog.h"
#include "ui/numberdialogs.h"
#include "ui/numedit.h"
#include "ui/recordsetupdialog.h"
#include "ui/serialsettingsdialog.h"
#include "ui/tablewindow.h"
#include "ui/waitdialog.h"

#include <QAbstractButton>
#include <QLabel>
#include <QRadioButton>
#include <QStyleFactory>
#include <qcustomplot.h>

using namespace trq;
using namespace trq::test;
using C = MainWindow::Command;

namespace {

// Texts whose widget is narrower or lower than its text needs; checked
// counts the texts looked at.
QStringList clipped(QWidget* window, int* checked) {
    QStringList found;
    auto check = [&](QWidget* w, const QString& text) {
        if (!w->isVisibleTo(window) || text.isEmpty())
            return;
        ++*checked;
        const QSize need = w->minimumSizeHint();
        if (w->width() + 1 < need.width() || w->height() + 1 < need.height())
            found << QStringLiteral("%1 \"%2\": %3x%4 < %5x%6")
                         .arg(QLatin1String(w->metaObject()->className()), text)
                         .arg(w->width())
                         .arg(w->height())
                         .arg(need.width())
                         .arg(need.height());
    };
    for (QLabel* l : window->findChildren<QLabel*>())
        if (!l->wordWrap())
            check(l, l->text());
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        check(b, b->text());
    return found;
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (qEnvironmentVariableIsSet("TRQ_TEST_DARK")) {
            QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
            QPalette dark;
            dark.setColor(QPalette::Window, QColor(45, 45, 48));
            dark.setColor(QPalette::WindowText, Qt::white);
            dark.setColor(QPalette::Base, QColor(30, 30, 30));
            dark.setColor(QPalette::Text, Qt::white);
            dark.setColor(QPalette::Button, QColor(60, 60, 64));
            dark.setColor(QPalette::ButtonText, Qt::white);
            QApplication::setPalette(dark);
        }
        if (const auto language = languageFromCode(qEnvironmentVariable("TRQ_TEST_LANGUAGE"))) {
            applyLanguage(*language);
            QLocale::setDefault(QLocale(languageInfo(*language).locale));
            // The run is only worth its name when the translation is there.
            QCOMPARE(QCoreApplication::translate("trq::MainWindow", "&File") == "&File",
                     *language == Language::English);
        }
    }
    void init() { clearSettings(); }

    void everyTextFits_data() {
        QTest::addColumn<QString>("model");
        for (const char* m : {"PSQ-3323", "SPQ-3610DNB", "TRQ-3302", "TRQ-7206S"})
            QTest::newRow(m) << QString::fromLatin1(m);
    }
    void everyTextFits() {
        QFETCH(QString, model);
        ShellFixture f;
        // Channel 1 watched: its marker shows, and its controls stay in line
        // with the other channels'.
        LimitMonitor::store(model, QStringLiteral("SN20260001"),
                            {{1, Quantity::Voltage, std::nullopt, 99.0, 0, LimitAction::Log}});
        QVERIFY(f.onLineSerial(model));
        QApplication::processEvents();
        QVERIFY(f.panel()->limitMarker(0)->isVisible());
        QStringList rows;
        for (int i = 0; i < f.panel()->channelCount(); ++i)
            rows << QStringLiteral("%1 %2")
                        .arg(f.panel()->voltageEdit(i)->mapTo(f.panel(), QPoint()).y())
                        .arg(f.panel()->currentEdit(i)->mapTo(f.panel(), QPoint()).y());
        rows.removeDuplicates();
        QCOMPARE(rows.size(), 1);
        int checked = 0;
        QStringList faults = clipped(f.main.get(), &checked);
        for (C window : {C::Wave, C::TableData}) {
            f.main->run(window);
            QApplication::processEvents();
            // Every mode leaves the graph its height; the last, measurements
            // between two cursors, is the widest.
            if (window == C::Wave) {
                QList<int> heights;
                for (QRadioButton* mode : f.main->graphWindow()->findChildren<QRadioButton*>()) {
                    QTest::mouseClick(mode, Qt::LeftButton);
                    QApplication::processEvents();
                    heights << f.main->graphWindow()->plotWidget()->height();
                }
                QCOMPARE(heights.size(), 4);
                QCOMPARE(heights, QList<int>(4, heights.first()));
            }
            faults += clipped(f.main.get(), &checked);
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
        QVERIFY2(checked > 60, qPrintable(QString::number(checked)));
        // The check itself sees a text squeezed into too little room.
        auto* squeezed = new QLabel(QStringLiteral("Set voltage"), f.main->tableWindow());
        squeezed->setFixedWidth(5);
        squeezed->show();
        QCOMPARE(clipped(f.main.get(), &checked).size(), 1);
    }

    void everyDialogFits() {
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        std::vector<std::unique_ptr<QDialog>> own;
        own.push_back(std::make_unique<AboutDialog>(f.prompter));
        own.push_back(std::make_unique<AutomationDialog>());
        own.push_back(std::make_unique<MqttDialog>());
        own.push_back(std::make_unique<AutoRangeDialog>());
        own.push_back(std::make_unique<DelayDialog>());
        own.push_back(std::make_unique<ReadTimeDialog>());
        own.push_back(std::make_unique<SaveMemoryDialog>());
        own.push_back(std::make_unique<RecallMemoryDialog>());
        own.push_back(std::make_unique<LimitsDialog>(4, f.prompter));
        own.push_back(std::make_unique<RecordSetupDialog>(nullptr, f.prompter));
        LinkWait wait;
        wait.start(text(Text::QueryingTitle), text(Text::QueryingInitialValues),
                   [] {
                       return std::optional<WaitProgress>(WaitProgress{1, 9, "Remaining"});
                   },
                   {});
        own.push_back(std::make_unique<WaitDialog>(wait));
        std::vector<QDialog*> dialogs{f.main->serialDialog(), f.main->gpibDialog()};
        for (const auto& d : own)
            dialogs.push_back(d.get());
        QStringList faults;
        int checked = 0;
        for (QDialog* d : dialogs) {
            // The size it opens with.
            d->show();
            d->resize(d->sizeHint());
            QApplication::processEvents();
            faults += clipped(d, &checked);
            d->hide();
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
        QVERIFY2(checked > 50, qPrintable(QString::number(checked)));
    }
};

TRQ_TEST_MAIN(TestLayout)
#include "tst_layout.moc"
