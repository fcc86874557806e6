#include "shell/measure_commands.h"

#include "core/data_folder.h"
#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"
#include "measure/measurement_window.h"
#include "scripted_prompts.h"
#include "shell/main_window.h"
#include "shell/record_commands.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

using viro::JournalContents;
using viro::JournalHeader;
using viro::JournalPoint;
using viro::MeasurementJournal;

const QString kOffline = "V.I.R.O. is off-line! Please reconnect the device.";

class MeasureCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath("Data"));
        probe.setDeviceConstants(4000, 4000);
        probe.setAutoContact(false);
        port.setReplyDelay(1);
        viro::TZeForm::Services services;
        services.dataFolder = dir.path();
        services.startupCheck = [](viro::TZeForm&) { return true; };
        form = std::make_unique<viro::TZeForm>(services);
        QString error;
        ASSERT_TRUE(form->initialise(&error)) << error.toStdString();
        form->attachProbeLink(link);
        journal = std::make_unique<MeasurementJournal>(MeasurementJournal::pathIn(form->dataFolder()));
        records = std::make_unique<viro::RecordCommands>(*form, *journal);
        commands = std::make_unique<viro::MeasureCommands>(*form, link, clock, *journal, *records);
    }

    void plugProbe() {
        port.addProbe(probe);
        link.deviceChange();
        ASSERT_TRUE(link.isOnline());
    }

    // A journal of an interrupted run: the first `count` positions in natural order.
    void writeJournal(int count) {
        JournalHeader header;
        header.started = 46000.25;
        header.custNo = "P-7";
        header.patientName = "Ada Lind";
        QString error;
        ASSERT_TRUE(journal->begin(header, &error)) << error.toStdString();
        for (int position = 1; position <= count; ++position) {
            JournalPoint p;
            p.position = position;
            p.point = form->settings().sequence.position[size_t(position - 1)];
            p.value = 30 + position;
            p.compensated = p.value;
            p.quality = 95;
            p.dateTime = 46000.25 + position / 86400.0;
            p.samples = 480;
            p.trace = {{0, 120}, {1, 121}};
            ASSERT_TRUE(journal->append(p, &error)) << error.toStdString();
        }
    }

    // Once the measurement window is up: `look` at it while its run waits at its first
    // position, then stop the run and close the window.
    void closeMeasurementWindowWhenRunning(std::function<void(viro::TZedec&)> look) {
        auto* timer = new QTimer(form.get());
        QObject::connect(timer, &QTimer::timeout, form.get(), [timer, look, looked = false]() mutable {
            auto* w = qobject_cast<viro::TZedec*>(QApplication::activeModalWidget());
            if (!w)
                return;
            if (w->engine().running()) {
                if (w->engine().display().position == 0)
                    return; // the run is still starting
                if (!looked)
                    look(*w);
                looked = true;
                w->engine().requestStop();
                return;
            }
            if (!looked)
                return;
            timer->stop();
            timer->deleteLater();
            w->reject();
        });
        timer->start(1);
    }

    QTemporaryDir dir;
    viro::FakeTickClock clock{1000};
    viro::SimulatedProbe probe{clock};
    viro::SimulatedPort port{clock};
    viro::ProbeLink link{port, clock};
    ScriptedPrompts prompts;
    std::unique_ptr<viro::TZeForm> form;
    std::unique_ptr<MeasurementJournal> journal;
    std::unique_ptr<viro::RecordCommands> records;
    std::unique_ptr<viro::MeasureCommands> commands;
};

TEST_F(MeasureCommandsTest, NoJournalAsksNothing) {
    commands->offerInterruptedRun();
    EXPECT_TRUE(prompts.asked.empty());
    EXPECT_FALSE(commands->restorePending());
}

TEST_F(MeasureCommandsTest, DeclinedRestoreRemovesTheJournal) {
    writeJournal(5);
    prompts.answer({false});
    commands->offerInterruptedRun();
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, viro::kInfoYesNo);
    EXPECT_TRUE(prompts.asked[0].text.contains("with 5 of 24 points taken, patient P-7 Ada Lind."))
        << prompts.asked[0].text.toStdString();
    EXPECT_TRUE(prompts.asked[0].text.endsWith("Do you want to restore the points taken?"));
    EXPECT_FALSE(QFile::exists(journal->path()));
    EXPECT_FALSE(form->state().measurementHoldsData);
}

// Yes puts the points back and the run goes on at the next position.
TEST_F(MeasureCommandsTest, RestoredRunGoesOnAtTheNextPosition) {
    plugProbe();
    writeJournal(5);
    prompts.answer({true});
    int firstPosition = 0;
    double valueOfPosition3 = 0;
    closeMeasurementWindowWhenRunning([&](viro::TZedec& w) {
        firstPosition = w.engine().display().position;
        valueOfPosition3 = form->state().measurement.values[size_t(
            form->settings().sequence.position[2] - 1)];
    });
    commands->offerInterruptedRun();
    EXPECT_EQ(firstPosition, 6);
    EXPECT_DOUBLE_EQ(valueOfPosition3, 33);
    EXPECT_EQ(form->state().patient.custNo, "P-7");
    EXPECT_FALSE(commands->restorePending());
}

// With the probe off-line the Measure command cannot open: the points wait for the next one,
// and the journal stays.
TEST_F(MeasureCommandsTest, OfflineProbeKeepsTheRestoreForLater) {
    writeJournal(3);
    prompts.answer({true});
    commands->offerInterruptedRun();
    ASSERT_EQ(prompts.asked.size(), 2u);
    EXPECT_EQ(prompts.asked[1].text, kOffline);
    EXPECT_TRUE(commands->restorePending());
    EXPECT_TRUE(QFile::exists(journal->path()));
}

TEST_F(MeasureCommandsTest, UnreadableJournalIsReportedAndMovedAside) {
    QFile file(journal->path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a journal\n");
    file.close();
    commands->offerInterruptedRun();
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, viro::kCautionOk);
    EXPECT_TRUE(prompts.asked[0].text.startsWith(
        "A measurement was interrupted, but nothing of it can be restored: "));
    EXPECT_FALSE(QFile::exists(journal->path()));
    EXPECT_TRUE(QFile::exists(journal->path() + ".damaged"));
    prompts.reset();
    commands->offerInterruptedRun();
    EXPECT_TRUE(prompts.asked.empty()) << "asked once only";
}

TEST_F(MeasureCommandsTest, RunInterruptedBeforeItsFirstPointIsDroppedSilently) {
    writeJournal(0);
    commands->offerInterruptedRun();
    EXPECT_TRUE(prompts.asked.empty());
    EXPECT_FALSE(QFile::exists(journal->path()));
}

} // namespace
