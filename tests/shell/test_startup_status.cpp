#include "startup_status.h"

#include "data_folder.h"
#include "probe_control.h"
#include "schema.h"
#include "scripted_prompts.h"
#include "tick_clock.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace viro {
namespace {

class FakeProbe : public ProbeControl {
public:
    bool online = true;
    QString hardware = "HW 2.1";
    QStringList sent;
    bool isOnline() const override { return online; }
    void soundEffect(int) override {}
    bool sendCommand(const QString& command) override {
        sent << command;
        return true;
    }
    QString serialNumber() const override { return "0123456789AB"; }
    QString hardwareVersion() const override { return hardware; }
};

class StartupStatusTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        folder_ = dir_.path() + "/";
        QString error;
        ASSERT_TRUE(
            createDatabaseFile(folder_ + dataFileName("ZeSpa_60.mdb"), DatabaseKind::Main, &error));
        ASSERT_TRUE(createDatabaseFile(folder_ + dataFileName("viroE.mdb"),
                                       DatabaseKind::ReferenceTexts, &error));
        ASSERT_TRUE(createDatabaseFile(folder_ + dataFileName("viroZE.mdb"),
                                       DatabaseKind::StandardProtocols, &error));
    }
    TZeStatu::Services services(ProbeControl* probe) {
        TZeStatu::Services s;
        s.probe = probe;
        s.clock = &clock_;
        s.connections = &connections_;
        s.dataFolder = folder_;
        s.today = QDate(2024, 3, 5);
        return s;
    }
    template <typename T> T* child(const TZeStatu& w, const char* name) {
        T* c = w.findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    QTemporaryDir dir_;
    QString folder_;
    FakeTickClock clock_{0, 5};
    DatabaseConnections connections_;
    ScriptedPrompts prompts_;
};

TEST_F(StartupStatusTest, SelfTestExercisesTheIndicatorsOnceEach) {
    FakeProbe probe;
    TZeStatu w(services(&probe));
    const quint32 start = clock_.ticks();
    w.activate();
    EXPECT_EQ(probe.sent, (QStringList{"C007F", "F00FF", "A00FF", "A0000", "B00FF", "B0000",
                                       "I00FF", "X0000"}));
    EXPECT_GE(clock_.ticks() - start, 1500u + 400u) << "self-test, then the fade-out";
    EXPECT_FALSE(w.startupFailure());
    EXPECT_TRUE(connections_.isOpen());
    EXPECT_TRUE(QFile::exists(folder_ + dataFileName("viro6.mdb")));
    EXPECT_EQ(child<QLabel>(w, "SerialText")->text(), "0123456789AB");
    EXPECT_EQ(child<QLabel>(w, "HardwareText")->text(), "HW 2.1");
    EXPECT_EQ(child<QStatusBar>(w, "StatusBar1")->currentMessage(), "Done.");
    EXPECT_EQ(child<QLabel>(w, "StatusLamp")->property("lampColour").toString(), "green");
    EXPECT_EQ(child<QLabel>(w, "StepLamp2")->property("lampColour").toString(), "green");
    EXPECT_TRUE(prompts_.asked.empty());
    EXPECT_EQ(w.result(), QDialog::Accepted);
}

TEST_F(StartupStatusTest, ProbeStatesAndMessages) {
    struct Case {
        const char* name;
        bool present;
        QString hardware;
        QString shownHardware;
        QString status;
        const char* lamp;
    };
    const std::vector<Case> cases = {
        {"no probe", false, "", "None!", kNoProbeMessage, "red"},
        {"probe without string 3", true, "", "USB Status Error!",
         QString::fromUtf8("USB connection error！Please check your USB interface cable."),
         "green"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeProbe probe;
        probe.hardware = c.hardware;
        TZeStatu w(services(c.present ? &probe : nullptr));
        w.activate();
        EXPECT_EQ(child<QLabel>(w, "HardwareText")->text(), c.shownHardware);
        if (!c.present) {
            EXPECT_EQ(child<QLabel>(w, "SerialText")->text(), "None!");
        }
        EXPECT_EQ(child<QStatusBar>(w, "StatusBar1")->currentMessage(), c.status);
        EXPECT_EQ(child<QLabel>(w, "StatusLamp")->property("lampColour").toString(), c.lamp);
        EXPECT_FALSE(w.startupFailure()) << "start-up goes on without a probe";
        connections_.close();
    }
}

TEST_F(StartupStatusTest, MissingTemplateFailsTheStart) {
    QFile::remove(folder_ + dataFileName("ZeSpa_60.mdb"));
    TZeStatu w(services(nullptr));
    w.activate();
    EXPECT_TRUE(w.startupFailure());
    ASSERT_FALSE(prompts_.asked.empty());
    EXPECT_EQ(prompts_.asked.front().type, 6);
    EXPECT_EQ(prompts_.asked.front().text, "VIRO is not installed completely! Please reinstall.");
}

TEST_F(StartupStatusTest, TakeOverShowsTransferProgress) {
    QString error;
    ASSERT_TRUE(createDatabaseFile(folder_ + dataFileName("viro.mdb"), DatabaseKind::Main, &error));
    TZeStatu w(services(nullptr));
    w.activate();
    EXPECT_TRUE(w.databaseResult().copied);
    EXPECT_EQ(child<QLabel>(w, "Label1")->text(), "DBT Prog:");
    EXPECT_EQ(child<QLabel>(w, "StepLamp7")->property("lampColour").toString(), "green");
    EXPECT_EQ(child<QProgressBar>(w, "ProgressBar1")->value(),
              child<QProgressBar>(w, "ProgressBar1")->maximum());
    EXPECT_TRUE(QFile::exists(folder_ + dataFileName("viro_20240305_BAK.mdb")));
}

} // namespace
} // namespace viro
