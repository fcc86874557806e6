#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

using viro::FakeTickClock;
using viro::ProbeLink;
using viro::SimulatedPort;
using viro::SimulatedProbe;

const QString kA02 = QStringLiteral("VIRO6-20051706-A02");

class ProbeLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        probe.setHardwareString(kA02);
        probe.setSerialNumber(0x0123456789ABULL);
        probe.setDeviceConstants(4052, 4071);
        probe.setAutoContact(false);
        path = port.addProbe(probe);
    }

    // Attaches the probe and forgets what the set-up exchanged.
    void attach() {
        link.deviceChange();
        ASSERT_TRUE(link.isOnline());
        port.clearLog();
        probe.clearLog();
    }

    quint32 elapsedSince(quint32 start) const { return viro::ticksSince(start, clock.ticks()); }

    FakeTickClock clock{5000};
    SimulatedProbe probe{clock};
    SimulatedPort port{clock};
    QString path;
    ProbeLink link{port, clock};
};

TEST_F(ProbeLinkTest, CommandGoesOutShiftedAndPaddedToTheReportLength) {
    port.setOutputReportLength(9);
    attach();
    EXPECT_TRUE(link.sendCommand("F00FF"));
    ASSERT_EQ(port.writtenReports().size(), 1u);
    // "F00FF" + 05 0B 03 09 07.
    const QByteArray expected = QByteArray::fromHex("004b3b334f4d202020");
    EXPECT_EQ(port.writtenReports()[0].toHex(), expected.toHex());
    EXPECT_EQ(probe.commands(), QStringList{"F00FF"});
    EXPECT_EQ(link.reply(), "Z0001");
}

TEST_F(ProbeLinkTest, ThreeCharacterCommandIsPaddedWithSpaces) {
    attach();
    link.sendCommand("K01");
    ASSERT_FALSE(port.writtenReports().empty());
    const QByteArray report = port.writtenReports()[0];
    ASSERT_EQ(report.size(), 65);
    EXPECT_EQ(report.left(4).toHex(), QByteArray("00503b34"));
    EXPECT_EQ(report.mid(4), QByteArray(61, ' '));
}

TEST_F(ProbeLinkTest, RetriesAndTheirTiming) {
    struct Case {
        const char* name;
        int rejections;    // "Z0000" before the probe accepts; -1 always
        bool silent;       // no reply at all
        int writeFailures; // writes that fail first
        bool result;
        const char* reply;
        int writes; // reports the probe saw
        quint32 minMs, maxMs;
    };
    const std::vector<Case> cases{
        {"accepted at once", 0, false, 0, true, "Z0001", 1, 0, 5},
        {"rejected twice, then accepted", 2, false, 0, true, "Z0001", 3, 200, 205},
        {"rejected every time", -1, false, 0, false, "", 3, 300, 305},
        {"never answered", 0, true, 0, false, "", 3, 300, 305},
        {"one failed write, then accepted", 0, false, 1, true, "Z0001", 1, 100, 105},
        {"every write fails", 0, false, 3, false, "", 0, 300, 305},
    };
    attach();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        port.clearLog();
        probe.clearLog();
        probe.setRejectAll(c.rejections < 0);
        probe.rejectNext(qMax(c.rejections, 0));
        probe.setSilent(c.silent);
        port.failWrites(c.writeFailures);
        const quint32 start = clock.ticks();
        EXPECT_EQ(link.sendCommand("L0000"), c.result);
        EXPECT_EQ(link.reply(), c.reply);
        EXPECT_EQ(link.replyReceived(), c.result);
        EXPECT_EQ(int(port.writtenReports().size()), c.writes);
        EXPECT_EQ(port.writeAttempts(), c.writeFailures + c.writes);
        // The input queue is flushed before the first write, and after every failed write
        // before its pause.
        EXPECT_EQ(port.flushCount(), 1 + c.writeFailures);
        EXPECT_GE(elapsedSince(start), c.minMs);
        EXPECT_LE(elapsedSince(start), c.maxMs);
        probe.setRejectAll(false);
        probe.setSilent(false);
    }
}

TEST_F(ProbeLinkTest, RejectionsAcrossTheTickCounterWrap) {
    FakeTickClock wrapping(0xFFFFFFA0u);
    SimulatedProbe p(wrapping);
    SimulatedPort wire(wrapping);
    wire.addProbe(p);
    ProbeLink l(wire, wrapping);
    l.deviceChange();
    ASSERT_TRUE(l.isOnline());
    p.setRejectAll(true);
    wire.clearLog();
    const quint32 start = wrapping.ticks();
    EXPECT_FALSE(l.sendCommand("L0000"));
    EXPECT_EQ(wire.writtenReports().size(), 3u);
    const quint32 elapsed = viro::ticksSince(start, wrapping.ticks());
    EXPECT_GE(elapsed, 300u);
    EXPECT_LE(elapsed, 305u);
}

TEST_F(ProbeLinkTest, RepliesAreStoredTrimmedAndShiftedBack) {
    attach();
    struct Case {
        const char* name;
        QByteArray probeSends; // before the probe's own shift
        QString reply;
    };
    const std::vector<Case> cases{
        {"five characters", "D0ABC", "D0ABC"},
        {"fewer characters", "R0", "R0"},
        // Six characters travel unshifted: what arrives is stored as it is.
        {"six characters", "I;DKJ1", "I;DKJ1"},
        {"acknowledgement", "Z0001", "Z0001"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        probe.queueReply(c.probeSends);
        EXPECT_TRUE(link.sendCommand("D0000"));
        EXPECT_EQ(link.reply(), c.reply);
    }
}

TEST_F(ProbeLinkTest, ReadValue) {
    attach();
    struct Case {
        const char* name;
        QByteArray reply;
        int value;
    };
    const std::vector<Case> cases{
        {"D0ABC", "D0ABC", 2748},
        {"full scale", "D0FFF", 4095},
        {"zero", "D0000", 0},
        {"blank digits trimmed", "D0 1F", 31},
        {"not hexadecimal", "D0XYZ", 0},
        {"minus sign", "D0-FF", 0},
        {"plus sign", "D0+1F", 0},
        {"hex prefix", "D00x1", 0},
        {"too short", "D0", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        probe.queueReply(c.reply);
        EXPECT_EQ(link.readValue(), c.value);
        EXPECT_EQ(probe.commands().last(), "D0000");
    }
    probe.setSilent(true);
    EXPECT_EQ(link.readValue(), 0);
}

TEST_F(ProbeLinkTest, ReadingsOfTheVirtualPatient) {
    attach();
    probe.setDeviceConstants(4000, 4000);
    link.sendCommand("K0001");
    probe.touch(100.0);
    // 100 µA with 4000 counts for 200 µA.
    EXPECT_EQ(link.readValue(), 2000);
    probe.setReadingOverride(0xABC);
    EXPECT_EQ(link.readValue(), 2748);
}

TEST_F(ProbeLinkTest, CpdmFaultShowsTheBalloonOnceAndClearsIt) {
    attach();
    QSignalSpy spy(&link, &ProbeLink::cpdmFaultChanged);
    probe.setCpdmFault(true);
    EXPECT_EQ(link.readValue(), 1); // characters 3 to 5 of "Z0001"
    EXPECT_TRUE(link.cpdmFault());
    ASSERT_EQ(spy.count(), 1);
    EXPECT_TRUE(spy[0][0].toBool());

    // While the balloon is up the fault is not shown again...
    clock.advance(5000);
    EXPECT_EQ(link.readValue(), 1);
    EXPECT_EQ(spy.count(), 1);
    // ...but it is once the balloon's 10 seconds are over.
    clock.advance(5000);
    link.readValue();
    ASSERT_EQ(spy.count(), 2);
    EXPECT_TRUE(spy[1][0].toBool());

    probe.setCpdmFault(false);
    probe.setReadingOverride(300);
    EXPECT_EQ(link.readValue(), 300);
    EXPECT_FALSE(link.cpdmFault());
    ASSERT_EQ(spy.count(), 3);
    EXPECT_FALSE(spy[2][0].toBool());
    link.readValue();
    EXPECT_EQ(spy.count(), 3);
}

TEST_F(ProbeLinkTest, RegisterReadAndWrite) {
    attach();
    probe.setRegister(0x0D, 0x2F);
    EXPECT_EQ(link.readRegister(0x0D), "2F");
    EXPECT_EQ(probe.commands().last(), "R0D00");

    probe.setUnreadableRegister(0x0D, true);
    EXPECT_EQ(link.readRegister(0x0D), "");
    // An acknowledgement or a reply without hex digits holds no value.
    probe.queueReply("Z0001");
    EXPECT_EQ(link.readRegister(0x0E), "");
    probe.queueReply("R0EZZ");
    EXPECT_EQ(link.readRegister(0x0E), "");

    probe.clearLog();
    link.writeRegister(0x0F, 5);
    link.writeRegister(0x10, 255);
    link.writeRegister(0x10, 256);
    link.writeRegister(0x10, -1);
    EXPECT_EQ(probe.commands(), (QStringList{"W0F05", "W10FF"}));
    EXPECT_EQ(probe.registerValue(0x0F), 5);
    EXPECT_EQ(probe.registerValue(0x10), 255);
}

TEST_F(ProbeLinkTest, RegisterDefaults) {
    probe.setUnreadableRegister(0x0C, true); // half of the NRM constant
    attach();
    EXPECT_EQ(link.nrmConstant(), 4060);
    EXPECT_EQ(link.hiConstant(), 4071);

    EXPECT_EQ(link.readGainTrims(), (std::array<int, 4>{30, 29, 30, 29}));
    probe.setRegister(0x0E, 33);
    probe.setUnreadableRegister(0x0D, true);
    EXPECT_EQ(link.readGainTrims(), (std::array<int, 4>{30, 33, 30, 29}));

    probe.setUnreadableRegister(0x07, true);
    EXPECT_EQ(link.readUsageCounter(), 0);
    EXPECT_FALSE(link.usageCounter().has_value());
}

TEST_F(ProbeLinkTest, UsageCounterIncrement) {
    struct Case {
        const char* name;
        int before;
        int after;
        QStringList writes;
    };
    const std::vector<Case> cases{
        {"across a byte boundary", 0x0000FF, 0x000100, {"W0600", "W0701", "W0800"}},
        {"across two", 0x00FFFF, 0x010000, {"W0601", "W0700", "W0800"}},
        {"at the top it stays", 0xFFFFFF, 0xFFFFFF, {"W06FF", "W07FF", "W08FF"}},
    };
    attach();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        probe.setUsageCounter(c.before);
        probe.clearLog();
        EXPECT_EQ(link.readUsageCounter(), c.before);
        EXPECT_EQ(link.incrementUsageCounter(), std::optional<int>(c.after));
        EXPECT_EQ(probe.commands(),
                  (QStringList{"R0600", "R0700", "R0800", "R0600", "R0700", "R0800"} + c.writes));
        EXPECT_EQ(link.readUsageCounter(), c.after);
    }
}

TEST_F(ProbeLinkTest, LostWriteFailsTheIncrement) {
    attach();
    probe.setUsageCounter(0x0000FF);
    probe.setUnwritableRegister(0x07, true);
    probe.clearLog();
    EXPECT_FALSE(link.incrementUsageCounter().has_value());
    // Three tries of the lost write, and register 08 is left alone: writing its 00 after a
    // lost 01 would reset the counter.
    EXPECT_EQ(probe.commands(),
              (QStringList{"R0600", "R0700", "R0800", "W0600", "W0701", "W0701", "W0701"}));
    EXPECT_EQ(link.readUsageCounter(), 0x0000FF);

    EXPECT_FALSE(link.writeRegister(0x07, 1));
    probe.setUnwritableRegister(0x07, false);
    EXPECT_TRUE(link.writeRegister(0x07, 1));
    // Not sent at all.
    probe.clearLog();
    EXPECT_FALSE(link.writeRegister(0x07, 256));
    EXPECT_TRUE(probe.commands().isEmpty());
}

TEST_F(ProbeLinkTest, UnreadableCounterIsNotOverwritten) {
    attach();
    probe.setUsageCounter(0x123456);
    probe.setUnreadableRegister(0x08, true);
    EXPECT_FALSE(link.incrementUsageCounter().has_value());
    for (const QString& command : probe.commands())
        EXPECT_FALSE(command.startsWith('W')) << command.toStdString();
    probe.setUnreadableRegister(0x08, false);
    EXPECT_EQ(link.readUsageCounter(), 0x123456);
}

TEST_F(ProbeLinkTest, LinkSetUp) {
    struct Case {
        const char* name;
        QString hardware;
        bool a02;
        QStringList commands;
        int nrm, hi;
    };
    const QStringList serialReads{"R0000", "R0100", "R0200", "R0300", "R0400", "R0500"};
    const QStringList constantReads{"R0B00", "R0C00", "R0900", "R0A00"};
    const std::vector<Case> cases{
        {"A02", kA02, true, serialReads + constantReads, 4052, 4071},
        {"A02 with surrounding spaces", "  " + kA02 + "   ", true, serialReads + constantReads,
         4052, 4071},
        {"another revision", "VIRO6-20051706-A01", false, serialReads, 4060, 4060},
        {"no string", "", false, serialReads, 4060, 4060},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeTickClock t(0);
        SimulatedProbe p(t);
        p.setHardwareString(c.hardware);
        p.setSerialNumber(0x00A5C3170B42ULL);
        p.setDeviceConstants(4052, 4071);
        SimulatedPort wire(t);
        wire.addProbe(p);
        ProbeLink l(wire, t);
        QSignalSpy attached(&l, &ProbeLink::attached);
        EXPECT_FALSE(l.isOnline());
        EXPECT_EQ(l.serialNumber(), "None!");
        l.deviceChange();
        EXPECT_TRUE(l.isOnline());
        EXPECT_EQ(attached.count(), 1);
        EXPECT_EQ(l.shiftTable(), viro::probe::kShiftTable);
        EXPECT_EQ(l.isA02(), c.a02);
        EXPECT_EQ(l.hardwareVersion(), c.hardware);
        EXPECT_EQ(l.serialNumber(), "00A5C3170B42");
        EXPECT_EQ(p.commands(), c.commands);
        EXPECT_EQ(l.nrmConstant(), c.nrm);
        EXPECT_EQ(l.hiConstant(), c.hi);
    }
}

TEST_F(ProbeLinkTest, CalibrationConstantsComeFromTheProbeOnlyOnA02) {
    attach();
    EXPECT_EQ(link.calibrationConstants(4000, 3900).normal, 4052);
    EXPECT_EQ(link.calibrationConstants(4000, 3900).high, 4071);

    FakeTickClock t(0);
    SimulatedProbe older(t);
    older.setHardwareString("VIRO5");
    SimulatedPort wire(t);
    wire.addProbe(older);
    ProbeLink l(wire, t);
    l.deviceChange();
    ASSERT_TRUE(l.isOnline());
    EXPECT_EQ(l.calibrationConstants(4000, 3900).normal, 4000);
    EXPECT_EQ(l.calibrationConstants(4000, 3900).high, 3900);
}

TEST_F(ProbeLinkTest, SoundEffectsSendTheirTones) {
    attach();
    link.soundEffect(6);
    link.soundEffect(13);
    link.soundEffect(0);
    link.soundEffect(14);
    EXPECT_EQ(probe.commands(), (QStringList{"S6864", "S4F62", "SC040"}));
}

TEST_F(ProbeLinkTest, NoCommandWithoutAProbe) {
    attach();
    probe.queueReply("D0ABC");
    EXPECT_EQ(link.readValue(), 2748);
    port.unplug(path);
    link.deviceChange();
    ASSERT_FALSE(link.isOnline());
    port.clearLog();
    EXPECT_FALSE(link.sendCommand("D0000"));
    EXPECT_EQ(port.writeAttempts(), 0);
    // The last reply stays, but it is no reading.
    EXPECT_EQ(link.reply(), "D0ABC");
    EXPECT_EQ(link.readValue(), 0);
}

TEST_F(ProbeLinkTest, SecondCommandFromInsideAWaitIsRefused) {
    attach();
    probe.setSilent(true);
    bool innerResult = true;
    bool busyInside = false;
    QTimer::singleShot(0, [&] {
        busyInside = link.busy();
        innerResult = link.sendCommand("F00FF");
    });
    link.sendCommand("D0000");
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(innerResult);
    EXPECT_EQ(probe.commands(), (QStringList{"D0000", "D0000", "D0000"}));
    EXPECT_FALSE(link.busy());
}

TEST_F(ProbeLinkTest, UnplugDuringACommandDropsTheLink) {
    attach();
    QSignalSpy detached(&link, &ProbeLink::detached);
    probe.setSilent(true);
    QTimer::singleShot(0, [&] { port.unplug(path); });
    const quint32 start = clock.ticks();
    EXPECT_FALSE(link.sendCommand("D0000"));
    // Released inside the first wait: no further tries.
    EXPECT_EQ(port.writtenReports().size(), 1u);
    EXPECT_LE(elapsedSince(start), 105u);
    EXPECT_FALSE(link.isOnline());
    EXPECT_EQ(detached.count(), 1);
    EXPECT_EQ(link.serialNumber(), "None!");
    EXPECT_EQ(link.shiftTable(), viro::probe::kNoShift);
    // One before the write, one by the release.
    EXPECT_EQ(port.flushCount(), 2);
}

TEST_F(ProbeLinkTest, UnplugDuringTheSetUpEndsIt) {
    QSignalSpy attached(&link, &ProbeLink::attached);
    QSignalSpy detached(&link, &ProbeLink::detached);
    probe.setSilent(true);
    QTimer::singleShot(0, [&] { port.unplug(path); });
    link.deviceChange();
    EXPECT_FALSE(link.isOnline());
    EXPECT_EQ(attached.count(), 1);
    EXPECT_EQ(detached.count(), 1);
    // The first serial register read was the only command.
    EXPECT_EQ(probe.commands(), QStringList{"R0000"});
    EXPECT_EQ(link.nrmConstant(), 4060);
}

TEST_F(ProbeLinkTest, ReplugSetsTheLinkUpAgain) {
    attach();
    QSignalSpy attached(&link, &ProbeLink::attached);
    QSignalSpy detached(&link, &ProbeLink::detached);
    port.unplug(path);
    QCoreApplication::processEvents(); // the queued device change
    EXPECT_FALSE(link.isOnline());
    port.plug(path);
    QCoreApplication::processEvents();
    EXPECT_TRUE(link.isOnline());
    EXPECT_EQ(detached.count(), 1);
    EXPECT_EQ(attached.count(), 1);
    EXPECT_EQ(link.serialNumber(), "0123456789AB");
    // A change that concerns nothing held does nothing.
    link.deviceChange();
    EXPECT_EQ(attached.count(), 1);
    EXPECT_EQ(detached.count(), 1);
}

TEST_F(ProbeLinkTest, TakesTheFirstProbeItCanOpen) {
    FakeTickClock t(0);
    SimulatedProbe busy(t), other(t), second(t), third(t);
    busy.setSerialNumber(1);
    second.setSerialNumber(2);
    third.setSerialNumber(3);
    SimulatedPort wire(t);
    const QString claimed = wire.addProbe(busy);
    wire.setClaimedElsewhere(claimed, true);
    wire.addDevice(&other, 0x1234, viro::probe::kProductId); // not a probe's IDs
    wire.addProbe(second);
    const QString later = wire.addProbe(third, false);
    ProbeLink l(wire, t);
    l.deviceChange();
    ASSERT_TRUE(l.isOnline());
    EXPECT_EQ(l.serialNumber(), "000000000002");
    EXPECT_TRUE(other.commands().isEmpty());
    // A further probe plugged in while one is held is ignored.
    wire.plug(later);
    QCoreApplication::processEvents();
    EXPECT_EQ(l.serialNumber(), "000000000002");
    EXPECT_TRUE(third.commands().isEmpty());
}

TEST_F(ProbeLinkTest, ReleaseEndsTheCpdmFault) {
    struct Case {
        const char* name;
        bool fault;
        QList<bool> changes; // cpdmFaultChanged from the unplug on
    };
    const std::vector<Case> cases{{"fault shown", true, {false}}, {"no fault", false, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        port.plug(path);
        link.deviceChange();
        ASSERT_TRUE(link.isOnline());
        probe.setCpdmFault(c.fault);
        link.readValue();
        ASSERT_EQ(link.cpdmFault(), c.fault);
        QSignalSpy spy(&link, &ProbeLink::cpdmFaultChanged);
        port.unplug(path);
        link.deviceChange();
        ASSERT_FALSE(link.isOnline());
        EXPECT_FALSE(link.cpdmFault());
        QList<bool> changes;
        for (const QList<QVariant>& args : spy)
            changes << args[0].toBool();
        EXPECT_EQ(changes, c.changes);
        probe.setCpdmFault(false);
        QCoreApplication::processEvents(); // the queued device changes
    }
}

TEST_F(ProbeLinkTest, LateReplyOfATimedOutCommandIsNotTakenForTheNext) {
    attach();
    probe.setReadingOverride(0x123);
    probe.setRegister(0x07, 0x45);
    // Every reply comes after its command has given up.
    port.setReplyDelay(350);
    EXPECT_FALSE(link.sendCommand("D0000"));
    // The three late "D0123" are due now, ahead of the register's reply 1 ms after its write;
    // taken for it they would read as "23".
    clock.advance(400);
    port.setReplyDelay(1);
    EXPECT_EQ(link.readRegister(0x07), "45");
    EXPECT_EQ(link.reply(), "R0745");
}

TEST_F(ProbeLinkTest, LateReplyIsStoredForTheNextLook) {
    attach();
    port.setReplyDelay(150);
    probe.setReadingOverride(0x123);
    const quint32 start = clock.ticks();
    // Each try gives up at 100 ms; the first reply lands inside the second try.
    EXPECT_TRUE(link.sendCommand("D0000"));
    EXPECT_EQ(link.reply(), "D0123");
    EXPECT_EQ(port.writtenReports().size(), 2u);
    EXPECT_GE(elapsedSince(start), 150u);
    EXPECT_LT(elapsedSince(start), 200u);
}

} // namespace
