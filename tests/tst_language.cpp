// The program's languages: the choice (stored,
// or the system's), what a chosen language changes on screen, and numbers
// shown in the user's locale. ctest runs it under an English and a German
// system language (TRQ_EXPECT_LANGUAGE says which).
#include "core/debugtrace.h"
#include "core/language.h"
#include "core/numbers.h"
#include "core/strings.h"
#include "support/shellfixture.h"
#include "ui/aboutdialog.h"
#include "ui/graphwindow.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <qcustomplot.h>

using namespace trq;
using namespace trq::test;

namespace {

// Every text a window shows: labels, buttons, frames, list entries and
// column headings.
QStringList shownTexts(QWidget* window) {
    QStringList texts{window->windowTitle()};
    for (QLabel* l : window->findChildren<QLabel*>())
        texts << l->text();
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        texts << b->text();
    for (QGroupBox* g : window->findChildren<QGroupBox*>())
        texts << g->title();
    for (QComboBox* c : window->findChildren<QComboBox*>())
        for (int i = 0; i < c->count(); ++i)
            texts << c->itemText(i);
    for (QAbstractItemView* v : window->findChildren<QAbstractItemView*>())
        if (QAbstractItemModel* m = v->model())
            for (int c = 0; c < m->columnCount(); ++c)
                texts << m->headerData(c, Qt::Horizontal).toString();
    return texts;
}

} // namespace

class TestLanguage : public QObject {
    Q_OBJECT
private slots:
    void init() {
        clearSettings();
        applyLanguage(Language::English);
        QLocale::setDefault(QLocale::c());
    }
    void cleanupTestCase() { applyLanguage(Language::English); }

    // A chosen language reaches the numbered table, the program's texts and
    // Qt's own, and the windows built afterwards.
    void aChosenLanguageIsSpoken_data() {
        // shown: ready, File menu, Qt's Cancel, channel
        columns<Language, QStringList>("language", "shown");
        QTest::newRow("English") << Language::English
                                 << QStringList{"Ready", "&File", "Cancel", "CHANNEL 1"};
        QTest::newRow("German") << Language::German
                                << QStringList{"Bereit", "&Datei", "Abbrechen", "KANAL 1"};
    }
    void aChosenLanguageIsSpoken() {
        auto [language, shown] = fetch<Language, QStringList>("language", "shown");
        applyLanguage(language);
        QCOMPARE(currentLanguage(), language);
        QCOMPARE(text(Text::StateReady), shown[0]);
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), shown[2]);
        ShellFixture f;
        QCOMPARE(f.main->menuBar()->actions().first()->text(), shown[1]);
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        QCOMPARE(f.panel()->findChildren<QGroupBox*>().first()->title(), shown[3]);
        // No window speaks another language or script besides.
        f.main->run(MainWindow::Command::Wave);
        f.main->run(MainWindow::Command::TableData);
        QStringList texts = shownTexts(f.main.get());
        // The about box names one version, and no address that is not the
        // project's.
        onNextModal<AboutDialog>([&texts](AboutDialog* d) {
            texts += shownTexts(d);
            d->accept();
        });
        f.main->toolButton(MainWindow::Button::About)->trigger();
        QVERIFY(texts.size() > 100);
        const QRegularExpression foreign(
            QStringLiteral("[\\x{2E80}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));
        QVERIFY2(texts.filter(foreign).isEmpty(), qPrintable(texts.filter(foreign).join(u'|')));
        QCOMPARE(texts.filter(QStringLiteral("ersion")),
                 QStringList{QStringLiteral("Version: ") + QLatin1String(DebugTrace::kVersion)});
        QVERIFY(texts.filter(QStringLiteral("example.")).isEmpty());
    }

    // The system's language unless one is chosen. View > Language, clicked:
    // the choice is stored and ticked, and the user is told when it takes
    // effect.
    void theLanguageMenuStoresTheChoice() {
        const QString system = qEnvironmentVariable("TRQ_EXPECT_LANGUAGE", QStringLiteral("en"));
        QCOMPARE(QLatin1String(languageInfo(configuredLanguage()).code), system);
        ShellFixture f;
        auto* menu = f.main->findChild<QMenu*>(QStringLiteral("languageMenu"));
        QVERIFY(menu);
        QStringList captions;
        for (QAction* a : menu->actions())
            captions << a->text();
        QCOMPARE(captions, (QStringList{QStringLiteral("&System language"), QString(),
                                        QStringLiteral("English"), QStringLiteral("Deutsch")}));
        QVERIFY(menu->actions().first()->isChecked());
        auto click = [&](int index) {
            menu->popup(f.main->mapToGlobal(QPoint(20, 20)));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            QAction* a = menu->actions().at(index);
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
            QTRY_VERIFY(!menu->isVisible());
        };
        click(3);
        QCOMPARE(Settings::instance().language(), Language::German);
        QCOMPARE(configuredLanguage(), Language::German);
        QVERIFY(menu->actions().at(3)->isChecked());
        QCOMPARE(f.prompter.texts.size(), 1);
        QVERIFY(f.prompter.texts.last().contains(QStringLiteral("Deutsch")));
        click(3); // the same choice again asks nothing
        QCOMPARE(f.prompter.texts.size(), 1);
        click(0);
        QCOMPARE(Settings::instance().language(), std::nullopt);
        // Told only when the system's language is another than the one spoken.
        const bool changes = configuredLanguage() != currentLanguage();
        QCOMPARE(f.prompter.texts.size(), changes ? 2 : 1);
        if (changes)
            QVERIFY(f.prompter.texts.last().contains(
                QLatin1String(languageInfo(configuredLanguage()).nativeName)));
        // Nothing on screen changed its language before the next start.
        QCOMPARE(currentLanguage(), Language::English);
    }

    // Readings are shown with the user's decimal mark, their digits as the
    // supply sent them; what goes to the supply keeps its point.
    void shownNumbersFollowTheLocale() {
        const QLocale de(QStringLiteral("de_DE"));
        QCOMPARE(shownNumber(QStringLiteral("12.340"), QLocale::c()), QStringLiteral("12.340"));
        QCOMPARE(shownNumber(QStringLiteral("12.340"), de), QStringLiteral("12,340"));
        QCOMPARE(shownNumber(QStringLiteral("-0.5"), de), QStringLiteral("-0,5"));
        QCOMPARE(shownNumber(QStringLiteral("OVP"), de), QStringLiteral("OVP")); // no number
        QCOMPARE(shownNumber(QString(), de), QString());
    }
    void thePanelShowsReadingsInTheLocale() {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        ShellFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("TRQ-3302")));
        f.session->control().toggleOutput(); // readings show with the output on
        const QRegularExpression german(QStringLiteral("^-?\\d+,\\d+$"));
        auto readings = [&] {
            QStringList shown;
            for (QLineEdit* e : f.panel()->findChildren<QLineEdit*>())
                if (e->isReadOnly() && german.match(e->text()).hasMatch())
                    shown << e->text();
            return shown;
        };
        QTRY_VERIFY(readings().size() >= 4);
        // Typed in the German way, sent the instrument's way: tst_frontpanel's de_DE rows.
        // The graph's current ranges read "0,5A" and still set half an ampere.
        f.main->run(MainWindow::Command::Wave);
        QComboBox* ranges = f.main->graphWindow()->currentRangeList();
        const int half = ranges->findText(QStringLiteral("0,5A"));
        QVERIFY(half > 0);
        ranges->setFocus();
        ranges->setCurrentIndex(half - 1);
        QTest::keyClick(ranges, Qt::Key_Down);
        QCOMPARE(ranges->currentIndex(), half);
        QCOMPARE(f.main->graphWindow()->plotWidget()->yAxis2->range().upper, 0.5);
        QLocale::setDefault(QLocale::c());
    }
};

TRQ_TEST_MAIN(TestLanguage)
#include "tst_language.moc"
