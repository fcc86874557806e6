#include "measure/measurement_window.h"

#include "core/application_state.h"
#include "core/settings.h"
#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"
#include "measure/point_guide.h"
#include "scripted_prompts.h"

#include <QAbstractButton>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

using viro::MeasurementGrid;
using viro::TZedec;

const QString kNotAvailable = "This function is not available in this version.";
const QString kOffline = "V.I.R.O. is off-line! Please reconnect the device.";
const QString kClearTable = "Are you sure you want to clear the table values?\r\n"
                            "This action will not affect saved measurements.";

class MeasurementWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath("Data"));
        probe.setDeviceConstants(4000, 4000);
        probe.setAutoContact(false);
        path = port.addProbe(probe);
        port.setReplyDelay(1);
        link.deviceChange();
        ASSERT_TRUE(link.isOnline());
    }

    std::unique_ptr<TZedec> makeWindow(TZedec::Services services = {}) {
        services.saveSettings = [this](QString*) {
            ++settingsSaves;
            return true;
        };
        auto w = std::make_unique<TZedec>(link, clock, state, settings, dir.path() + "/", nullptr,
                                          std::move(services));
        w->setNow([this] { return 45000.5 + clock.ticks() / 86400000.0; });
        return w;
    }

    template <typename T = QWidget> static T* child(TZedec& w, const char* name) {
        T* found = w.findChild<T*>(name);
        EXPECT_TRUE(found) << name;
        return found;
    }
    static QAbstractButton* button(TZedec& w, const char* name) {
        return child<QAbstractButton>(w, name);
    }
    static QString text(TZedec& w, const char* label) {
        return child<QLabel>(w, label)->text().trimmed();
    }
    static QTableWidgetItem* cell(TZedec& w, int position) {
        const MeasurementGrid::Cell at = MeasurementGrid::cellOf(position);
        return child<QTableWidget>(w, "AdvStringGrid1")->item(at.row, at.column);
    }
    static void choose(TZedec& w, const char* menuButton, const QString& choice) {
        auto* b = child<QPushButton>(w, menuButton);
        for (QAction* a : b->menu()->actions())
            if (a->text() == choice) {
                a->trigger();
                return;
            }
        ADD_FAILURE() << menuButton << " has no " << choice.toStdString();
    }

    void fillValues(int count, double value = 40) {
        for (int i = 0; i < count; ++i) {
            state.measurement.values[size_t(i)] = value + i;
            state.measurement.quality[size_t(i)] = 90;
        }
    }

    viro::FakeTickClock clock{1000};
    viro::SimulatedProbe probe{clock};
    viro::SimulatedPort port{clock};
    QString path;
    viro::ProbeLink link{port, clock};
    viro::Settings settings;
    viro::ApplicationState state;
    ScriptedPrompts prompts;
    QTemporaryDir dir;
    int settingsSaves = 0;
};

TEST_F(MeasurementWindowTest, ToolBarAndPointStartCarryCaptionsHintsAndNames) {
    auto w = makeWindow();
    EXPECT_EQ(w->objectName(), "TZedec");
    EXPECT_EQ(w->windowTitle(), "Meridian Measurement");
    struct Row {
        const char* name;
        const char* caption;
        const char* hint;
    };
    const Row rows[] = {
        {"ToolButton9", "  Start  ", "Begin measurements"},
        {"ToolButton7", "  Stop  ", "Stop measurements"},
        {"ToolButton1", "Analyze", "Perform meridian energy analysis"},
        {"ToolButton3", "  Save  ", "Save measurement data"},
        {"ToolButton4", "  Recall  ", "Recall measurement data from database"},
        {"ToolButton2", "  Clear  ", "Clear table values"},
        {"ToolButton5", "  Manual  ", "Manually enter meridian energy values"},
        {"ToolButton6", "Compare", "Compare this measurement record with another record"},
        {"ToolButton8", "Quit", "Exit Meridian Measurement menu"},
        {"RzBitBtn1", "Start", "Start measurement sequence"},
    };
    for (const Row& r : rows) {
        QAbstractButton* b = button(*w, r.name);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->text(), r.caption) << r.name;
        EXPECT_EQ(b->toolTip(), r.hint) << r.name;
        EXPECT_EQ(b->statusTip(), r.hint) << r.name;
    }
    QAbstractButton* toggle = button(*w, "RzToolButton1");
    ASSERT_TRUE(toggle);
    EXPECT_TRUE(toggle->text().isEmpty());
    EXPECT_FALSE(toggle->icon().isNull());
}

TEST_F(MeasurementWindowTest, OptionControlsOfferTheirChoicesAndRanges) {
    auto w = makeWindow();
    struct Menu {
        const char* name;
        QStringList choices;
    };
    const Menu menus[] = {
        {"RzMenuButton1", {"Standard", "Single", "Mute"}},
        {"RzMenuButton2", {"NRM Potential", "Hi Potential"}},
        {"RzMenuButton3", {"Picture", "Outline", "Combined"}},
        {"RzMenuButton4", {"Auto", "Manual"}},
        {"RzMenuButton5", {"CPDM", "Channel 1", "Channel 2", "Channel 3", "Channel 4"}},
        {"RzMenuButton6", {"Default", "User Defined"}},
        {"RzMenuButton7", {"Male", "Female"}},
    };
    for (const Menu& m : menus) {
        auto* b = child<QPushButton>(*w, m.name);
        ASSERT_TRUE(b && b->menu());
        QStringList texts;
        for (QAction* a : b->menu()->actions())
            texts << a->text();
        EXPECT_EQ(texts, m.choices) << m.name;
        EXPECT_EQ(b->text(), m.choices.front()) << m.name << " shows the default";
    }
    struct Range {
        const char* name;
        int minimum;
        int maximum;
        int value;
    };
    for (const Range& r :
         {Range{"UpDown1", 1, 50, 10}, Range{"UpDown2", 5, 100, 20}, Range{"UpDown3", 1, 100, 5}}) {
        auto* s = child<QSpinBox>(*w, r.name);
        ASSERT_TRUE(s);
        EXPECT_EQ(s->minimum(), r.minimum) << r.name;
        EXPECT_EQ(s->maximum(), r.maximum) << r.name;
        EXPECT_EQ(s->value(), r.value) << r.name;
    }
    auto* track = child<QSlider>(*w, "RzTrackBar1");
    EXPECT_EQ(track->minimum(), 1);
    EXPECT_EQ(track->maximum(), 50);
    for (int i = 1; i <= 7; ++i)
        EXPECT_TRUE(w->findChild<QLabel*>(QStringLiteral("RzLEDDisplay%1").arg(i))) << i;
    for (int i = 1; i <= 4; ++i)
        EXPECT_TRUE(w->findChild<QProgressBar*>(QStringLiteral("RzProgressBar%1").arg(i))) << i;
    EXPECT_TRUE(child(*w, "PaintBox1"));
    EXPECT_TRUE(child(*w, "ALed1"));
}

TEST_F(MeasurementWindowTest, GridCellsOfThePositions) {
    struct Case {
        int position;
        int row;
        int column;
    };
    const Case cases[] = {{1, 1, 1},  {6, 1, 6},   {7, 2, 1},  {12, 2, 6},
                          {13, 1, 7}, {18, 1, 12}, {19, 2, 7}, {24, 2, 12}};
    for (const Case& c : cases) {
        EXPECT_EQ(MeasurementGrid::cellOf(c.position), (MeasurementGrid::Cell{c.row, c.column}))
            << "position " << c.position;
        EXPECT_EQ(MeasurementGrid::positionAt(c.row, c.column), c.position)
            << "position " << c.position;
    }
    for (int p = 1; p <= 24; ++p) {
        const MeasurementGrid::Cell at = MeasurementGrid::cellOf(p);
        EXPECT_EQ(MeasurementGrid::positionAt(at.row, at.column), p);
    }
    for (const auto& [row, column] : {std::pair{0, 1}, {1, 0}, {0, 0}, {3, 1}, {1, 13}})
        EXPECT_EQ(MeasurementGrid::positionAt(row, column), 0) << row << "," << column;
}

TEST_F(MeasurementWindowTest, GridFollowsTheMeasuringOrder) {
    settings.orderMode = 1; // LU LI PC TE HT SI, SP ST LR GB KI BL
    settings.rebuildDerivedTables();
    for (int point = 1; point <= 24; ++point)
        state.measurement.values[size_t(point - 1)] = 100 + point;
    auto w = makeWindow();
    auto* grid = child<QTableWidget>(*w, "AdvStringGrid1");
    ASSERT_EQ(grid->rowCount(), 3);
    ASSERT_EQ(grid->columnCount(), 13);
    const QStringList codes{"LU", "LI", "PC", "TE", "HT", "SI", "SP", "ST", "LR", "GB", "KI", "BL"};
    for (int c = 1; c <= 12; ++c)
        EXPECT_EQ(grid->item(0, c)->text(), codes[c - 1]) << "column " << c;
    EXPECT_EQ(grid->item(1, 0)->text(), "Left");
    EXPECT_EQ(grid->item(2, 0)->text(), "Right");
    for (int p = 1; p <= 24; ++p) {
        const int point = settings.sequence.position[size_t(p - 1)];
        EXPECT_EQ(cell(*w, p)->text(), QString::number(100 + point)) << "position " << p;
        EXPECT_EQ(cell(*w, p)->textAlignment(), int(Qt::AlignCenter));
    }
    // Position 2 is LI, left hand: point 6.
    EXPECT_EQ(cell(*w, 2)->text(), "106");
}

TEST_F(MeasurementWindowTest, ValuesAndQualityViews) {
    // Point: value, quality.
    const std::pair<double, double> points[] = {
        {54.4, 59.9}, {20, 60}, {30, 79.9}, {40, 80}, {10, 0}, {0, 95},
    };
    for (size_t i = 0; i < std::size(points); ++i) {
        state.measurement.values[i] = points[i].first;
        state.measurement.quality[i] = points[i].second;
    }
    auto w = makeWindow();
    EXPECT_FALSE(w->qualityView());
    EXPECT_EQ(text(*w, "GridTitleLabel"), "Meridian Energy Values");
    struct Shown {
        QString text;
        QColor colour;
    };
    const auto shown = [&](int position) {
        QTableWidgetItem* item = cell(*w, position);
        return Shown{item->text(), item->foreground().color()};
    };
    const Shown values[] = {{" 54", Qt::black}, {" 20", Qt::black}, {" 30", Qt::black},
                            {" 40", Qt::black}, {" 10", Qt::black}, {"", Qt::black}};
    for (int p = 1; p <= 6; ++p) {
        EXPECT_EQ(shown(p).text, values[p - 1].text) << "position " << p;
        EXPECT_EQ(shown(p).colour, values[p - 1].colour) << "position " << p;
    }
    EXPECT_EQ(text(*w, "AverageLabel"), "30.9"); // 154.4 / 5: the zero is left out

    button(*w, "RzToolButton1")->click();
    EXPECT_TRUE(w->qualityView());
    EXPECT_EQ(text(*w, "GridTitleLabel"), "Data Quality Score");
    const QColor red(255, 0, 0), olive(128, 128, 0), green(53, 210, 45);
    const Shown quality[] = {{"59.9", red},   {"60.0", olive}, {"79.9", olive},
                             {"80.0", green}, {"0.0", red},    {"", Qt::black}};
    for (int p = 1; p <= 6; ++p) {
        EXPECT_EQ(shown(p).text, quality[p - 1].text) << "position " << p;
        EXPECT_EQ(shown(p).colour, quality[p - 1].colour) << "position " << p;
    }
    // (59.9 + 60 + 79.9 + 80 + 0) / 5 points with a value.
    EXPECT_EQ(text(*w, "AverageLabel"), "56.0");

    button(*w, "RzToolButton1")->click();
    EXPECT_FALSE(w->qualityView());
    EXPECT_EQ(shown(1).text, " 54");

    state.measurement = viro::MeasurementRecord();
    w->setQualityView(true);
    EXPECT_EQ(text(*w, "AverageLabel"), "") << "no point, no average";
    w->setQualityView(false);
    EXPECT_EQ(text(*w, "AverageLabel"), "");
}

TEST_F(MeasurementWindowTest, EnablingWhenShown) {
    struct Case {
        const char* name;
        int values;
        int key;
        bool analyze; // and Compare
        bool save;    // and Clear
    };
    const Case cases[] = {
        {"empty", 0, 0, false, false},
        {"23 values", 23, 0, false, true},
        {"a stored measurement", 24, 7, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state = viro::ApplicationState();
        fillValues(c.values);
        state.measurement.key = c.key;
        state.measurement.dateTime = c.values ? 45000.75 : 0;
        auto w = makeWindow();
        w->show();
        for (const char* name : {"ToolButton1", "ToolButton6"})
            EXPECT_EQ(button(*w, name)->isEnabled(), c.analyze) << name;
        for (const char* name : {"ToolButton3", "ToolButton2"})
            EXPECT_EQ(button(*w, name)->isEnabled(), c.save) << name;
        EXPECT_EQ(state.measurementHoldsData, c.values > 0);
        for (const char* name : {"ToolButton9", "ToolButton4", "ToolButton5", "ToolButton8"})
            EXPECT_TRUE(button(*w, name)->isEnabled()) << name;
        EXPECT_FALSE(button(*w, "ToolButton7")->isEnabled());
        EXPECT_FALSE(button(*w, "RzBitBtn1")->isEnabled());
        EXPECT_FALSE(child(*w, "AdvStringGrid1")->isEnabled());
        EXPECT_EQ(text(*w, "MeasurementDateLabel").isEmpty(), c.values == 0);
        EXPECT_EQ(text(*w, "MeasurementTimeLabel").isEmpty(), c.values == 0);
        EXPECT_EQ(text(*w, "RzLEDDisplay1"), "0.0");
        EXPECT_EQ(text(*w, "RzLEDDisplay5"), "off");
        EXPECT_EQ(text(*w, "LocationLabel"), "");
        EXPECT_TRUE(child<QPushButton>(*w, "ToolButton9")->isDefault());
    }
}

TEST_F(MeasurementWindowTest, PatientAndMeasurementLabels) {
    state.patient.custNo = "P-17";
    state.patient.name = "Ann O'Neil";
    state.patient.tel = "555 0101";
    state.patient.male = false;
    state.patient.birthDate = 45000.5 - 3650; // ten years before the fixture's now
    fillValues(24);
    state.measurement.dateTime = 45000.5 - 365; // a year ago
    auto w = makeWindow();
    w->show();
    EXPECT_EQ(text(*w, "PatientNoLabel"), "P-17");
    EXPECT_EQ(text(*w, "PatientNameLabel"), "Ann O'Neil");
    EXPECT_EQ(text(*w, "PatientTelLabel"), "555 0101");
    // Today (day 45000) less the birth date (day 41350.5) over 365.
    EXPECT_EQ(text(*w, "PatientAgeLabel"), "10.0");
    EXPECT_EQ(text(*w, "MeasurementAgeLabel"), "9.0");
    EXPECT_FALSE(text(*w, "PatientDobLabel").isEmpty());
    EXPECT_FALSE(text(*w, "MeasurementDateLabel").isEmpty());
    EXPECT_EQ(button(*w, "RzMenuButton7")->text(), "Female");

    state.patient.birthDate = 0;
    w->hide();
    w->show();
    EXPECT_EQ(text(*w, "PatientAgeLabel"), "");
    EXPECT_EQ(text(*w, "PatientDobLabel"), "");
    EXPECT_EQ(text(*w, "MeasurementAgeLabel"), "");
}

TEST_F(MeasurementWindowTest, OptionsGoIntoTheSettingsWhenTheWindowCloses) {
    settings.userMeasuringTime = 3000;
    settings.userAveragingWindow = 700;
    auto w = makeWindow();
    w->show();
    auto* spin = child<QSpinBox>(*w, "UpDown1");
    auto* track = child<QSlider>(*w, "RzTrackBar1");
    EXPECT_EQ(text(*w, "RzLEDDisplay4"), "default (1.0)");
    spin->setValue(25);
    EXPECT_EQ(track->value(), 25);
    EXPECT_EQ(text(*w, "RzLEDDisplay4"), "2.5");
    track->setValue(10);
    EXPECT_EQ(spin->value(), 10);
    EXPECT_EQ(text(*w, "RzLEDDisplay4"), "default (1.0)");
    track->setValue(3);
    EXPECT_EQ(text(*w, "RzLEDDisplay4"), "0.3");

    // The default procedure shows its fixed times; the user's times only with his procedure.
    auto* measuring = child<QSpinBox>(*w, "UpDown2");
    auto* final = child<QSpinBox>(*w, "UpDown3");
    EXPECT_EQ(text(*w, "RzLEDDisplay6"), "2.0");
    EXPECT_EQ(text(*w, "RzLEDDisplay7"), "0.5");
    EXPECT_FALSE(measuring->isEnabled());
    EXPECT_FALSE(final->isEnabled());
    choose(*w, "RzMenuButton6", "User Defined");
    EXPECT_EQ(text(*w, "RzLEDDisplay6"), "3.0");
    EXPECT_EQ(text(*w, "RzLEDDisplay7"), "0.7");
    EXPECT_TRUE(measuring->isEnabled());
    EXPECT_TRUE(final->isEnabled());
    measuring->setValue(45);
    final->setValue(8);
    EXPECT_EQ(text(*w, "RzLEDDisplay6"), "4.5");
    EXPECT_EQ(text(*w, "RzLEDDisplay7"), "0.8");
    EXPECT_EQ(w->engine().options().totalMs(), 5300);

    choose(*w, "RzMenuButton1", "Mute");
    choose(*w, "RzMenuButton2", "Hi Potential");
    choose(*w, "RzMenuButton3", "Combined");
    choose(*w, "RzMenuButton4", "Manual");
    choose(*w, "RzMenuButton5", "Channel 2");
    choose(*w, "RzMenuButton7", "Female");
    EXPECT_EQ(button(*w, "RzMenuButton5")->text(), "Channel 2");
    EXPECT_FALSE(state.patient.male);
    EXPECT_EQ(settingsSaves, 0) << "nothing is saved before the window closes";
    EXPECT_FALSE(state.measurement.highPotential);

    button(*w, "ToolButton8")->click();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(settingsSaves, 1);
    EXPECT_DOUBLE_EQ(settings.sensitivity, 0.3);
    EXPECT_EQ(settings.soundMode, 0);
    EXPECT_EQ(settings.guidePictureMode, 3);
    EXPECT_EQ(settings.measurementMethod, 0);
    EXPECT_EQ(settings.measurementChannel, 2);
    EXPECT_EQ(settings.measurementProcedure, 1);
    EXPECT_EQ(settings.userMeasuringTime, 4500);
    EXPECT_EQ(settings.userAveragingWindow, 800);
    EXPECT_TRUE(state.measurement.highPotential);

    // Opened again, the window shows what was kept.
    auto again = makeWindow();
    EXPECT_EQ(button(*again, "RzMenuButton1")->text(), "Mute");
    EXPECT_EQ(button(*again, "RzMenuButton2")->text(), "Hi Potential");
    EXPECT_EQ(button(*again, "RzMenuButton3")->text(), "Combined");
    EXPECT_EQ(button(*again, "RzMenuButton4")->text(), "Manual");
    EXPECT_EQ(button(*again, "RzMenuButton6")->text(), "User Defined");
    EXPECT_EQ(child<QSpinBox>(*again, "UpDown1")->value(), 3);
    EXPECT_EQ(child<QSpinBox>(*again, "UpDown2")->value(), 45);
}

TEST_F(MeasurementWindowTest, EscapeClosesAndEnterPressesTheDefaultOrFocusedButton) {
    fillValues(24);
    auto w = makeWindow();
    w->show();
    // Enter on a focused button presses it.
    QTest::keyClick(button(*w, "ToolButton2"), Qt::Key_Return);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].text, kClearTable);

    // Enter elsewhere presses Start, the default: here the probe is off-line.
    port.unplug(path);
    link.deviceChange();
    ASSERT_FALSE(link.isOnline());
    prompts.reset();
    QTest::keyClick(w.get(), Qt::Key_Return);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, 6);
    EXPECT_EQ(prompts.asked[0].text, kOffline);
    EXPECT_TRUE(w->isVisible());

    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(settingsSaves, 1);
}

TEST_F(MeasurementWindowTest, TabGoesThroughToolBarGridAndOptions) {
    auto w = makeWindow();
    QStringList seen;
    QWidget* at = button(*w, "ToolButton9");
    for (int i = 0; i < 200 && seen.size() < 23; ++i, at = at->nextInFocusChain())
        // The inner line edits of the up-downs are the toolkit's own.
        if ((at->focusPolicy() & Qt::TabFocus) && !at->objectName().startsWith("qt_"))
            seen << at->objectName();
    const QStringList expected{"ToolButton9",   "ToolButton7",   "ToolButton1",    "ToolButton3",
                               "ToolButton4",   "ToolButton2",   "ToolButton5",    "ToolButton6",
                               "ToolButton8",   "RzToolButton1", "AdvStringGrid1", "RzBitBtn1",
                               "RzMenuButton7", "RzMenuButton1", "RzMenuButton2",  "RzMenuButton3",
                               "RzMenuButton4", "RzMenuButton5", "UpDown1",        "RzTrackBar1",
                               "RzMenuButton6", "UpDown2",       "UpDown3"};
    EXPECT_EQ(seen.join(' ').toStdString(), expected.join(' ').toStdString());
}

TEST_F(MeasurementWindowTest, WindowFitsTheSmallestScreen) {
    auto w = makeWindow();
    w->show();
    EXPECT_LE(w->width(), 1366);
    EXPECT_LE(w->height(), 700) << "room for the title bar and a panel on 768 lines";
    EXPECT_LE(w->minimumSizeHint().width(), 1366);
    EXPECT_LE(w->minimumSizeHint().height(), 700);
    EXPECT_GE(child(*w, "PaintBox1")->width(), 480);
    EXPECT_GE(child(*w, "PaintBox1")->height(), 200);
}

TEST_F(MeasurementWindowTest, FunctionsWithoutTheirWindowSayNotAvailable) {
    fillValues(24);
    auto w = makeWindow();
    w->show();
    for (const char* name :
         {"ToolButton1", "ToolButton3", "ToolButton4", "ToolButton5", "ToolButton6"}) {
        prompts.reset();
        ASSERT_TRUE(button(*w, name)->isEnabled()) << name;
        button(*w, name)->click();
        ASSERT_EQ(prompts.asked.size(), 1u) << name;
        EXPECT_EQ(prompts.asked[0].type, 4) << name;
        EXPECT_EQ(prompts.asked[0].text, kNotAvailable) << name;
        EXPECT_TRUE(w->isVisible()) << name;
    }
}

TEST_F(MeasurementWindowTest, WindowsOpenedFromHereHideItWithoutClosingIt) {
    fillValues(24);
    state.pointsMeasuredSinceAnalysis = 24;
    state.recallFromMainWindow = true;
    probe.setUsageCounter(500);
    std::vector<std::pair<QString, bool>> opened; // the opener and whether the window showed
    TZedec::Services services;
    TZedec* window = nullptr;
    const auto opener = [&](const char* name) {
        return [&, name](TZedec& w) {
            EXPECT_EQ(&w, window);
            opened.emplace_back(name, w.isVisible());
        };
    };
    services.openAnalysis = opener("analysis");
    services.openSave = opener("save");
    services.openCompare = opener("compare");
    services.openManual = opener("manual");
    services.openRecall = [&](TZedec& w) {
        opened.emplace_back("recall", w.isVisible());
        EXPECT_FALSE(state.recallFromMainWindow);
        // A recalled record in the high potential.
        viro::MeasurementRecord recalled = state.measurement;
        recalled.highPotential = true;
        recalled.key = 12;
        state.replaceMeasurement(recalled);
    };
    auto w = makeWindow(services);
    window = w.get();
    w->setQualityView(true);

    // One button per turn of the window's own event loop, each scheduling the next: had a
    // hidden window ended exec(), the chain would stop there.
    const std::vector<const char*> order{"ToolButton1", "ToolButton3", "ToolButton6",
                                         "ToolButton5", "ToolButton4", "ToolButton8"};
    std::function<void(size_t)> press = [&](size_t i) {
        if (i == order.size() - 1) {
            EXPECT_TRUE(w->isVisible());
        }
        button(*w, order[i])->click();
        if (i + 1 < order.size())
            QTimer::singleShot(0, w.get(), [&press, i] { press(i + 1); });
    };
    QTimer::singleShot(0, w.get(), [&] { press(0); });
    w->exec();
    const std::vector<std::pair<QString, bool>> expected{{"analysis", false},
                                                         {"save", false},
                                                         {"compare", false},
                                                         {"manual", false},
                                                         {"recall", false}};
    EXPECT_EQ(opened, expected);
    EXPECT_TRUE(prompts.asked.empty());
    // After the analysis the probe counted the use.
    EXPECT_EQ(state.pointsMeasuredSinceAnalysis, 0);
    EXPECT_EQ(probe.registerValue(0x08), 501 & 0xFF);
    // The recalled record's potential is on its button, and goes back on close.
    EXPECT_EQ(button(*w, "RzMenuButton2")->text(), "Hi Potential");
    EXPECT_TRUE(state.measurement.highPotential);
    EXPECT_FALSE(w->qualityView());
}

TEST_F(MeasurementWindowTest, ClearAsksThenEmptiesGridPatientAndButtons) {
    fillValues(24);
    state.measurement.dateTime = 45000.25;
    state.patient.custNo = "P-3";
    state.patient.name = "Bo";
    state.patient.male = false;
    auto w = makeWindow();
    w->show();

    prompts.answer({false});
    button(*w, "ToolButton2")->click();
    EXPECT_EQ(cell(*w, 1)->text(), " 40");
    EXPECT_EQ(text(*w, "PatientNoLabel"), "P-3");
    EXPECT_TRUE(button(*w, "ToolButton2")->isEnabled());

    prompts.answer({true});
    button(*w, "ToolButton2")->click();
    ASSERT_EQ(prompts.asked.size(), 2u);
    EXPECT_EQ(prompts.asked[1].type, 1);
    EXPECT_EQ(prompts.asked[1].text, kClearTable);
    for (int p = 1; p <= 24; ++p)
        EXPECT_EQ(cell(*w, p)->text(), "") << p;
    EXPECT_EQ(text(*w, "AverageLabel"), "");
    EXPECT_EQ(text(*w, "PatientNoLabel"), "");
    EXPECT_EQ(text(*w, "PatientNameLabel"), "");
    EXPECT_EQ(text(*w, "MeasurementDateLabel"), "");
    EXPECT_EQ(button(*w, "RzMenuButton7")->text(), "Male");
    for (const char* name : {"ToolButton1", "ToolButton6", "ToolButton3", "ToolButton2"})
        EXPECT_FALSE(button(*w, name)->isEnabled()) << name;
    for (const char* name : {"ToolButton8", "ToolButton9", "ToolButton4"})
        EXPECT_TRUE(button(*w, name)->isEnabled()) << name;
}

// A whole run with the simulated probe on the virtual clock, as the operator sees it.
class MeasurementWindowRun : public MeasurementWindowTest {
protected:
    void SetUp() override {
        MeasurementWindowTest::SetUp();
        std::array<double, 24> patient{};
        for (int i = 0; i < 24; ++i)
            patient[size_t(i)] = 30.0 + i;
        probe.setPatient(patient);
        probe.setNoise(0.01, 5);
        probe.setContactCycle(100, 2700);
        probe.setAutoContact(true);
        // Only the picture of point 5 is there.
        QImage picture(200, 250, QImage::Format_RGB32);
        picture.fill(QColor(240, 230, 210));
        ASSERT_TRUE(picture.save(
            viro::guidePicturePath(
                dir.path() + "/", viro::pointGuide(5, viro::GuidePictureMode::Picture).pictureFile),
            "BMP"));
    }
};

TEST_F(MeasurementWindowRun, WholeRunFillsTheGridAndEnablesAnalysis) {
    auto w = makeWindow();
    w->show();
    const QStringList buttons{"ToolButton9", "ToolButton7", "ToolButton1",
                              "ToolButton3", "ToolButton4", "ToolButton2",
                              "ToolButton5", "ToolButton6", "ToolButton8"};
    QStringList enabledDuringRun;
    bool sawMidPoint = false;
    int positionsSeen = 0;
    QObject::connect(&w->engine(), &viro::MeasurementEngine::positionChanged, w.get(),
                     [&](int position) {
                         ++positionsSeen;
                         if (position != 2)
                             return;
                         for (const QString& name : buttons)
                             if (button(*w, name.toLatin1())->isEnabled())
                                 enabledDuringRun << name;
                         EXPECT_TRUE(child(*w, "AdvStringGrid1")->isEnabled());
                         EXPECT_FALSE(button(*w, "RzToolButton1")->isEnabled());
                         EXPECT_FALSE(button(*w, "RzMenuButton2")->isEnabled());
                         EXPECT_FALSE(button(*w, "RzMenuButton6")->isEnabled());
                         EXPECT_TRUE(button(*w, "RzMenuButton5")->isEnabled());
                         EXPECT_FALSE(w->guidePictureShown()) << "no picture for point 2";
                     });
    // Half way through position 5: what the displays and the graph show.
    QObject::connect(&w->engine(), &viro::MeasurementEngine::displayChanged, w.get(), [&] {
        const viro::MeasurementDisplay& d = w->engine().display();
        if (sawMidPoint || d.position != 5 || d.progressPercent < 50)
            return;
        sawMidPoint = true;
        w->refreshDisplays();
        EXPECT_EQ(text(*w, "LocationLabel"), "Left Hand");
        EXPECT_EQ(text(*w, "MeridianNameLabel"), "Triple Energizer Meridian of Hand-Shaoyang");
        EXPECT_EQ(text(*w, "PointNameLabel"), "YangChi  TE4");
        EXPECT_EQ(text(*w, "PictureLabel2"), "Triple Energizer Meridian(TE)");
        EXPECT_TRUE(w->guidePictureShown());
        EXPECT_EQ(child(*w, "ALed1")->property("lamp").toString(), "red");
        EXPECT_EQ(text(*w, "StatusLabel"), "Keep the probe stable while taking measurements.");
        EXPECT_NEAR(text(*w, "RzLEDDisplay1").toDouble(), 34.0, 1.0);
        EXPECT_GE(child<QProgressBar>(*w, "RzProgressBar1")->value(), 50);
        EXPECT_EQ(text(*w, "RzLEDDisplay5"),
                  QString::asprintf("%5.1f", *d.remainingSeconds).trimmed());
        EXPECT_EQ(cell(*w, 4)->text(), " 33") << "the points before are in the grid";
        EXPECT_GT(w->engine().curve().size(), 100u);
        const QImage grab = w->grab().toImage();
        EXPECT_FALSE(grab.isNull());
        const QString folder = qEnvironmentVariable("VIRO_TEST_GRAB_DIR");
        if (!folder.isEmpty())
            grab.save(folder +
                      QStringLiteral("/measurement_window_x%1.png").arg(w->devicePixelRatioF()));
        // Another family during the run loads at once: there is no outline of point 5.
        choose(*w, "RzMenuButton3", "Outline");
        EXPECT_FALSE(w->guidePictureShown());
        choose(*w, "RzMenuButton3", "Picture");
        EXPECT_TRUE(w->guidePictureShown());
    });

    button(*w, "ToolButton9")->click();

    EXPECT_TRUE(prompts.asked.empty());
    EXPECT_EQ(enabledDuringRun, QStringList{"ToolButton7"});
    EXPECT_TRUE(sawMidPoint);
    EXPECT_EQ(positionsSeen, 24);
    ASSERT_TRUE(state.measurement.isComplete());
    for (int p = 1; p <= 24; ++p) {
        const double v = state.measurement.values[size_t(p - 1)];
        EXPECT_NEAR(v, 30.0 + (p - 1), 0.5) << p;
        EXPECT_EQ(cell(*w, p)->text(), QString::asprintf("%3.0f", v)) << p;
    }
    for (const char* name :
         {"ToolButton1", "ToolButton6", "ToolButton3", "ToolButton2", "ToolButton9"})
        EXPECT_TRUE(button(*w, name)->isEnabled()) << name;
    EXPECT_FALSE(button(*w, "ToolButton7")->isEnabled());
    EXPECT_FALSE(child(*w, "AdvStringGrid1")->isEnabled());
    EXPECT_TRUE(button(*w, "RzToolButton1")->isEnabled());
    EXPECT_FALSE(w->guidePictureShown());
    EXPECT_EQ(text(*w, "LocationLabel"), "");
    EXPECT_EQ(text(*w, "RzLEDDisplay5"), "off");
    EXPECT_EQ(text(*w, "SamplingRateLabel"), "0");
    EXPECT_EQ(child(*w, "ALed1")->property("lamp").toString(), "off");
    EXPECT_FALSE(text(*w, "MeasurementDateLabel").isEmpty());
    EXPECT_TRUE(w->isVisible());
}

TEST_F(MeasurementWindowRun, EscapeDuringARunStopsItAndKeepsTheWindow) {
    auto w = makeWindow();
    w->show();
    QObject::connect(&w->engine(), &viro::MeasurementEngine::positionChanged, w.get(),
                     [&](int position) {
                         if (position == 3)
                             QTest::keyClick(w.get(), Qt::Key_Escape);
                     });
    std::vector<viro::MeasurementEngine::RunEnd> ends;
    QObject::connect(&w->engine(), &viro::MeasurementEngine::runFinished, w.get(),
                     [&](viro::MeasurementEngine::RunEnd end) { ends.push_back(end); });
    button(*w, "ToolButton9")->click();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0], viro::MeasurementEngine::RunEnd::Stopped);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(settingsSaves, 0);
    EXPECT_NE(cell(*w, 1)->text(), "");
    EXPECT_NE(cell(*w, 2)->text(), "");
    EXPECT_EQ(cell(*w, 3)->text(), "");
    EXPECT_FALSE(button(*w, "ToolButton1")->isEnabled()) << "22 points are missing";
    EXPECT_TRUE(button(*w, "ToolButton3")->isEnabled());
}

TEST_F(MeasurementWindowRun, ClickingACellWhileWaitingMovesTheRun) {
    auto w = makeWindow();
    w->show();
    std::vector<int> positions;
    QObject::connect(
        &w->engine(), &viro::MeasurementEngine::positionChanged, w.get(), [&](int position) {
            positions.push_back(position);
            if (positions.size() == 1) {
                // Once it waits for contact: a click on the cell of position 20.
                QTimer::singleShot(0, w.get(), [&] {
                    auto* grid = child<QTableWidget>(*w, "AdvStringGrid1");
                    const QRect r = grid->visualItemRect(cell(*w, 20));
                    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
                });
            }
            if (position == 22)
                w->engine().requestStop();
        });
    button(*w, "ToolButton9")->click();
    ASSERT_GE(positions.size(), 3u);
    EXPECT_EQ(positions[0], 1);
    EXPECT_EQ(positions[1], 20);
    EXPECT_EQ(positions[2], 21);
    EXPECT_EQ(cell(*w, 1)->text(), "") << "position 1 was left for 20";
    EXPECT_NE(cell(*w, 20)->text(), "");
}

} // namespace
