#include "device/simulated_probe.h"
#include "device/tick_clock.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

using viro::FakeTickClock;
using viro::SimulatedProbe;
namespace probe = viro::probe;

// One exchange as it goes over the wire: shifted command in, shifted reply out.
QString exchange(SimulatedProbe& p, const QString& command) {
    const QByteArray report = probe::buildOutputReport(command, probe::kShiftTable, 65);
    return probe::decodeReply(p.receive(report.mid(1)), probe::kShiftTable);
}

class SimulatedProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        p.setDeviceConstants(4000, 4000);
        p.setAutoContact(false);
    }
    FakeTickClock clock{0};
    SimulatedProbe p{clock};
};

TEST_F(SimulatedProbeTest, OneReplyPerCommand) {
    struct Case {
        const char* command;
        const char* reply;
    };
    const std::vector<Case> cases{
        {"X0000", "Z0001"},
        {"L0000", "Z0001"},
        {"H0000", "Z0001"},
        {"K0005", "Z0001"},
        {"I00FF", "Z0001"},
        {"F007F", "Z0001"},
        {"C00FF", "Z0001"},
        {"A007F", "Z0001"},
        {"B00FF", "Z0001"},
        {"N00FF", "Z0001"},
        {"G0021", "Z0001"},
        {"S8863", "Z0001"},
        {"R0B00", "R0B0F"},
        {"W0700", "Z0001"},
        // Malformed or unknown commands are rejected.
        {"K0006", "Z0000"},
        {"I0001", "Z0000"},
        {"Q0000", "Z0000"},
        {"D00", "Z0000"},
        {"d0000", "Z0000"},
        {"R1100", "Z0000"},
        {"R0B01", "Z0000"},
        {"W0001", "Z0000"},
        {"W0A01", "Z0000"},
        {"D0000X", "Z0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(exchange(p, c.command), c.reply);
    }
    EXPECT_EQ(p.commands().size(), qsizetype(cases.size()));
    EXPECT_EQ(p.tones(), QStringList{"S8863"});
}

TEST_F(SimulatedProbeTest, RepliesTravelShifted) {
    const QByteArray report = probe::buildOutputReport("R0B00", probe::kShiftTable, 65);
    // Register 0B holds 0F (4000 = 0x0FA0): "R0B0F" + 05 0B 03 09 07.
    EXPECT_EQ(p.receive(report.mid(1)), QByteArray("W;E9M"));
    // An unshifted command is garbage to the probe.
    EXPECT_EQ(p.receive(QByteArray("R0B00")), QByteArray("Z0000"));
}

TEST_F(SimulatedProbeTest, FaultsOnDemand) {
    p.rejectNext(2);
    EXPECT_EQ(exchange(p, "L0000"), "Z0000");
    EXPECT_EQ(exchange(p, "L0000"), "Z0000");
    EXPECT_EQ(exchange(p, "L0000"), "Z0001");
    p.setCpdmFault(true);
    EXPECT_EQ(exchange(p, "D0000"), "Z0001");
    EXPECT_EQ(exchange(p, "R0600"), "R0600");
    p.setCpdmFault(false);
    p.setUnreadableRegister(0x06, true);
    EXPECT_EQ(exchange(p, "R0600"), "Z0000");
    p.setSilent(true);
    EXPECT_TRUE(p.receive(QByteArray("anything")).isEmpty());
}

TEST_F(SimulatedProbeTest, IdentityRegisters) {
    p.setSerialNumber(0x00A5C3170B42ULL);
    p.setUsageCounter(0x0004D2);
    const int expected[] = {0x00, 0xA5, 0xC3, 0x17, 0x0B, 0x42, 0x00, 0x04, 0xD2};
    for (int reg = 0; reg < 9; ++reg)
        EXPECT_EQ(p.registerValue(reg), expected[reg]) << reg;
    p.setHardwareString("  VIRO6-20051706-A02 ");
    EXPECT_EQ(p.indexedString(3), "  VIRO6-20051706-A02 ");
    EXPECT_EQ(p.indexedString(2), "");
}

TEST_F(SimulatedProbeTest, ReadingsFollowPotentialInputAndGain) {
    struct Step {
        const char* command; // sent before the reading; null for none
        int reading;
    };
    // 100 µA, 4000 counts per 200 µA at the nominal trims: 2000 counts. High potential:
    // x 1.25. Trim t at high potential (nominal 30): x (1 + 0.0015 (t - 30)).
    const std::vector<Step> steps{
        {nullptr, 0},                                      // input not connected
        {"K0001", 2000}, {"H0000", 2500}, {"G0032", 2575}, // trim 50: 2500 x 1.03
        {"L0000", 2000}, // the normal potential keeps its own trim
        {"G0019", 1988}, // trim 25 against 29: 2000 x 0.994
        {"K0002", 2000}, // electrode channel: its own trims, nominal
        {"K0000", 0},    {"K0001", 1988}, {"X0000", 0},
    };
    p.touch(100.0);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.command ? s.command : "start");
        if (s.command) {
            ASSERT_EQ(exchange(p, s.command), "Z0001");
        }
        const QString reply = exchange(p, "D0000");
        ASSERT_EQ(reply.left(2), "D0");
        EXPECT_EQ(reply.mid(2).toInt(nullptr, 16), s.reading);
    }
    EXPECT_EQ(p.registerValue(0x0D), 0x32);
    EXPECT_EQ(p.registerValue(0x0E), 0x19);
}

TEST_F(SimulatedProbeTest, TrimGoesToTheRegisterOfRoutingAndPotential) {
    struct Case {
        const char* routing;
        const char* potential;
        int reg;
    };
    const Case cases[] = {{"N0000", "L0000", 0x0E},
                          {"N0000", "H0000", 0x0D},
                          {"N00FF", "L0000", 0x10},
                          {"N00FF", "H0000", 0x0F}};
    int value = 0x40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reg);
        exchange(p, c.routing);
        exchange(p, c.potential);
        exchange(p, "G00" + probe::hex2(value));
        EXPECT_EQ(p.registerValue(c.reg), value);
        ++value;
    }
}

TEST_F(SimulatedProbeTest, CalibrationClampPassesTwoHundredMicroamps) {
    p.setAutoContact(true);
    p.setContactCycle(0, 1000);
    exchange(p, "N0000");
    exchange(p, "K0001");
    exchange(p, "H0000");
    EXPECT_EQ(p.noiselessReading(), 4000);
    exchange(p, "L0000");
    EXPECT_EQ(p.noiselessReading(), 4000);
    exchange(p, "X0000");
    EXPECT_FALSE(p.calibrationRouting());
    EXPECT_EQ(p.noiselessReading(), 0);
}

TEST_F(SimulatedProbeTest, ContactCycleThroughThePoints) {
    std::array<double, 24> patient{};
    for (int i = 0; i < 24; ++i)
        patient[size_t(i)] = 10.0 * (i + 1);
    p.setPatient(patient);
    p.setContactCycle(1000, 2000);
    p.setAutoContact(true);
    exchange(p, "K0001"); // the cycle starts when the input is connected
    struct Moment {
        quint32 at;
        int point;
        int reading; // 10 (k + 1) µA x 20 counts per µA
    };
    const Moment moments[] = {{500, -1, 0},
                              {1000, 0, 200},
                              {2999, 0, 200},
                              {3000, -1, 0},
                              {4500, 1, 400},
                              {6000 + 1000, 2, 600},
                              {3000 * 24 + 1500, 0, 200}};
    for (const Moment& m : moments) {
        SCOPED_TRACE(m.at);
        clock.advance(m.at - clock.ticks());
        EXPECT_EQ(p.contactPoint(), m.point);
        EXPECT_EQ(p.noiselessReading(), m.reading);
    }
    p.touchPoint(5);
    EXPECT_EQ(p.noiselessReading(), 1200);
    p.lift();
    p.setAutoContact(false);
    EXPECT_EQ(p.noiselessReading(), 0);
}

TEST_F(SimulatedProbeTest, NoiseStaysWithinItsBounds) {
    p.setNoise(0.01, 3);
    exchange(p, "K0001");
    p.touch(100.0);
    std::set<int> seen;
    for (int i = 0; i < 200; ++i) {
        const int reading = exchange(p, "D0000").mid(2).toInt(nullptr, 16);
        EXPECT_GE(reading, 1980);
        EXPECT_LE(reading, 2020);
        seen.insert(reading);
    }
    EXPECT_GT(seen.size(), 10u);
}

TEST_F(SimulatedProbeTest, ReadingPatternWobblesOnlyWhileTouching) {
    exchange(p, "K0001");
    p.setReadingPattern({-20, 20, 5});
    auto read = [this] { return exchange(p, "D0000").mid(2).toInt(nullptr, 16); };
    // Off the skin the reading stays 0 and the pattern does not move on.
    EXPECT_EQ(read(), 0);
    p.touch(100.0); // 2000 counts
    std::vector<int> readings;
    for (int i = 0; i < 7; ++i)
        readings.push_back(read());
    EXPECT_EQ(readings, (std::vector<int>{1980, 2020, 2005, 1980, 2020, 2005, 1980}));
    p.setReadingPattern({});
    EXPECT_EQ(read(), 2000);
}

TEST_F(SimulatedProbeTest, CommandsAreLoggedWithTheirTicks) {
    exchange(p, "L0000");
    clock.advance(25);
    exchange(p, "D0000");
    exchange(p, "S8863");
    EXPECT_EQ(p.commands(), (QStringList{"L0000", "D0000", "S8863"}));
    EXPECT_EQ(p.commandTimes(), (std::vector<quint32>{0, 25, 25}));
    p.clearLog();
    EXPECT_TRUE(p.commandTimes().empty());
}

TEST_F(SimulatedProbeTest, DefaultProbeForTheProgram) {
    SimulatedProbe d(clock);
    viro::configureDefaultProbe(d);
    EXPECT_EQ(d.indexedString(3), "VIRO6-20051706-A02");
    EXPECT_EQ(exchange(d, "R0B00"), "R0B0F");
    EXPECT_EQ(exchange(d, "R0C00"), "R0CD4"); // 4052
    EXPECT_EQ(exchange(d, "R0800"), "R08D2"); // 1234 = 0x0004D2
    // Contact comes on its own some time after the input is connected.
    exchange(d, "K0001");
    EXPECT_EQ(d.contactPoint(), -1);
    clock.advance(2000);
    EXPECT_EQ(d.contactPoint(), 0);
    EXPECT_GT(d.noiselessReading(), 500);
}

} // namespace
