#include "records/ui/measurement_list_model.h"
#include "records/ui/patient_list_view.h"
#include "records/ui/recall_window.h"
#include "records/ui/window_parts.h"
#include "tests/records_ui/record_windows_fixture.h"

#include <QFont>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTableWidget>

namespace viro::test {
namespace {

using Active = TZeread::ActiveList;
using Model = MeasurementListModel;

const QString kRecallQuestion =
    QStringLiteral("Are you sure you want to recall this measurement data") + QChar(0xFF1F);
const QString kDeletePatient = QStringLiteral(
    "Are you sure you want to delete this patient record, including all the measurements?");
const QString kDeleteMeasurement =
    QStringLiteral("Are you sure you want to delete this measurement data?");
const QString kNotAvailable = QStringLiteral("This function is not available in this version.");

constexpr double kOlder = 45000.25;
constexpr double kNewer = 45010.5;
constexpr double kBert = 45020.5;

class RecallWindowTest : public RecordWindowTest {
protected:
    void SetUp() override {
        RecordWindowTest::SetUp();
        addPatient("P01", "Carl", true, 25000, "patient notes");
        addPatient("P02", "Anna", false, 0);
        addPatient("P03", "Bert", true, 0);
        older = addMeasurement("P01", sample(kOlder, 10));
        newer = addMeasurement("P01", sample(kNewer, 20, true));
        bert = addMeasurement("P03", sample(kBert, 5));
        state.patient.custNo = QStringLiteral("P01");
    }
    std::unique_ptr<TZeread> makeWindow(TZeread::Services services = {},
                                        QSqlDatabase database = {}) {
        auto w = std::make_unique<TZeread>(database.isValid() ? database : db(), state, settings,
                                           &probe, std::move(services));
        w->setNow([] { return kToday; });
        showAndWait(*w);
        return w;
    }
    static void choosePatient(TZeread& w, const char* custNo) {
        ASSERT_TRUE(w.patientList()->selectNumber(QString::fromLatin1(custNo)));
        w.patientList()->grid()->setFocus();
    }
    static void focusMeasurements(TZeread& w) {
        w.measurementGrid()->setFocus();
        ASSERT_EQ(w.activeList(), Active::Measurements);
    }
    static int currentKey(TZeread& w) {
        const QModelIndex i = w.measurementGrid()->currentIndex();
        return i.isValid() ? w.measurementModel()->rowAt(i.row()).mkey : 0;
    }
    static QString cell(TZeread& w, int row, int column) {
        return w.measurementModel()->index(row, column).data().toString();
    }
    // The colour in the middle of the first header section as drawn.
    static QColor headerColour(QTableView* view) {
        QHeaderView* header = view->horizontalHeader();
        const QImage image = header->grab().toImage();
        return image.pixelColor(header->sectionSize(0) / 2 + 2, image.height() / 2);
    }
    static bool orange(const QColor& c) { return c.red() > 240 && c.blue() < 150; }
    static bool blue(const QColor& c) { return c.blue() > 220 && c.red() < 225; }

    int older = 0;
    int newer = 0;
    int bert = 0;
};

TEST_F(RecallWindowTest, ControlsCaptionsAndHints) {
    auto w = makeWindow();
    EXPECT_EQ(w->windowTitle(), "Load Patient and Measurement Record");
    struct Control {
        const char* name;
        const char* caption;
        const char* hint;
    };
    const Control controls[] = {
        {"ToolButton1", "Recall", "Recall energy data"},
        {"ToolButton13", "New Pat.", "Add new patient record"},
        {"ToolButton2", "Edit Pat.", "Edit Patient Record"},
        {"ToolButton3", "Delete Pat.", "Delete Patient Record"},
        {"ToolButton14", "New Value", "Manually enter new meridian energy values"},
        {"ToolButton4", "Edit Value", "Edit measurement record"},
        {"ToolButton5", "Delete Value", "Delete measurement record"},
        {"ToolButton8", "Display Mode", "Display detailed Value"},
        {"ToolButton9", "MEMO", "Display Memo Field"},
        {"ToolButton6", "Exit", "Exit read data menu"},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.name);
        QPushButton* b = button(*w, c.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), c.caption);
        EXPECT_EQ(b->toolTip(), c.hint);
        EXPECT_EQ(b->statusTip(), c.hint);
    }
    EXPECT_NE(w->findChild<QWidget*>("SpeedButton1"), nullptr);
    EXPECT_EQ(w->statusText(), "     3  -  [ 2 ]");
    EXPECT_EQ(w->findChild<QLabel*>("StatusText")->text(), w->statusText());
    EXPECT_EQ(w->patientList()->currentPatient()->custNo, "P01");
    EXPECT_EQ(currentKey(*w), newer) << "the newest measurement is current";
}

TEST_F(RecallWindowTest, OpensOnTheFirstPatientWhoseNumberBeginsWithTheCurrentOne) {
    const std::pair<const char*, const char*> cases[] = {
        {"p03", "P03"}, {"P0", "P01"}, {"X", "P01"}, {"", "P01"}};
    for (const auto& [current, shown] : cases) {
        SCOPED_TRACE(current);
        state.patient.custNo = QString::fromLatin1(current);
        auto w = makeWindow();
        ASSERT_TRUE(w->patientList()->currentPatient());
        EXPECT_EQ(w->patientList()->currentPatient()->custNo, shown);
    }
}

// The buttons act on the list that last had the focus, whose header is orange.
TEST_F(RecallWindowTest, ActiveListEnablesItsButtonsAndColoursItsHeader) {
    const char* names[] = {"ToolButton1",  "ToolButton13", "ToolButton2", "ToolButton3",
                           "ToolButton14", "ToolButton4",  "ToolButton5", "ToolButton8",
                           "ToolButton9",  "ToolButton6"};
    struct Case {
        const char* name;
        const char* patient;
        bool measurements;         // the measurement list has the focus
        std::vector<bool> enabled; // in the order of `names`
    };
    const std::vector<Case> cases = {
        {"patients", "P01", false, {0, 1, 1, 1, 0, 0, 0, 1, 1, 1}},
        {"measurements", "P01", true, {1, 0, 0, 0, 1, 1, 1, 1, 1, 1}},
        {"no measurements", "P02", true, {0, 0, 0, 0, 1, 0, 0, 1, 1, 1}},
        {"back to patients", "P02", false, {0, 1, 1, 1, 0, 0, 0, 1, 1, 1}},
    };
    auto w = makeWindow();
    EXPECT_EQ(w->activeList(), Active::Patients);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        choosePatient(*w, c.patient);
        if (c.measurements)
            focusMeasurements(*w);
        EXPECT_EQ(w->activeList(), c.measurements ? Active::Measurements : Active::Patients);
        for (size_t i = 0; i < std::size(names); ++i)
            EXPECT_EQ(button(*w, names[i])->isEnabled(), c.enabled[i]) << names[i];
        const QColor patients = headerColour(w->patientList()->grid());
        const QColor measurements = headerColour(w->measurementGrid());
        EXPECT_TRUE(c.measurements ? blue(patients) : orange(patients))
            << patients.name().toStdString();
        EXPECT_TRUE(c.measurements ? orange(measurements) : blue(measurements))
            << measurements.name().toStdString();
    }
    // The search box belongs to the patient list.
    focusMeasurements(*w);
    w->patientList()->searchBox()->setFocus();
    EXPECT_EQ(w->activeList(), Active::Patients);
}

TEST_F(RecallWindowTest, MeasurementListColumns) {
    auto w = makeWindow();
    Model* model = w->measurementModel();
    const QStringList headers = {
        "Index", "Date", "Time", "Energy", "M.Age", "Potential", "L-LU", "PC", "HT",   "SI",
        "TE",    "LI",   "R-LU", "PC",     "HT",    "SI",        "TE",   "LI", "L-SP", "LR",
        "KI",    "BL",   "GB",   "ST",     "R-SP",  "LR",        "KI",   "BL", "GB",   "ST"};
    ASSERT_EQ(model->columnCount(), headers.size());
    for (int c = 0; c < model->columnCount(); ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), headers[c]);
        const int point = c - Model::FirstPointColumn + 1;
        const bool left = (point >= 1 && point <= 6) || (point >= 13 && point <= 18);
        EXPECT_EQ(model->headerData(c, Qt::Horizontal, Qt::FontRole).value<QFont>().bold(), left);
        EXPECT_EQ(model->headerData(c, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(),
                  left ? QColor(0, 0, 128) : QColor());
    }

    ASSERT_EQ(model->rowCount(), 2);
    struct Row {
        int mkey;
        const char* energy;
        const char* age;
        const char* potential;
        QColor potentialColour;
        const char* ze1;
        const char* ze24;
    };
    const Row rows[] = {
        {newer, "32.5", "54.8", "HI", QColor(255, 0, 0), "21", "44"},
        {older, "22.5", "54.8", "NRM", QColor(0, 128, 0), "11", "34"},
    };
    for (int r = 0; r < 2; ++r) {
        SCOPED_TRACE(r);
        const Row& e = rows[r];
        EXPECT_EQ(model->rowAt(r).mkey, e.mkey);
        EXPECT_EQ(cell(*w, r, Model::IndexColumn), QString::number(r + 1));
        EXPECT_EQ(cell(*w, r, Model::EnergyColumn), e.energy);
        EXPECT_EQ(cell(*w, r, Model::AgeColumn), e.age);
        EXPECT_EQ(cell(*w, r, Model::PotentialColumn), e.potential);
        EXPECT_EQ(cell(*w, r, Model::FirstPointColumn), e.ze1);
        EXPECT_EQ(cell(*w, r, Model::FirstPointColumn + 23), e.ze24);
        const QModelIndex energy = model->index(r, Model::EnergyColumn);
        EXPECT_EQ(energy.data(Qt::ForegroundRole).value<QColor>(), QColor(0, 0, 255));
        EXPECT_TRUE(energy.data(Qt::FontRole).value<QFont>().bold());
        const QModelIndex potential = model->index(r, Model::PotentialColumn);
        EXPECT_EQ(potential.data(Qt::ForegroundRole).value<QColor>(), e.potentialColour);
        EXPECT_TRUE(potential.data(Qt::FontRole).value<QFont>().bold());
        EXPECT_FALSE(cell(*w, r, Model::DateColumn).isEmpty());
        EXPECT_FALSE(cell(*w, r, Model::TimeColumn).isEmpty());
    }
    EXPECT_NE(cell(*w, 0, Model::TimeColumn), cell(*w, 1, Model::TimeColumn));

    choosePatient(*w, "P03");
    ASSERT_EQ(model->rowCount(), 1);
    EXPECT_EQ(cell(*w, 0, Model::AgeColumn), "") << "no birth date, no age";
    EXPECT_EQ(w->statusText(), "     3  -  [ 1 ]");

    const std::pair<double, const char*> values[] = {
        {12.34, "12.3"}, {12.0, "12"}, {0.5, ".5"}, {0, ""}, {7.25, "7.3"}, {199.96, "200"}};
    for (const auto& [value, text] : values)
        EXPECT_EQ(Model::pointText(value), text) << value;
}

TEST_F(RecallWindowTest, LoadingAsksOnlyWhenOpenedFromTheMainWindow) {
    enum How { DoubleClick, RecallButton, Enter };
    struct Case {
        const char* name;
        bool fromMain;
        How how;
        bool yes;
        bool asks;
        bool loads;
    };
    const Case cases[] = {
        {"main, double-click, NO", true, DoubleClick, false, true, false},
        {"main, double-click, YES", true, DoubleClick, true, true, true},
        {"main, Enter, YES", true, Enter, true, true, true},
        {"main, Recall", true, RecallButton, false, false, true},
        {"measurement window, double-click", false, DoubleClick, false, false, true},
        {"measurement window, Recall", false, RecallButton, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.reset();
        prompts.answer({c.yes});
        state.recallFromMainWindow = c.fromMain;
        state.measurement = MeasurementRecord();
        auto w = makeWindow();
        focusMeasurements(*w);
        switch (c.how) {
        case DoubleClick:
            doubleClickRow(w->measurementGrid(), 1, Model::EnergyColumn);
            break;
        case Enter:
            ASSERT_TRUE(w->measurementGrid()->selectionModel());
            w->measurementGrid()->setCurrentIndex(w->measurementModel()->index(1, 0));
            QTest::keyClick(w->measurementGrid(), Qt::Key_Return);
            break;
        case RecallButton:
            w->measurementGrid()->setCurrentIndex(w->measurementModel()->index(1, 0));
            button(*w, "ToolButton1")->click();
            break;
        }
        ASSERT_EQ(prompts.asked.size(), c.asks ? 1u : 0u);
        if (c.asks) {
            EXPECT_EQ(prompts.asked[0].type, kInfoYesNo);
            EXPECT_EQ(prompts.asked[0].text, kRecallQuestion);
        }
        EXPECT_EQ(w->isVisible(), !c.loads);
        EXPECT_EQ(state.measurement.key, c.loads ? older : 0);
        EXPECT_EQ(w->loadedKey(), c.loads ? older : 0);
        EXPECT_EQ(state.recallFromMainWindow, c.fromMain && !c.loads);
    }
}

TEST_F(RecallWindowTest, LoadingFillsTheStateAndResetsTheAnalysis) {
    state.recallFromMainWindow = false;
    state.analysisPage = 3;
    state.pointsMeasuredSinceAnalysis = 7;
    state.chartCategory = 4;
    state.chartNumbers.fill(3);
    state.patient = PatientRecord();
    state.patient.custNo = QStringLiteral("P01");
    auto w = makeWindow();
    focusMeasurements(*w);
    doubleClickRow(w->measurementGrid(), 0, Model::DateColumn);
    ASSERT_FALSE(w->isVisible());

    const MeasurementRecord expected = sample(kNewer, 20, true);
    PatientStore s = store();
    EXPECT_EQ(state.patient, s.patient(QStringLiteral("P01")).value());
    EXPECT_EQ(state.patient.memo, "patient notes");
    EXPECT_EQ(state.measurement.key, newer);
    EXPECT_EQ(state.measurement.values, expected.values);
    EXPECT_EQ(state.measurement.quality, expected.quality);
    EXPECT_EQ(state.measurement.traces, expected.traces);
    EXPECT_EQ(state.measurement.dateTime, kNewer);
    EXPECT_TRUE(state.measurement.highPotential);
    EXPECT_EQ(state.measurement.notes, expected.notes);
    EXPECT_TRUE(state.measurementHoldsData);
    EXPECT_EQ(state.analysisPage, 0);
    EXPECT_EQ(state.pointsMeasuredSinceAnalysis, 0);
    EXPECT_EQ(state.chartCategory, 1);
    for (int n : state.chartNumbers)
        EXPECT_EQ(n, 1);
}

TEST_F(RecallWindowTest, ClosingWithoutLoadingChangesNothing) {
    state.recallFromMainWindow = true;
    state.measurement = sample(1, 1);
    const PatientRecord patient = state.patient;
    auto w = makeWindow();
    button(*w, "ToolButton6")->click();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Rejected);
    EXPECT_EQ(state.patient, patient);
    EXPECT_EQ(state.measurement.dateTime, 1);
    EXPECT_TRUE(state.recallFromMainWindow);
}

TEST_F(RecallWindowTest, DeletingAMeasurement) {
    struct Case {
        const char* name;
        const char* patient;
        int row;
        bool yes;
        int remaining;
        double premea;
        const char* status;
    };
    const Case cases[] = {
        {"NO deletes nothing", "P01", 0, false, 2, kNewer, "     3  -  [ 2 ]"},
        {"the newest", "P01", 0, true, 1, kOlder, "     3  -  [ 1 ]"},
        {"the only one", "P03", 0, true, 0, 0, "     3  -  [ 0 ]"},
    };
    auto w = makeWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.reset();
        probe.sounds.clear();
        prompts.answer({c.yes});
        choosePatient(*w, c.patient);
        focusMeasurements(*w);
        const int tracesBefore = traceRows();
        button(*w, "ToolButton5")->click();
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].type, kCautionYesNo);
        EXPECT_EQ(prompts.asked[0].text, kDeleteMeasurement);
        ASSERT_EQ(probe.sounds.size(), 1u);
        EXPECT_EQ(probe.sounds[0].effect, 1);
        EXPECT_EQ(probe.sounds[0].questionsBefore, 0u);
        EXPECT_EQ(measurementsOf(c.patient), c.remaining);
        EXPECT_EQ(traceRows(), tracesBefore - (c.yes ? 2 : 0));
        EXPECT_EQ(premeaOf(c.patient), c.premea);
        EXPECT_EQ(w->measurementModel()->rowCount(), c.remaining);
        EXPECT_EQ(w->statusText(), c.status);
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->patientList()->currentPatient()->custNo, c.patient);
        EXPECT_EQ(w->patientList()->currentPatient()->premea, c.premea) << "the list is read again";
        EXPECT_EQ(button(*w, "ToolButton5")->isEnabled(), c.remaining > 0);
        EXPECT_EQ(button(*w, "ToolButton1")->isEnabled(), c.remaining > 0);
        EXPECT_TRUE(button(*w, "ToolButton14")->isEnabled());
    }
    EXPECT_EQ(currentKey(*w), 0);
    choosePatient(*w, "P01");
    EXPECT_EQ(currentKey(*w), older);
}

TEST_F(RecallWindowTest, DeletingAPatientWithHisMeasurements) {
    struct Case {
        const char* name;
        const char* patient;
        bool yes;
        const char* currentAfter;
        int patientsAfter;
        int tracesAfter;
    };
    const Case cases[] = {
        {"NO deletes nothing", "P01", false, "P01", 3, 6},
        {"the first: the next becomes current", "P01", true, "P02", 2, 2},
        {"the last: the one before becomes current", "P03", true, "P02", 1, 0},
    };
    auto w = makeWindow();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.reset();
        probe.sounds.clear();
        prompts.answer({c.yes});
        choosePatient(*w, c.patient);
        button(*w, "ToolButton3")->click();
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].type, kCautionYesNo);
        EXPECT_EQ(prompts.asked[0].text, kDeletePatient);
        ASSERT_EQ(probe.sounds.size(), 1u);
        EXPECT_EQ(probe.sounds[0].questionsBefore, 0u);
        PatientStore s = store();
        EXPECT_EQ(s.patient(QString::fromLatin1(c.patient)).has_value(), !c.yes);
        if (c.yes) {
            EXPECT_EQ(measurementsOf(c.patient), 0);
        }
        EXPECT_EQ(traceRows(), c.tracesAfter);
        EXPECT_EQ(w->patientList()->count(), c.patientsAfter);
        ASSERT_TRUE(w->patientList()->currentPatient());
        EXPECT_EQ(w->patientList()->currentPatient()->custNo, c.currentAfter);
        EXPECT_EQ(w->measurementModel()->rowCount(), measurementsOf(c.currentAfter));
        EXPECT_EQ(w->statusText(), countText(c.patientsAfter) + "  -  [ " +
                                       countText(measurementsOf(c.currentAfter)).trimmed() + " ]");
    }
}

// Edit Pat. and a double-click on a patient open the editor on him; a new number takes every
// measurement along, a number another patient has (in any letter case) is refused.
TEST_F(RecallWindowTest, EditingAndRenumberingAPatient) {
    struct Case {
        const char* name;
        bool doubleClick;
        const char* typed;
        bool refused;
        const char* shownAfter;
    };
    const Case cases[] = {
        {"renumber by Edit Pat.", false, "P10", false, "P10"},
        {"renumber by double-click", true, "P11", false, "P11"},
        {"taken in other letter case", false, "p03", true, "P11"},
    };
    auto w = makeWindow();
    QString number = QStringLiteral("P01");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.reset();
        probe.sounds.clear();
        choosePatient(*w, number.toLatin1().constData());
        const int row = w->patientList()->currentRow();
        bool stayedOpen = false;
        whenEditorOpens([&](TZeREdit& editor) {
            EXPECT_EQ(editor.mode(), PatientEditorMode::Edit);
            EXPECT_EQ(editor.windowTitle(), "Edit Patient Record");
            enterPatient(editor, QString::fromLatin1(c.typed), QString());
            stayedOpen = editor.isVisible();
            if (stayedOpen)
                editor.findChild<QPushButton*>("ExitButton")->click();
        });
        if (c.doubleClick)
            doubleClickRow(w->patientList()->grid(), row, PatientListModel::NameColumn);
        else
            button(*w, "ToolButton2")->click();
        ASSERT_TRUE(editorSeen);
        EXPECT_EQ(stayedOpen, c.refused);
        if (c.refused) {
            ASSERT_EQ(prompts.asked.size(), 1u);
            EXPECT_EQ(prompts.asked[0].type, kCautionOk);
            EXPECT_EQ(prompts.asked[0].text,
                      PatientStore::takenNumberNotice(QStringLiteral("Bert")));
            ASSERT_EQ(probe.sounds.size(), 1u);
            EXPECT_EQ(probe.sounds[0].effect, 1);
        } else {
            number = QString::fromLatin1(c.typed);
        }
        EXPECT_EQ(measurementsOf(c.shownAfter), 2);
        EXPECT_EQ(measurementsOf("P03"), 1);
        EXPECT_EQ(traceRows(), 6);
        ASSERT_TRUE(w->patientList()->currentPatient());
        EXPECT_EQ(w->patientList()->currentPatient()->custNo, c.shownAfter);
        EXPECT_EQ(w->measurementModel()->rowCount(), 2);
        EXPECT_EQ(w->activeList(), Active::Patients);
    }
}

TEST_F(RecallWindowTest, NewPatientBecomesCurrent) {
    for (const bool enter : {true, false}) {
        SCOPED_TRACE(enter ? "added" : "left");
        auto w = makeWindow();
        choosePatient(*w, "P03");
        whenEditorOpens([&](TZeREdit& editor) {
            EXPECT_EQ(editor.mode(), PatientEditorMode::AddFromRecall);
            if (enter)
                enterPatient(editor, QStringLiteral("P00"), QStringLiteral("Zoe"));
            else
                editor.findChild<QPushButton*>("ExitButton")->click();
        });
        button(*w, "ToolButton13")->click();
        ASSERT_TRUE(editorSeen);
        EXPECT_EQ(w->patientList()->currentPatient()->custNo, enter ? "P00" : "P03");
        EXPECT_EQ(w->measurementModel()->rowCount(), enter ? 0 : 1);
        EXPECT_EQ(w->statusText(), enter ? "     4  -  [ 0 ]" : "     4  -  [ 1 ]")
            << "the patient added first stays";
        EXPECT_EQ(w->activeList(), Active::Patients);
    }
}

TEST_F(RecallWindowTest, ManualEntryWithoutTheWindowIsNotAvailable) {
    for (const char* name : {"ToolButton14", "ToolButton4"}) {
        SCOPED_TRACE(name);
        prompts.reset();
        auto w = makeWindow();
        focusMeasurements(*w);
        button(*w, name)->click();
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].type, kInfoOk);
        EXPECT_EQ(prompts.asked[0].text, kNotAvailable);
        EXPECT_TRUE(w->isVisible());
    }
}

// The manual entry window gets the mode, the patient and the measurement; the recall window
// hides meanwhile (without leaving its exec) and reads its lists again after.
TEST_F(RecallWindowTest, ManualEntryOpensHiddenAndRefreshesTheLists) {
    struct Call {
        int mode;
        QString custNo;
        int mkey;
        bool hidden;
    };
    std::vector<Call> calls;
    TZeread* window = nullptr;
    int added = 0;
    TZeread::Services services;
    services.openManualEntry = [&](int mode, const QString& custNo, int mkey) {
        calls.push_back({mode, custNo, mkey, !window->isVisible()});
        PatientStore s = store();
        MeasurementRecord m = sample(kNewer + 5, 60);
        if (mode == TZeread::kManualAdd) {
            added = s.addManualMeasurement(custNo, m).value_or(0);
            return added;
        }
        m.dateTime = kOlder - 1;
        EXPECT_TRUE(s.updateMeasurementValues(mkey, m));
        return mkey;
    };
    auto w = makeWindow(services);
    window = w.get();
    focusMeasurements(*w);

    bool visibleAfter = false;
    bool exitClicked = false;
    QTimer::singleShot(0, w.get(), [&] {
        button(*w, "ToolButton14")->click();
        visibleAfter = w->isVisible();
        // Exit comes from the window's own loop, which must still be running.
        QTimer::singleShot(0, w.get(), [&] {
            exitClicked = true;
            button(*w, "ToolButton6")->click();
        });
    });
    EXPECT_EQ(w->exec(), QDialog::Rejected);
    EXPECT_TRUE(visibleAfter) << "shown again";
    EXPECT_TRUE(exitClicked) << "hiding for the manual entry window ended exec()";
    EXPECT_FALSE(w->isVisible());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].mode, 2);
    EXPECT_EQ(calls[0].custNo, "P01");
    EXPECT_EQ(calls[0].mkey, 0);
    EXPECT_TRUE(calls[0].hidden);
    ASSERT_NE(added, 0);
    EXPECT_EQ(w->measurementModel()->rowCount(), 3);
    EXPECT_EQ(currentKey(*w), added);
    EXPECT_EQ(w->activeList(), Active::Measurements);
    EXPECT_EQ(w->statusText(), "     3  -  [ 3 ]");
    EXPECT_EQ(w->patientList()->currentPatient()->premea, kNewer + 5);

    showAndWait(*w);
    focusMeasurements(*w);
    button(*w, "ToolButton4")->click();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].mode, 1);
    EXPECT_EQ(calls[1].custNo, "P01");
    EXPECT_EQ(calls[1].mkey, added);
    EXPECT_TRUE(calls[1].hidden);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(currentKey(*w), added);
    EXPECT_EQ(cell(*w, w->measurementModel()->rowOfKey(added), Model::EnergyColumn), "72.5");
    EXPECT_EQ(w->measurementModel()->rowOfKey(added), 2) << "moved back in time, listed last";
    EXPECT_EQ(w->patientList()->currentPatient()->premea, kNewer);
}

TEST_F(RecallWindowTest, DetailGridAndMemoPanel) {
    settings.orderMode = 1; // paired: LU LI PC TE HT SI, SP ST LR GB KI BL
    settings.rebuildDerivedTables();
    MeasurementRecord gaps = sample(kNewer + 1, 0);
    gaps.values.fill(0);
    gaps.traces = {};
    gaps.samples = {};
    gaps.values[5] = 7.3; // left LI
    const int gapKey = addMeasurement("P02", gaps);
    auto w = makeWindow();
    QTableWidget* detail = w->detailGrid();
    auto* memoPanel = w->findChild<QWidget*>("MemoPanel");
    ASSERT_NE(memoPanel, nullptr);
    EXPECT_TRUE(detail->isHidden()) << "hidden at first";
    EXPECT_FALSE(memoPanel->isHidden()) << "shown at first";
    EXPECT_EQ(w->findChild<QPlainTextEdit*>("PatientMemo")->toPlainText(), "patient notes");
    EXPECT_EQ(w->findChild<QPlainTextEdit*>("MeasurementMemo")->toPlainText(),
              "first line\nsecond line");

    button(*w, "ToolButton8")->click();
    EXPECT_FALSE(detail->isHidden());
    const QStringList codes = {"",   "LU", "LI", "PC", "TE", "HT", "SI",
                               "SP", "ST", "LR", "GB", "KI", "BL"};
    for (int c = 0; c < 13; ++c)
        EXPECT_EQ(detail->item(0, c)->text(), codes[c]) << c;
    EXPECT_EQ(detail->item(1, 0)->text(), "Left");
    EXPECT_EQ(detail->item(2, 0)->text(), "Right");
    // The newest of P01: point k holds 20 + k.
    const struct {
        int column;
        const char* left;
        const char* right;
    } cells[] = {{1, "21.0", "27.0"},
                 {2, "26.0", "32.0"},
                 {7, "33.0", "39.0"},
                 {8, "38.0", "44.0"},
                 {12, "36.0", "42.0"}};
    for (const auto& c : cells) {
        SCOPED_TRACE(c.column);
        EXPECT_EQ(detail->item(1, c.column)->text(), c.left);
        EXPECT_EQ(detail->item(2, c.column)->text(), c.right);
        EXPECT_EQ(detail->item(1, c.column)->textAlignment(), int(Qt::AlignCenter));
    }
    // The older measurement when its row is chosen.
    w->measurementGrid()->setCurrentIndex(w->measurementModel()->index(1, 0));
    EXPECT_EQ(detail->item(1, 1)->text(), "11.0");

    choosePatient(*w, "P02");
    ASSERT_EQ(currentKey(*w), gapKey);
    EXPECT_EQ(w->findChild<QPlainTextEdit*>("PatientMemo")->toPlainText(), "");
    for (int r = 1; r <= 2; ++r)
        for (int c = 1; c <= 12; ++c)
            EXPECT_EQ(detail->item(r, c)->text(), r == 1 && c == 2 ? "7.3" : "") << r << "," << c;

    const std::pair<bool, int> widths[] = {{true, 75}, {false, 57}};
    for (const auto& [hidden, width] : widths) {
        button(*w, "ToolButton9")->click();
        EXPECT_EQ(memoPanel->isHidden(), hidden);
        for (int c = 0; c < 13; ++c)
            EXPECT_EQ(detail->columnWidth(c), width);
    }
    button(*w, "ToolButton8")->click();
    EXPECT_TRUE(detail->isHidden());
}

// A write the database refuses is shown; nothing is deleted and the window goes on working.
TEST_F(RecallWindowTest, StoreFailuresAreShownAndNothingIsDeleted) {
    Connection readOnly(ConnectionRole::ReferenceTexts);
    QString error;
    ASSERT_TRUE(readOnly.open(path_, &error)) << error.toStdString();
    auto w = makeWindow({}, readOnly.database());
    struct Case {
        const char* name;
        const char* button;
        bool onMeasurements;
        const char* message;
    };
    const Case cases[] = {
        {"measurement", "ToolButton5", true, "The measurement was not deleted."},
        {"patient", "ToolButton3", false, "The patient was not deleted."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.reset();
        prompts.answer({true});
        choosePatient(*w, "P01");
        if (c.onMeasurements)
            focusMeasurements(*w);
        button(*w, c.button)->click();
        ASSERT_EQ(prompts.asked.size(), 2u);
        EXPECT_EQ(prompts.asked[1].type, kImportantOk);
        EXPECT_TRUE(prompts.asked[1].text.startsWith(c.message))
            << prompts.asked[1].text.toStdString();
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(measurementsOf("P01"), 2);
        EXPECT_EQ(traceRows(), 6);
        EXPECT_EQ(w->patientList()->count(), 3);
        EXPECT_EQ(w->measurementModel()->rowCount(), 2);
    }
    // Loading still works from a file that cannot be written.
    state.recallFromMainWindow = false;
    focusMeasurements(*w);
    button(*w, "ToolButton1")->click();
    EXPECT_EQ(state.measurement.key, newer);
}

} // namespace
} // namespace viro::test
