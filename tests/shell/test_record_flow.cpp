// The whole way of a measurement as a practitioner takes it: measured in the measurement window,
// saved under a new patient, found again in the recall window and loaded.
#include "core/data_folder.h"
#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"
#include "measure/measurement_journal.h"
#include "measure/measurement_window.h"
#include "records/connection.h"
#include "records/patient_store.h"
#include "records/schema.h"
#include "records/ui/patient_editor.h"
#include "records/ui/patient_list_view.h"
#include "records/ui/recall_window.h"
#include "records/ui/save_window.h"
#include "scripted_prompts.h"
#include "shell/main_window.h"
#include "shell/measure_commands.h"
#include "shell/record_commands.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

void click(QWidget& window, const char* name) {
    auto* button = window.findChild<QAbstractButton*>(name);
    ASSERT_TRUE(button) << name;
    ASSERT_TRUE(button->isEnabled()) << name;
    button->click();
}

// Acts on whichever modal window is up, once per window as it appears: the steps of one user.
class Operator : public QObject {
public:
    using Step = std::function<bool(QWidget&)>; // true once the step is done with this window

    explicit Operator(std::vector<std::pair<const char*, Step>> steps) : steps_(std::move(steps)) {
        connect(&timer_, &QTimer::timeout, this, [this] { act(); });
        timer_.start(1);
    }
    bool done() const { return next_ == steps_.size(); }
    QString waitingFor() const { return done() ? QString() : steps_[next_].first; }

private:
    void act() {
        if (done() || pending_)
            return;
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || w->objectName() != QLatin1String(steps_[next_].first))
            return;
        // Qt does not fire a timer again inside its own handler, and a step may open the next
        // window modally: take the step from a timer of its own, so this one goes on inside the
        // nested event loop and takes the next step there.
        pending_ = true;
        QTimer::singleShot(0, this, [this, w = QPointer<QWidget>(w)] {
            pending_ = false;
            if (!w)
                return;
            const size_t at = next_++;
            if (!steps_[at].second(*w))
                next_ = at;
        });
    }

    std::vector<std::pair<const char*, Step>> steps_;
    size_t next_ = 0;
    bool pending_ = false;
    QTimer timer_;
};

class RecordFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const QString folder = dir.path() + "/";
        ASSERT_TRUE(QDir(folder).mkpath("Data"));
        QString error;
        ASSERT_TRUE(viro::createDatabaseFile(folder + viro::dataFileName("viro6.mdb"),
                                             viro::DatabaseKind::Main, &error));
        ASSERT_TRUE(viro::createDatabaseFile(folder + viro::dataFileName("viroE.mdb"),
                                             viro::DatabaseKind::ReferenceTexts, &error));
        ASSERT_TRUE(viro::createDatabaseFile(folder + viro::dataFileName("viroZE.mdb"),
                                             viro::DatabaseKind::StandardProtocols, &error));
        probe.setDeviceConstants(4000, 4000);
        std::array<double, 24> patient{};
        for (int i = 0; i < 24; ++i)
            patient[size_t(i)] = 25.0 + i;
        probe.setPatient(patient);
        probe.setNoise(0.01, 3);
        probe.setContactCycle(100, 2700);
        port.addProbe(probe);
        port.setReplyDelay(1);
        link.deviceChange();
        ASSERT_TRUE(link.isOnline());
        startForm();
    }

    // The main window past its start-up check, with the record and measure commands installed.
    void startForm() {
        measure.reset();
        records.reset();
        form.reset();
        QString error;
        viro::TZeForm::Services services;
        services.dataFolder = dir.path();
        services.startupCheck = [](viro::TZeForm& f) {
            QString e;
            return f.connections().open(f.dataFolder(), &e);
        };
        form = std::make_unique<viro::TZeForm>(services);
        ASSERT_TRUE(form->initialise(&error)) << error.toStdString();
        form->attachProbeLink(link);
        form->runFirstActivation();
        ASSERT_TRUE(form->connections().isOpen());
        journal = std::make_unique<viro::MeasurementJournal>(
            viro::MeasurementJournal::pathIn(form->dataFolder()));
        records = std::make_unique<viro::RecordCommands>(*form, *journal);
        measure =
            std::make_unique<viro::MeasureCommands>(*form, link, clock, *journal, *records);
    }

    QTemporaryDir dir;
    viro::FakeTickClock clock{1000};
    viro::SimulatedProbe probe{clock};
    viro::SimulatedPort port{clock};
    viro::ProbeLink link{port, clock};
    ScriptedPrompts prompts;
    std::unique_ptr<viro::TZeForm> form;
    std::unique_ptr<viro::MeasurementJournal> journal;
    std::unique_ptr<viro::RecordCommands> records;
    std::unique_ptr<viro::MeasureCommands> measure;
};

TEST_F(RecordFlowTest, MeasureSaveUnderANewPatientRecallAndLoad) {
    viro::MeasurementRecord measured;
    bool journalDuringSave = false;
    Operator user({
        {"TZedec",
         [&](QWidget& w) {
             static_cast<viro::TZedec&>(w).startRun(1);
             measured = form->state().measurement;
             journalDuringSave = QFile::exists(journal->path());
             click(w, "ToolButton3"); // Save
             return true;
         }},
        {"TZesave",
         [&](QWidget& w) {
             prompts.answer({true}); // "Do you want to save the measurement data to this patient?"
             click(w, "ToolButton1"); // New patient
             return true;
         }},
        {"TZeREdit",
         [&](QWidget& w) {
             w.findChild<QLineEdit*>("NumberEdit")->setText("P-100");
             w.findChild<QLineEdit*>("NameEdit")->setText("Ada O'Neil; 50%");
             click(w, "SaveButton");
             return true;
         }},
        {"TZedec",
         [&](QWidget& w) {
             click(w, "ToolButton8"); // Quit
             return true;
         }},
    });
    form->runCommand(viro::Command::Measure);
    ASSERT_TRUE(user.done()) << "waiting for " << user.waitingFor().toStdString();

    ASSERT_TRUE(measured.isComplete());
    EXPECT_TRUE(journalDuringSave) << "the measurement is safe until it is saved";
    EXPECT_FALSE(QFile::exists(journal->path())) << "saved: no journal left";
    viro::PatientStore store(form->connections().main.database());
    const auto saved = store.measurements("p-100");
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(form->state().measurement.key, saved[0].mkey);
    EXPECT_EQ(form->state().patient.custNo, "P-100");
    const auto patient = store.patient("P-100");
    ASSERT_TRUE(patient.has_value());
    EXPECT_EQ(patient->name, "Ada O'Neil; 50%");
    EXPECT_DOUBLE_EQ(patient->premea, measured.dateTime);

    // Another day: the values are gone from the window, and the patient is found again.
    form->state().clearMeasurement();
    form->state().clearCurrentPatient();
    Operator later({
        {"TZeread",
         [&](QWidget& w) {
             auto& recall = static_cast<viro::TZeread&>(w);
             if (!recall.patientList()->selectNumber("p-100"))
                 return false;
             recall.measurementGrid()->setFocus();
             recall.measurementGrid()->selectRow(0);
             click(w, "ToolButton1"); // Recall
             return true;
         }},
    });
    form->runCommand(viro::Command::Recall);
    ASSERT_TRUE(later.done()) << "waiting for " << later.waitingFor().toStdString();
    const viro::MeasurementRecord& loaded = form->state().measurement;
    EXPECT_EQ(loaded.key, saved[0].mkey);
    EXPECT_EQ(loaded.values, measured.values);
    for (int i = 0; i < 24; ++i)
        EXPECT_NEAR(loaded.quality[size_t(i)], measured.quality[size_t(i)], 0.05) << i;
    EXPECT_EQ(loaded.traces, measured.traces);
    EXPECT_EQ(form->state().patient.custNo, "P-100");
}

TEST_F(RecordFlowTest, ANetworkDataFolderIsNamedAtStartAndKeepsTheRollbackJournal) {
    struct Restore {
        ~Restore() { viro::setNetworkFolderCheckForTesting({}); }
    } restore;
    viro::setNetworkFolderCheckForTesting([](const QString&) { return true; });
    prompts.reset();
    startForm();
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, viro::kInfoOk);
    EXPECT_EQ(prompts.asked[0].text, viro::networkFolderNotice());
    QSqlQuery q(form->connections().main.database());
    ASSERT_TRUE(q.exec("PRAGMA journal_mode") && q.next());
    EXPECT_EQ(q.value(0).toString(), "delete") << "no write-ahead log on a network folder";

    // And a local folder says nothing.
    viro::setNetworkFolderCheckForTesting({});
    prompts.reset();
    startForm();
    EXPECT_TRUE(prompts.asked.empty());
}

} // namespace
