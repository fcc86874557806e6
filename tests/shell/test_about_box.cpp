#include "shell/about_box.h"

#include "core/builtin_texts.h"
#include "core/version.h"
#include "device/probe_control.h"
#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

using viro::TAboutBox;

TEST(AboutBox, UsageCounterFormat) {
    struct Case {
        int counter;
        QLocale locale;
        const char* text;
    };
    const std::vector<Case> cases{
        {0, QLocale(QLocale::English), "[        0 ]"},
        {999, QLocale(QLocale::English), "[      999 ]"},
        {1234, QLocale(QLocale::English), "[    1,234 ]"},
        {1234567, QLocale(QLocale::English), "[ 1,234,567 ]"},
        {16777215, QLocale(QLocale::English), "[ 16,777,215 ]"},
        {1234567, QLocale(QLocale::German), "[ 1.234.567 ]"},
        {1234, QLocale::c(), "[    1,234 ]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(viro::formatUsageCounter(c.counter, c.locale), QString::fromUtf8(c.text));
    }
}

QStringList labelTexts(const TAboutBox& box) {
    QStringList texts;
    for (const QLabel* label : box.findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

TEST(AboutBox, VersionTextsAndCaption) {
    TAboutBox box(nullptr, nullptr);
    EXPECT_EQ(box.windowTitle(), "About");
    const QStringList texts = labelTexts(box);
    for (const char* expected :
         {"ZE-Professional Ver: " VIRO_VERSION " e", "For: Windows 7,Windows 10,Windows 11 ",
          "International English Version",
          "Device SerialNo:", "Hardware Version:", "Measurement Counter:"})
        EXPECT_TRUE(texts.contains(expected)) << expected;
    EXPECT_TRUE(texts.contains(viro::builtin::makerName()));
    auto* ok = box.findChild<QPushButton*>("OKButton");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), "OK");
}

TEST(AboutBox, ProbeIdentityFromTheSimulatedProbe) {
    viro::FakeTickClock clock;
    viro::SimulatedProbe probe(clock);
    probe.setHardwareString(" VIRO6-20051706-A02 ");
    probe.setSerialNumber(0x00A5C3170B42ULL);
    probe.setUsageCounter(0x01E240); // 123456
    viro::SimulatedPort port(clock);
    port.addProbe(probe);
    viro::ProbeLink link(port, clock);
    link.deviceChange();
    ASSERT_TRUE(link.isOnline());
    probe.clearLog();

    QLocale::setDefault(QLocale(QLocale::English));
    TAboutBox box(&link, nullptr);
    EXPECT_EQ(box.serialText(), "00A5C3170B42");
    EXPECT_EQ(box.hardwareText(), "VIRO6-20051706-A02");
    EXPECT_EQ(box.counterText(), "[  123,456 ]");
    // Read, not incremented.
    EXPECT_EQ(probe.commands(), (QStringList{"R0600", "R0700", "R0800"}));
    EXPECT_EQ(probe.registerValue(0x08), 0x40);
    QLocale::setDefault(QLocale::system());
}

TEST(AboutBox, WithoutAProbe) {
    struct OfflineProbe : viro::ProbeControl {
        bool isOnline() const override { return false; }
        void soundEffect(int) override {}
        bool sendCommand(const QString&) override { return false; }
    } offline;
    for (viro::ProbeControl* probe :
         {static_cast<viro::ProbeControl*>(nullptr), static_cast<viro::ProbeControl*>(&offline)}) {
        TAboutBox box(probe, nullptr);
        EXPECT_EQ(box.serialText(), "None!");
        EXPECT_EQ(box.hardwareText(), "None!");
        EXPECT_EQ(box.counterText(), "[ - ]");
    }
}

TEST(AboutBox, WebLineOpensTheMakersAddress) {
    int opened = 0;
    TAboutBox box(nullptr, [&] { ++opened; });
    auto* web = box.findChild<QLabel*>("WebLabel");
    ASSERT_NE(web, nullptr);
    EXPECT_TRUE(web->text().contains(viro::builtin::webAddress().toHtmlEscaped()));
    emit web->linkActivated("web");
    EXPECT_EQ(opened, 1);
}

TEST(AboutBox, OkFadesOutAndCloses) {
    TAboutBox box(nullptr, nullptr);
    bool visibleAfterClick = false;
    QTimer::singleShot(0, &box, [&] {
        box.findChild<QPushButton*>("OKButton")->click();
        visibleAfterClick = box.isVisible();
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(box.exec(), QDialog::Accepted);
    EXPECT_TRUE(visibleAfterClick); // still fading
    EXPECT_GE(timer.elapsed(), 400);
    EXPECT_FALSE(box.isVisible());
}

TEST(AboutBox, SecondCloseDuringTheFadeClosesOnce) {
    TAboutBox box(nullptr, nullptr);
    QSignalSpy finished(&box, &QDialog::finished);
    bool fadingAfterOk = false;
    QTimer::singleShot(0, &box, [&] {
        box.findChild<QPushButton*>("OKButton")->click();
        fadingAfterOk = box.fading();
        box.reject(); // the window's close button while it fades
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(box.exec(), QDialog::Rejected);
    EXPECT_TRUE(fadingAfterOk);
    EXPECT_LT(timer.elapsed(), TAboutBox::kFadeMs); // closed at once
    EXPECT_FALSE(box.fading());
    EXPECT_EQ(box.windowOpacity(), 1.0);

    // Shown again before the first fade would have ended: the box stays open and opaque.
    bool stillOpen = false;
    double opacity = 0;
    QTimer::singleShot(TAboutBox::kFadeMs + 200, &box, [&] {
        stillOpen = box.isVisible();
        opacity = box.windowOpacity();
        box.reject();
        box.reject();
    });
    EXPECT_EQ(box.exec(), QDialog::Rejected);
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(opacity, 1.0);
    EXPECT_EQ(finished.count(), 2);
}

} // namespace
