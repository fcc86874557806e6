#include "shell/startup_status.h"

#include "core/data_folder.h"
#include "device/probe_control.h"
#include "device/tick_clock.h"
#include "records/schema.h"
#include "scripted_prompts.h"

#include <QDir>
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
    // The check's own steps end green; the lamps the self-test lit stay lit, in yellow.
    for (int lamp = 1; lamp <= 7; ++lamp) {
        const QString name = QString("StepLamp%1").arg(lamp);
        EXPECT_EQ(child<QLabel>(w, name.toLatin1())->property("lampColour").toString(),
                  lamp <= 2 ? "green" : "yellow")
            << name.toStdString();
    }
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

// A first start: the data folder is empty, the installation files come from the share folder
// named by $VIRO_SHARE_DIR, and the main database is made from the template. A file that cannot
// be copied is named to the user, and the start goes on with the others.
TEST(StartupCheck, FirstStartFillsAnEmptyDataFolder) {
    struct Case {
        const char* name;
        bool pictureFolderBlocked; // a file stands where the picture folder belongs
    };
    const std::vector<Case> cases = {
        {"every file copied", false},
        {"the pictures cannot be copied", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir share, data;
        ASSERT_TRUE(share.isValid() && data.isValid());
        QString error;
        ASSERT_TRUE(createDatabaseFile(share.filePath(dataFileName("ZeSpa_60.mdb")),
                                       DatabaseKind::Main, &error));
        ASSERT_TRUE(createDatabaseFile(share.filePath(dataFileName("viroE.mdb")),
                                       DatabaseKind::ReferenceTexts, &error));
        ASSERT_TRUE(createDatabaseFile(share.filePath(dataFileName("viroZE.mdb")),
                                       DatabaseKind::StandardProtocols, &error));
        ASSERT_TRUE(QDir(share.path()).mkpath(dataFileName("Data")));
        QFile picture(share.filePath(dataFileName("Data") + "/" + dataFileName("PLh1.bmp")));
        ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
        picture.write("BM");
        picture.close();
        const QString pictures = data.filePath(dataFileName("Data"));
        if (c.pictureFolderBlocked) {
            QFile blocker(pictures);
            ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        }
        const QByteArray previous = qgetenv("VIRO_SHARE_DIR");
        qputenv("VIRO_SHARE_DIR", share.path().toUtf8());
        ScriptedPrompts prompts;
        DatabaseConnections connections;
        const QString folder = data.path() + "/";
        const bool ok = runStartupCheck(nullptr, nullptr, folder, connections);
        if (previous.isEmpty())
            qunsetenv("VIRO_SHARE_DIR");
        else
            qputenv("VIRO_SHARE_DIR", previous);
        EXPECT_TRUE(ok);
        EXPECT_TRUE(connections.isOpen());
        for (const char* f : {"ZeSpa_60.mdb", "viroE.mdb", "viroZE.mdb", "viro6.mdb"})
            EXPECT_TRUE(QFile::exists(folder + dataFileName(f))) << f;
        EXPECT_FALSE(QFile::exists(folder + dataFileName("viro.mdb")));
        if (c.pictureFolderBlocked) {
            ASSERT_EQ(prompts.asked.size(), 1u);
            EXPECT_EQ(prompts.asked.front().type, 6);
            EXPECT_TRUE(prompts.asked.front().text.contains(QDir::toNativeSeparators(pictures)))
                << prompts.asked.front().text.toStdString();
        } else {
            EXPECT_TRUE(prompts.asked.empty());
            EXPECT_TRUE(QFile::exists(pictures + "/" + dataFileName("PLh1.bmp")));
        }
        connections.close();
    }
}

} // namespace
} // namespace viro
