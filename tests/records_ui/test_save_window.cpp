#include "records/ui/patient_list_view.h"
#include "records/ui/recall_window.h"
#include "records/ui/save_window.h"
#include "tests/records_ui/record_windows_fixture.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>

namespace viro::test {
namespace {

const QString kSaveQuestion =
    QStringLiteral("Do you want to save the measurement data to this patient?");
constexpr double kEarlier = 45000.25;
constexpr double kStored = 45050.5;
constexpr double kLater = 45090.75;

class SaveWindowTest : public RecordWindowTest {
protected:
    void SetUp() override {
        RecordWindowTest::SetUp();
        addPatient("P01", "Carl", true, 25000);
        addPatient("P02", "Anna", false, 0);
        addPatient("P03", "Bert", true, 30000);
        storedKey = addMeasurement("P02", sample(kStored, 20));
        state.measurement = sample(kLater, 40);
        state.measurementHoldsData = true;
    }
    std::unique_ptr<TZesave> makeWindow(QSqlDatabase database = {}) {
        auto w = std::make_unique<TZesave>(database.isValid() ? database : db(), state, &probe);
        w->setNow([] { return kToday; });
        showAndWait(*w);
        return w;
    }
    static QString text(TZesave& w, const char* label) {
        return w.findChild<QLabel*>(QString::fromLatin1(label))->text();
    }
    int allMeasurements() { return count(QStringLiteral("SELECT COUNT(*) FROM ZeData")); }

    int storedKey = 0;
};

TEST_F(SaveWindowTest, ControlsCaptionsAndHints) {
    auto w = makeWindow();
    EXPECT_EQ(w->windowTitle(), "Save Meridian Energy Values");
    struct Control {
        const char* name;
        const char* caption;
        const char* hint;
    };
    for (const Control& c : {Control{"ToolButton1", "New patient", "Add new patient record"},
                             Control{"ToolButton2", "Save Value", "Save measurement data and exit"},
                             Control{"ToolButton3", "Exit", "Abort and exit"}}) {
        SCOPED_TRACE(c.name);
        QPushButton* b = button(*w, c.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), c.caption);
        EXPECT_EQ(b->toolTip(), c.hint);
        EXPECT_EQ(b->statusTip(), c.hint);
    }
    EXPECT_NE(w->findChild<QWidget*>("SpeedButton1"), nullptr);
    EXPECT_EQ(w->findChild<QWidget*>("PatientPanel")->property("title").toString(),
              "Save in the record of the following patient");
    for (const char* caption : {"Number:", "Name:", "B.O.D:", "Sex:", "Total Records:"}) {
        bool found = false;
        for (QLabel* l : w->findChildren<QLabel*>())
            found = found || l->text() == QLatin1String(caption);
        EXPECT_TRUE(found) << caption;
    }
    EXPECT_EQ(text(*w, "TotalLabel"), "     3");
    EXPECT_EQ(text(*w, "StatusLabel"),
              "Please select patient, or create a new record, to save measurement data.");

    // A hint shows in the window's own status bar.
    QStatusTipEvent tip(QStringLiteral("Abort and exit"));
    QApplication::sendEvent(w.get(), &tip);
    EXPECT_EQ(w->findChild<QStatusBar*>("StatusBar1")->currentMessage(), "Abort and exit");
}

TEST_F(SaveWindowTest, OpensOnTheCurrentPatientWhenHeIsInTheList) {
    struct Case {
        const char* current;
        bool male;
        bool found;
        const char* number;
        const char* name;
        const char* sex;
    };
    const Case cases[] = {
        {"p03", true, true, "P03", "Bert", "Male"}, // letter case ignored
        {"P02", false, true, "P02", "Anna", "Female"},
        {"", false, false, "", "", "Female"}, // no current patient: his gender only
        {"P0", true, false, "", "", "Male"},  // a prefix is not the patient
        {"P99", false, false, "", "", "Female"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.current);
        state.patient = PatientRecord();
        state.patient.custNo = QString::fromLatin1(c.current);
        state.patient.male = c.male;
        auto w = makeWindow();
        EXPECT_EQ(button(*w, "ToolButton2")->isEnabled(), c.found);
        EXPECT_EQ(w->selectedPatient().has_value(), c.found);
        EXPECT_EQ(text(*w, "NumberLabel"), c.number);
        EXPECT_EQ(text(*w, "NameLabel"), c.name);
        EXPECT_EQ(text(*w, "SexLabel"), c.sex);
        EXPECT_EQ(QApplication::focusWidget(), c.found
                                                   ? static_cast<QWidget*>(w->patientList()->grid())
                                                   : w->patientList()->searchBox());
        if (c.found) {
            EXPECT_EQ(w->patientList()->currentPatient()->custNo, c.number);
        } else {
            // Choosing a row makes it the patient to save to.
            w->patientList()->selectNumber(QStringLiteral("P01"));
            EXPECT_TRUE(button(*w, "ToolButton2")->isEnabled());
            EXPECT_EQ(text(*w, "NumberLabel"), "P01");
            EXPECT_EQ(text(*w, "NameLabel"), "Carl");
            EXPECT_FALSE(text(*w, "BirthLabel").isEmpty());
        }
    }
}

TEST_F(SaveWindowTest, NoPatientsLeavesOnlyNewPatientAndExit) {
    ASSERT_TRUE(exec(QStringLiteral("DELETE FROM ZeCust")));
    state.patient.custNo = QStringLiteral("P01");
    auto w = makeWindow();
    EXPECT_EQ(w->patientList()->count(), 0);
    EXPECT_FALSE(button(*w, "ToolButton2")->isEnabled());
    EXPECT_TRUE(button(*w, "ToolButton1")->isEnabled());
    EXPECT_TRUE(button(*w, "ToolButton3")->isEnabled());
    EXPECT_EQ(text(*w, "TotalLabel"), "     0");
}

// The patient's latest measurement date follows a later measurement only.
TEST_F(SaveWindowTest, SaveValueStoresWithTracesAndCloses) {
    struct Case {
        const char* name;
        double date;
        double premea;
    };
    const Case cases[] = {{"older", kEarlier, kStored}, {"newer", kLater, kLater}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.patient = PatientRecord();
        state.patient.custNo = QStringLiteral("P02");
        state.measurement = sample(c.date, 40, true);
        const int before = measurementsOf("P02");
        const int tracesBefore = traceRows();
        auto w = makeWindow();
        QSignalSpy saved(w.get(), &TZesave::measurementSaved);
        button(*w, "ToolButton2")->click();
        EXPECT_TRUE(prompts.asked.empty()) << "Save Value asks nothing";
        EXPECT_FALSE(w->isVisible());
        EXPECT_EQ(w->result(), QDialog::Accepted);
        ASSERT_EQ(saved.count(), 1);
        const int mkey = saved.at(0).at(0).toInt();
        EXPECT_GT(mkey, storedKey);
        EXPECT_EQ(w->savedKey(), mkey);
        EXPECT_EQ(state.measurement.key, mkey);
        EXPECT_EQ(state.patient.custNo, "P02");
        EXPECT_EQ(state.patient.name, "Anna");
        EXPECT_EQ(state.patient.premea, c.premea);
        EXPECT_EQ(measurementsOf("P02"), before + 1);
        EXPECT_EQ(traceRows(), tracesBefore + 2);
        EXPECT_EQ(premeaOf("P02"), c.premea);
        PatientStore s = store();
        const std::optional<MeasurementRecord> stored = s.measurement(mkey, true);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->values, state.measurement.values);
        EXPECT_EQ(stored->quality, state.measurement.quality);
        EXPECT_EQ(stored->traces[0], state.measurement.traces[0]);
        EXPECT_TRUE(stored->highPotential);
        EXPECT_EQ(stored->notes, state.measurement.notes);
        prompts.reset();
    }
}

TEST_F(SaveWindowTest, DoubleClickAsksBeforeSaving) {
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "YES" : "NO");
        prompts.reset();
        prompts.answer({yes});
        state.patient = PatientRecord();
        state.measurement.key = 0;
        const int before = allMeasurements();
        auto w = makeWindow();
        // P03 is the third row in number order.
        doubleClickRow(w->patientList()->grid(), 2, PatientListModel::NameColumn);
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].type, kInfoYesNo);
        EXPECT_EQ(prompts.asked[0].text, kSaveQuestion);
        EXPECT_EQ(w->isVisible(), !yes);
        EXPECT_EQ(allMeasurements(), before + (yes ? 1 : 0));
        EXPECT_EQ(measurementsOf("P03"), yes ? 1 : 0);
        EXPECT_EQ(state.measurement.key == 0, !yes);
        EXPECT_EQ(state.patient.custNo, yes ? "P03" : "");
    }
}

TEST_F(SaveWindowTest, ExitAndEscapeWriteNothing) {
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Exit");
        state.patient.custNo = QStringLiteral("P01");
        const PatientRecord patientBefore = state.patient;
        const int before = allMeasurements();
        auto w = makeWindow();
        if (escape)
            QTest::keyClick(w->patientList()->grid(), Qt::Key_Escape);
        else
            button(*w, "ToolButton3")->click();
        EXPECT_FALSE(w->isVisible());
        EXPECT_EQ(w->result(), QDialog::Rejected);
        EXPECT_EQ(allMeasurements(), before);
        EXPECT_EQ(state.measurement.key, 0);
        EXPECT_EQ(state.patient, patientBefore);
    }
}

TEST_F(SaveWindowTest, EnterInTheGridSavesAsSaveValueDoes) {
    state.patient.custNo = QStringLiteral("P01");
    auto w = makeWindow();
    QTest::keyClick(w->patientList()->grid(), Qt::Key_Return);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(measurementsOf("P01"), 1);
}

// A save that fails shows why, writes nothing, leaves the measurement unsaved and the window
// open; once the cause is gone the same window saves.
TEST_F(SaveWindowTest, FailedSaveChangesNothingAndCanBeTriedAgain) {
    state.patient.custNo = QStringLiteral("P01");
    const PatientRecord patientBefore = state.patient;
    const int before = allMeasurements();
    const int tracesBefore = traceRows();
    {
        // As root, file permissions do not stop a write: the file is opened read-only.
        Connection readOnly(ConnectionRole::ReferenceTexts);
        QString error;
        ASSERT_TRUE(readOnly.open(path_, &error)) << error.toStdString();
        auto w = makeWindow(readOnly.database());
        QSignalSpy saved(w.get(), &TZesave::measurementSaved);
        button(*w, "ToolButton2")->click();
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].type, kImportantOk);
        EXPECT_TRUE(prompts.asked[0].text.startsWith("The measurement was not saved."))
            << prompts.asked[0].text.toStdString();
        EXPECT_TRUE(prompts.asked[0].text.contains("read-only"))
            << prompts.asked[0].text.toStdString();
        EXPECT_TRUE(w->isVisible());
        EXPECT_TRUE(button(*w, "ToolButton2")->isEnabled());
        EXPECT_EQ(saved.count(), 0);
        EXPECT_EQ(state.measurement.key, 0);
        EXPECT_EQ(state.patient, patientBefore);
        w.reset();
    }
    EXPECT_EQ(allMeasurements(), before);
    EXPECT_EQ(traceRows(), tracesBefore);

    prompts.reset();
    auto w = makeWindow();
    QSignalSpy saved(w.get(), &TZesave::measurementSaved);
    checkpoint();
    {
        FileSizeLimit full(1024);
        ASSERT_TRUE(full.active());
        button(*w, "ToolButton2")->click();
    }
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, kImportantOk);
    EXPECT_TRUE(prompts.asked[0].text.startsWith("The measurement was not saved."))
        << prompts.asked[0].text.toStdString();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(state.measurement.key, 0);
    EXPECT_EQ(allMeasurements(), before);
    EXPECT_EQ(traceRows(), tracesBefore);
    EXPECT_EQ(premeaOf("P01"), 0);

    button(*w, "ToolButton2")->click();
    EXPECT_EQ(prompts.asked.size(), 1u) << "the second try saves without a word";
    EXPECT_FALSE(w->isVisible());
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(state.measurement.key, saved.at(0).at(0).toInt());
    EXPECT_EQ(measurementsOf("P01"), 1);
    EXPECT_EQ(traceRows(), tracesBefore + 2);
    EXPECT_EQ(premeaOf("P01"), kLater);
}

// After a new patient is entered the window sounds, asks, and on YES saves to him.
TEST_F(SaveWindowTest, NewPatientThenTheQuestion) {
    struct Case {
        const char* name;
        bool enter; // the editor saves a patient, else it is left with Exit
        bool yes;
    };
    const Case cases[] = {{"YES", true, true}, {"NO", true, false}, {"editor left", false, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.reset();
        probe.sounds.clear();
        prompts.answer({c.yes});
        state.patient = PatientRecord();
        state.patient.custNo = QStringLiteral("P01");
        state.measurement.key = 0;
        const QString number = QStringLiteral("N-") + QString::fromLatin1(c.name).left(3);
        auto w = makeWindow();
        whenEditorOpens([&](TZeREdit& editor) {
            EXPECT_EQ(editor.mode(), PatientEditorMode::AddFromSave);
            EXPECT_EQ(editor.windowTitle(), "Add New Patient");
            if (c.enter)
                enterPatient(editor, number, QStringLiteral("New One"));
            else
                editor.findChild<QPushButton*>("ExitButton")->click();
        });
        button(*w, "ToolButton1")->click();
        EXPECT_TRUE(editorSeen);
        PatientStore s = store();
        EXPECT_EQ(s.patient(number).has_value(), c.enter);
        if (!c.enter) {
            EXPECT_TRUE(prompts.asked.empty());
            EXPECT_TRUE(probe.sounds.empty());
            EXPECT_TRUE(w->isVisible());
            EXPECT_EQ(w->selectedPatient()->custNo, "P01") << "back to the row before";
            EXPECT_TRUE(button(*w, "ToolButton2")->isEnabled());
            continue;
        }
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].type, kInfoYesNo);
        EXPECT_EQ(prompts.asked[0].text, kSaveQuestion);
        ASSERT_EQ(probe.sounds.size(), 1u);
        EXPECT_EQ(probe.sounds[0].effect, 1);
        EXPECT_EQ(probe.sounds[0].questionsBefore, 0u) << "the sound comes before the question";
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM ZeData WHERE CustNo = ?"), {number}),
                  c.yes ? 1 : 0);
        EXPECT_EQ(w->isVisible(), !c.yes);
        if (c.yes) {
            EXPECT_EQ(state.patient.custNo, number);
            EXPECT_NE(state.measurement.key, 0);
        } else {
            EXPECT_EQ(state.measurement.key, 0);
            EXPECT_EQ(w->selectedPatient()->custNo, number);
            EXPECT_EQ(w->patientList()->currentPatient()->custNo, number);
            EXPECT_TRUE(button(*w, "ToolButton2")->isEnabled());
            EXPECT_EQ(
                text(*w, "TotalLabel"),
                QString::asprintf("%6d", count(QStringLiteral("SELECT COUNT(*) FROM ZeCust"))));
        }
    }
}

// The direction chosen by a header click in one window is the next window's.
TEST_F(SaveWindowTest, SortDirectionCarriesToTheRecallWindow) {
    state.patientSortColumn = 1;
    auto w = makeWindow();
    QHeaderView* header = w->patientList()->grid()->horizontalHeader();
    const auto clickName = [&] {
        const QPoint at(header->sectionViewportPosition(PatientListModel::NameColumn) +
                            header->sectionSize(PatientListModel::NameColumn) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    };
    clickName();
    EXPECT_EQ(state.patientSortColumn, 2);
    clickName();
    EXPECT_EQ(state.patientSortColumn, -2);
    button(*w, "ToolButton3")->click();
    w.reset();

    TZeread recall(db(), state, settings, &probe);
    recall.setNow([] { return kToday; });
    showAndWait(recall);
    PatientListView* list = recall.patientList();
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->model()->numberAt(0), "P01"); // Carl, Bert, Anna
    EXPECT_EQ(list->model()->numberAt(1), "P03");
    EXPECT_EQ(list->model()->numberAt(2), "P02");
    QHeaderView* recallHeader = list->grid()->horizontalHeader();
    EXPECT_EQ(recallHeader->sortIndicatorSection(), PatientListModel::NameColumn);
    EXPECT_EQ(recallHeader->sortIndicatorOrder(), Qt::DescendingOrder);
}

} // namespace
} // namespace viro::test
