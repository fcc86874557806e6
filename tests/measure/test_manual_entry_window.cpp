#include "measure/manual_entry_window.h"

#include "analysis/jet_date.h"
#include "core/application_state.h"
#include "core/settings.h"
#include "measure/measurement_window.h"
#include "records/connection.h"
#include "records/patient_store.h"
#include "records/schema.h"
#include "scripted_prompts.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

using viro::ManualEntryMode;
using viro::MeasurementGrid;
using viro::TZemnu;

// 2024-03-09 14:25:36 and a bit.
const double kNow = viro::jetFromDateTime(QDateTime(QDate(2024, 3, 9), QTime(14, 25, 36, 400)));
const double kNowToTheSecond =
    viro::jetFromDateTime(QDateTime(QDate(2024, 3, 9), QTime(14, 25, 36)));
const QString kClearQuestion = "Are you sure you want to clear this meridian energy data?";
const QString kAddStatus = "Add new meridian energy data. Please input value between 0.1 - "
                           "200.0. Value outside of the range will be invalid.";

class ManualEntryWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath("viro6.mdb");
        QString error;
        ASSERT_TRUE(viro::createDatabaseFile(path, viro::DatabaseKind::Main, &error))
            << error.toStdString();
        ASSERT_TRUE(main.open(path, &error)) << error.toStdString();
        store = std::make_unique<viro::PatientStore>(main.database());
        viro::PatientRecord patient;
        patient.custNo = "P1";
        patient.name = "Ann Example";
        viro::StoreError why;
        ASSERT_TRUE(store->addPatient(patient, &why)) << why.message.toStdString();
        // The paired order, so that grid positions and point indices differ.
        settings.orderMode = 1;
        settings.rebuildDerivedTables();
    }

    std::unique_ptr<TZemnu> open(ManualEntryMode mode, int mkey = 0, const QString& custNo = {}) {
        auto w = std::make_unique<TZemnu>(mode, state, settings, store.get(), mkey, custNo);
        w->setNow([] { return kNow; });
        w->show();
        return w;
    }

    int pointAt(int position) const { return settings.sequence.position[size_t(position - 1)]; }

    template <typename T = QWidget> static T* child(TZemnu& w, const char* name) {
        T* found = w.findChild<T*>(name);
        EXPECT_TRUE(found) << name;
        return found;
    }
    static QTableWidget* grid(TZemnu& w) { return child<QTableWidget>(w, "AdvStringGrid1"); }
    static QTableWidgetItem* cell(TZemnu& w, int position) {
        const MeasurementGrid::Cell at = MeasurementGrid::cellOf(position);
        return grid(w)->item(at.row, at.column);
    }
    static QString cellText(TZemnu& w, int position) { return cell(w, position)->text(); }
    static QString status(TZemnu& w) { return child<QLabel>(w, "StatusLabel")->text(); }
    static QPushButton* button(TZemnu& w, const char* name) { return child<QPushButton>(w, name); }

    // Types into the cell of `position` as the operator does: the first key starts the edit,
    // the rest go to the cell's editor, and `end` leaves it.
    static void type(TZemnu& w, int position, const QString& text, Qt::Key end = Qt::Key_Return) {
        QTableWidget* g = grid(w);
        const MeasurementGrid::Cell at = MeasurementGrid::cellOf(position);
        g->setCurrentCell(at.row, at.column);
        QTest::keyClick(g, text.at(0).toLatin1());
        QWidget* editor = g->indexWidget(g->currentIndex());
        ASSERT_TRUE(editor) << "no edit began at position " << position;
        QTest::keyClicks(editor, text.mid(1));
        QTest::keyClick(editor, end);
    }

    std::vector<viro::MeasurementSummary> stored(const QString& custNo = "P1") const {
        return store->measurements(custNo);
    }

    QTemporaryDir dir;
    viro::Connection main{viro::ConnectionRole::Main};
    std::unique_ptr<viro::PatientStore> store;
    viro::Settings settings;
    viro::ApplicationState state;
    ScriptedPrompts prompts;
};

TEST_F(ManualEntryWindowTest, EachModeShowsItsTextsAndTheControlsCarryTheirNames) {
    struct Case {
        ManualEntryMode mode;
        QString caption, title;
    };
    const Case cases[] = {
        {ManualEntryMode::AddStored, "Enter New Meridian Energy Value",
         "Manual entry of meridian energy values"},
        {ManualEntryMode::EditCurrent, "Enter New Meridian Energy Value",
         "Manual entry of meridian energy values"},
    };
    for (const Case& c : cases) {
        auto w = open(c.mode, 0, "P1");
        SCOPED_TRACE(int(c.mode));
        EXPECT_EQ(w->objectName(), "TZemnu");
        EXPECT_EQ(w->windowTitle(), c.caption);
        EXPECT_EQ(child<QLabel>(*w, "TitleLabel")->text(), c.title);
        EXPECT_EQ(status(*w), kAddStatus);

        struct ButtonRow {
            const char* name;
            const char* caption;
            const char* hint;
        };
        const ButtonRow buttons[] = {
            {"ToolButton1", "    Save    ", "Save entered values and exit"},
            {"ToolButton2", "Clear", "Clear table values"},
            {"ToolButton3", "    Exit    ", "Abort and exit this menu"},
            {"RzMenuButton1", "Potential  ", " Measuring potential  "},
        };
        for (const ButtonRow& b : buttons) {
            QPushButton* pb = button(*w, b.name);
            EXPECT_EQ(pb->text(), b.caption) << b.name;
            EXPECT_EQ(pb->toolTip(), b.hint) << b.name;
            EXPECT_EQ(pb->statusTip(), b.hint) << b.name;
        }
        QStringList choices;
        for (QAction* a : button(*w, "RzMenuButton1")->menu()->actions())
            choices << a->text();
        EXPECT_EQ(choices, QStringList({"NRM", "HI"}));
        EXPECT_EQ(child<QLabel>(*w, "PotentialLabel")->text(), "NRM");

        auto* memo = child<QPlainTextEdit>(*w, "Memo1");
        auto* box = qobject_cast<QGroupBox*>(memo->parentWidget());
        ASSERT_TRUE(box);
        EXPECT_EQ(box->title(), "Patient symptoms and notes");
        EXPECT_EQ(child<QCheckBox>(*w, "CheckBox1")->text(), "Measurement Date:");
        child<QDateEdit>(*w, "DateTimePicker1");
        child<QTimeEdit>(*w, "DateTimePicker2");

        // The measurement grid's layout, in the measuring order of the settings.
        QTableWidget* g = grid(*w);
        ASSERT_EQ(g->rowCount(), 3);
        ASSERT_EQ(g->columnCount(), 13);
        EXPECT_EQ(g->item(1, 0)->text(), "Left");
        EXPECT_EQ(g->item(2, 0)->text(), "Right");
        for (int c = 1; c <= 12; ++c)
            EXPECT_EQ(g->item(0, c)->text(),
                      viro::meridian(settings.sequence.order[size_t(c - 1)]).code)
                << c;
        EXPECT_EQ(g->item(0, 2)->text(), "LI");
        EXPECT_EQ(g->item(1, 1)->textAlignment(), int(Qt::AlignCenter));
        EXPECT_EQ(g->currentRow(), 1);
        EXPECT_EQ(g->currentColumn(), 1);
        EXPECT_FALSE(button(*w, "ToolButton2")->isEnabled());
    }
}

TEST_F(ManualEntryWindowTest, TypedValuesAreLimitedOnLeavingAndStoredAsShown) {
    auto w = open(ManualEntryMode::AddStored, 0, "P1");
    type(*w, 1, "250");
    type(*w, 2, "0.05");
    type(*w, 3, "45.67");
    type(*w, 14, "-7");
    EXPECT_EQ(cellText(*w, 1), "200.0");
    EXPECT_EQ(cellText(*w, 2), "");
    EXPECT_EQ(cellText(*w, 3), "45.7");
    EXPECT_EQ(cellText(*w, 14), "");
    EXPECT_TRUE(button(*w, "ToolButton2")->isEnabled());
    child<QPlainTextEdit>(*w, "Memo1")->setPlainText("tired\nslept badly");

    button(*w, "ToolButton1")->click();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Accepted);
    const auto list = stored();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(w->savedKey(), list[0].mkey);
    QString owner;
    const auto m = store->measurement(list[0].mkey, false, &owner);
    ASSERT_TRUE(m);
    EXPECT_EQ(owner, "P1");
    EXPECT_EQ(m->value(pointAt(1)), 200);
    EXPECT_EQ(m->value(pointAt(2)), 0);
    EXPECT_DOUBLE_EQ(m->value(pointAt(3)), 45.7);
    EXPECT_EQ(m->value(pointAt(14)), 0);
    EXPECT_NEAR(m->dateTime, kNowToTheSecond, 1e-9);
    EXPECT_FALSE(m->highPotential);
    EXPECT_EQ(m->notes, QStringList({"tired", "slept badly"}));
    for (double q : m->quality)
        EXPECT_EQ(q, 0);
}

TEST_F(ManualEntryWindowTest, EnterRunsAlongTheCellsAndOnlyNumberCharactersAreTaken) {
    auto w = open(ManualEntryMode::AddStored, 0, "P1");
    QTableWidget* g = grid(*w);
    type(*w, 12, "10"); // row 2, column 6
    EXPECT_EQ(g->currentRow(), 2);
    EXPECT_EQ(g->currentColumn(), 7);
    type(*w, 18, "11"); // the end of the first row
    EXPECT_EQ(g->currentRow(), 2);
    EXPECT_EQ(g->currentColumn(), 1);
    type(*w, 24, "12"); // the last cell
    EXPECT_EQ(g->currentRow(), 2);
    EXPECT_EQ(g->currentColumn(), 12);
    // Enter without an edit moves as well.
    g->setCurrentCell(1, 4);
    QTest::keyClick(g, Qt::Key_Return);
    EXPECT_EQ(g->currentColumn(), 5);

    // Letters and the other keys' characters neither start an edit nor reach one.
    for (char key : {'a', '%', '(', '\''}) {
        g->setCurrentCell(1, 1);
        QTest::keyClick(g, key);
        EXPECT_EQ(g->indexWidget(g->currentIndex()), nullptr) << key;
    }
    type(*w, 1, "1a%,5");
    EXPECT_EQ(cellText(*w, 1), "1.5");

    // Delete empties a cell.
    g->setCurrentCell(1, 1);
    QTest::keyClick(g, Qt::Key_Delete);
    EXPECT_EQ(cellText(*w, 1), "");
}

TEST_F(ManualEntryWindowTest, TabLeavesTheGridWithWhatWasTypedAndEnterOutsideItSaves) {
    auto w = open(ManualEntryMode::AddStored, 0, "P1");
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    QTableWidget* g = grid(*w);
    EXPECT_EQ(QApplication::focusWidget(), g);

    type(*w, 1, "55", Qt::Key_Tab);
    EXPECT_EQ(cellText(*w, 1), "55.0");
    EXPECT_EQ(QApplication::focusWidget(), child<QCheckBox>(*w, "CheckBox1"));

    auto* picker = child<QDateEdit>(*w, "DateTimePicker1");
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Return);
    EXPECT_FALSE(w->isVisible());
    ASSERT_EQ(stored().size(), 1u);
    EXPECT_EQ(stored()[0].values[size_t(pointAt(1) - 1)], 55);
}

TEST_F(ManualEntryWindowTest, ATextThatIsNoNumberIsKeptMarkedAndNamedAndBlocksTheSave) {
    auto w = open(ManualEntryMode::AddStored, 0, "P1");
    type(*w, 2, "40");
    type(*w, 1, "1.2.3");
    EXPECT_EQ(cellText(*w, 1), "1.2.3");
    EXPECT_EQ(cell(*w, 1)->background().color(), TZemnu::kWrongCellBackground);
    EXPECT_TRUE(status(*w).contains("Left LU")) << status(*w).toStdString();
    EXPECT_TRUE(status(*w).contains("between 0.1 and 200.0")) << status(*w).toStdString();

    // Another cell typed meanwhile does not hide the fault.
    type(*w, 3, "41");
    EXPECT_TRUE(status(*w).contains("Left LU")) << status(*w).toStdString();

    button(*w, "ToolButton1")->click();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(stored().empty());
    EXPECT_TRUE(prompts.asked.empty());
    EXPECT_EQ(grid(*w)->currentRow(), 1);
    EXPECT_EQ(grid(*w)->currentColumn(), 1);

    type(*w, 1, "-");
    EXPECT_TRUE(status(*w).contains("\"-\"")) << status(*w).toStdString();
    type(*w, 1, "12");
    EXPECT_EQ(status(*w), kAddStatus);
    EXPECT_NE(cell(*w, 1)->background().color(), TZemnu::kWrongCellBackground);
    button(*w, "ToolButton1")->click();
    EXPECT_FALSE(w->isVisible());
    ASSERT_EQ(stored().size(), 1u);
    EXPECT_EQ(stored()[0].values[size_t(pointAt(1) - 1)], 12);
    EXPECT_EQ(stored()[0].values[size_t(pointAt(2) - 1)], 40);
}

TEST_F(ManualEntryWindowTest, AStoredMeasurementWithoutDateKeepsItsDateQualityAndTraces) {
    viro::MeasurementRecord m;
    for (int i = 0; i < viro::kPointCount; ++i) {
        m.values[size_t(i)] = 30.4567 + i;
        m.quality[size_t(i)] = 70 + i;
    }
    m.traces[0] = {{0, 600}, {40, 610}};
    m.dateTime = 0;
    viro::StoreError why;
    const std::optional<int> key = store->saveMeasurement("P1", m, &why);
    ASSERT_TRUE(key) << why.message.toStdString();

    auto w = open(ManualEntryMode::ModifyStored, *key);
    EXPECT_EQ(w->windowTitle(), "Modify Meridian Energy Value");
    EXPECT_EQ(child<QLabel>(*w, "TitleLabel")->text(), "Modify meridian energy values");
    EXPECT_TRUE(status(*w).startsWith("Modify the original data.")) << status(*w).toStdString();
    EXPECT_FALSE(child<QCheckBox>(*w, "CheckBox1")->isChecked());
    EXPECT_FALSE(child<QDateEdit>(*w, "DateTimePicker1")->isEnabled());
    EXPECT_FALSE(child<QTimeEdit>(*w, "DateTimePicker2")->isEnabled());
    EXPECT_EQ(child<QDateEdit>(*w, "DateTimePicker1")->date(), QDate(2024, 3, 9));
    EXPECT_EQ(cellText(*w, 1), QString::asprintf("%3.1f", m.value(pointAt(1))));
    EXPECT_TRUE(button(*w, "ToolButton2")->isEnabled());

    type(*w, 5, "99");
    button(*w, "ToolButton1")->click();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->savedKey(), *key);

    const auto after = store->measurement(*key, true);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->dateTime, 0);
    EXPECT_EQ(after->quality, m.quality);
    EXPECT_EQ(after->traces[0], m.traces[0]);
    for (int point = 1; point <= viro::kPointCount; ++point) {
        const double expected = point == pointAt(5) ? 99 : m.value(point);
        EXPECT_DOUBLE_EQ(after->value(point), expected) << point;
    }
}

TEST_F(ManualEntryWindowTest, AStoredMeasurementShowsItsDatePotentialAndNotes) {
    viro::MeasurementRecord m;
    m.values.fill(50);
    m.dateTime = viro::jetFromDateTime(QDateTime(QDate(2021, 11, 2), QTime(9, 8, 7)));
    m.highPotential = true;
    m.notes = {"headache", "cold feet"};
    const std::optional<int> key = store->addManualMeasurement("P1", m);
    ASSERT_TRUE(key);

    auto w = open(ManualEntryMode::ModifyStored, *key);
    EXPECT_TRUE(child<QCheckBox>(*w, "CheckBox1")->isChecked());
    EXPECT_TRUE(child<QDateEdit>(*w, "DateTimePicker1")->isEnabled());
    EXPECT_EQ(child<QDateEdit>(*w, "DateTimePicker1")->date(), QDate(2021, 11, 2));
    EXPECT_EQ(child<QTimeEdit>(*w, "DateTimePicker2")->time(), QTime(9, 8, 7));
    EXPECT_EQ(child<QLabel>(*w, "PotentialLabel")->text(), "HI");
    EXPECT_EQ(child<QPlainTextEdit>(*w, "Memo1")->toPlainText(), "headache\ncold feet");

    button(*w, "RzMenuButton1")->menu()->actions()[0]->trigger();
    EXPECT_EQ(child<QLabel>(*w, "PotentialLabel")->text(), "NRM");
    child<QTimeEdit>(*w, "DateTimePicker2")->setTime(QTime(10, 0, 0));
    button(*w, "ToolButton1")->click();
    const auto after = store->measurement(*key, false);
    ASSERT_TRUE(after);
    EXPECT_FALSE(after->highPotential);
    EXPECT_NEAR(after->dateTime,
                viro::jetFromDateTime(QDateTime(QDate(2021, 11, 2), QTime(10, 0, 0))), 1e-9);
    EXPECT_EQ(after->notes, m.notes);
}

TEST_F(ManualEntryWindowTest, TheCurrentMeasurementTakesTheValuesAndKeepsItsQualities) {
    viro::MeasurementRecord& m = state.measurement;
    for (int i = 0; i < viro::kPointCount; ++i) {
        m.values[size_t(i)] = 60.25 + i;
        m.compensated[size_t(i)] = 55 + i;
        m.quality[size_t(i)] = 80 + i / 4.0;
        m.traces[size_t(i)] = {{0, quint16(1200 + i)}};
        m.samples[size_t(i)] = 25;
    }
    m.dateTime = 0;
    m.key = 17;
    const viro::MeasurementRecord before = m;
    state.measurementHoldsData = true;
    state.analysisPage = 3;
    state.chartCategory = 4;
    state.chartNumbers = {2, 3, 4, 2, 3, 4};

    auto w = open(ManualEntryMode::EditCurrent);
    EXPECT_TRUE(child<QCheckBox>(*w, "CheckBox1")->isChecked());
    EXPECT_EQ(child<QDateEdit>(*w, "DateTimePicker1")->date(), QDate(2024, 3, 9));
    const int changed = pointAt(7);
    type(*w, 7, "12.5");
    child<QPlainTextEdit>(*w, "Memo1")->setPlainText("typed in");
    button(*w, "RzMenuButton1")->menu()->actions()[1]->trigger();
    button(*w, "ToolButton1")->click();
    EXPECT_FALSE(w->isVisible());

    EXPECT_EQ(m.quality, before.quality);
    EXPECT_EQ(m.key, 17);
    EXPECT_TRUE(m.highPotential);
    EXPECT_EQ(m.notes, QStringList{"typed in"});
    EXPECT_NEAR(m.dateTime, kNowToTheSecond, 1e-9);
    for (int point = 1; point <= viro::kPointCount; ++point) {
        const size_t i = size_t(point - 1);
        if (point == changed) {
            EXPECT_EQ(m.values[i], 12.5);
            EXPECT_TRUE(m.traces[i].empty());
            EXPECT_EQ(m.samples[i], 0);
            EXPECT_DOUBLE_EQ(m.compensated[i],
                             12.5 * settings.factors[size_t(viro::meridianOfPoint(point) - 1)]);
        } else {
            EXPECT_EQ(m.values[i], before.values[i]) << point;
            EXPECT_EQ(m.traces[i], before.traces[i]) << point;
            EXPECT_EQ(m.compensated[i], before.compensated[i]) << point;
        }
    }
    EXPECT_EQ(state.analysisPage, 0);
    EXPECT_EQ(state.chartCategory, 1);
    for (int n : state.chartNumbers)
        EXPECT_EQ(n, 1);
    EXPECT_TRUE(stored().empty());
}

TEST_F(ManualEntryWindowTest, ClearAsksFirstThenEmptiesTheValuesAndResetsDateAndPotential) {
    state.measurement.values.fill(42);
    state.measurement.highPotential = true;
    state.measurement.dateTime =
        viro::jetFromDateTime(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)));
    auto w = open(ManualEntryMode::EditCurrent);
    QPushButton* clear = button(*w, "ToolButton2");
    ASSERT_TRUE(clear->isEnabled());
    auto* dated = child<QCheckBox>(*w, "CheckBox1");

    clear->click();
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, viro::kInfoYesNo);
    EXPECT_EQ(prompts.asked[0].text, kClearQuestion);
    EXPECT_EQ(cellText(*w, 1), "42.0");

    dated->setChecked(false);
    grid(*w)->setCurrentCell(2, 5);
    prompts.answer({true});
    clear->click();
    for (int p = 1; p <= viro::kPointCount; ++p)
        EXPECT_EQ(cellText(*w, p), "") << p;
    EXPECT_FALSE(clear->isEnabled());
    EXPECT_EQ(grid(*w)->currentRow(), 1);
    EXPECT_EQ(grid(*w)->currentColumn(), 1);
    EXPECT_EQ(child<QLabel>(*w, "PotentialLabel")->text(), "NRM");
    EXPECT_TRUE(dated->isChecked());
    EXPECT_TRUE(child<QDateEdit>(*w, "DateTimePicker1")->isEnabled());
    EXPECT_EQ(child<QDateEdit>(*w, "DateTimePicker1")->date(), QDate(2024, 3, 9));
    EXPECT_EQ(child<QTimeEdit>(*w, "DateTimePicker2")->time(), QTime(14, 25, 36));
    // Nothing is stored before Save.
    EXPECT_EQ(state.measurement.values[0], 42);
}

TEST_F(ManualEntryWindowTest, ExitAndEscapeCloseWithoutStoring) {
    state.measurement.values.fill(42);
    for (const bool escape : {false, true}) {
        for (ManualEntryMode mode : {ManualEntryMode::AddStored, ManualEntryMode::EditCurrent}) {
            SCOPED_TRACE(escape ? "Escape" : "Exit");
            auto w = open(mode, 0, "P1");
            type(*w, 1, "99");
            if (escape)
                QTest::keyClick(grid(*w), Qt::Key_Escape);
            else
                button(*w, "ToolButton3")->click();
            EXPECT_FALSE(w->isVisible()) << int(mode);
            EXPECT_EQ(w->result(), QDialog::Rejected) << int(mode);
            EXPECT_EQ(w->savedKey(), 0) << int(mode);
        }
    }
    EXPECT_TRUE(stored().empty());
    for (double v : state.measurement.values)
        EXPECT_EQ(v, 42);
}

TEST_F(ManualEntryWindowTest, AFailedSaveSaysWhyAndKeepsTheWindowWithEverythingTyped) {
    const std::optional<int> key = store->addManualMeasurement("P1", viro::MeasurementRecord());
    ASSERT_TRUE(key);
    for (ManualEntryMode mode : {ManualEntryMode::ModifyStored, ManualEntryMode::AddStored}) {
        SCOPED_TRACE(int(mode));
        prompts.reset();
        auto w = open(mode, *key, "P1");
        type(*w, 1, "77");
        child<QPlainTextEdit>(*w, "Memo1")->setPlainText("keep me");
        QSqlQuery q(main.database());
        ASSERT_TRUE(q.exec("PRAGMA query_only = ON"));

        button(*w, "ToolButton1")->click();
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].type, viro::kImportantOk);
        EXPECT_FALSE(prompts.asked[0].text.isEmpty());
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(cellText(*w, 1), "77.0");
        EXPECT_EQ(child<QPlainTextEdit>(*w, "Memo1")->toPlainText(), "keep me");

        ASSERT_TRUE(q.exec("PRAGMA query_only = OFF"));
        button(*w, "ToolButton1")->click();
        EXPECT_FALSE(w->isVisible());
        const auto saved = store->measurement(w->savedKey(), false);
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved->value(pointAt(1)), 77);
        EXPECT_EQ(saved->notes, QStringList{"keep me"});
    }
    EXPECT_EQ(stored().size(), 2u);
}

TEST_F(ManualEntryWindowTest, AMeasurementThatCannotBeReadIsNotOpened) {
    auto w = open(ManualEntryMode::ModifyStored, 4711);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, viro::kImportantOk);
    EXPECT_FALSE(prompts.asked[0].text.isEmpty());
    QTRY_VERIFY(!w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Rejected);
}

} // namespace
