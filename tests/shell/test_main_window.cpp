#include "shell/main_window.h"

#include "core/builtin_texts.h"
#include "core/version.h"
#include "device/probe_control.h"
#include "device/probe_link.h"
#include "device/simulated_port.h"
#include "device/simulated_probe.h"
#include "device/tick_clock.h"
#include "scripted_prompts.h"
#include "shell/about_box.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>

namespace {

using viro::Command;
using viro::TZeForm;

struct FakeProbe : viro::ProbeControl {
    bool online = false;
    std::vector<int> sounds;
    std::vector<QString> commands;
    bool isOnline() const override { return online; }
    void soundEffect(int effect) override { sounds.push_back(effect); }
    bool sendCommand(const QString& command) override {
        commands.push_back(command);
        return true;
    }
};

struct RecordingOpener : viro::ShellOpener {
    std::vector<std::pair<QString, QString>> opened;
    void open(const QString& program, const QString& parameter) override {
        opened.emplace_back(program, parameter);
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::unique_ptr<TZeForm> makeForm(bool startupOk = true) {
        TZeForm::Services services;
        services.probe = &probe;
        services.opener = &opener;
        services.fileExists = [this](const QString& p) { return files.count(p) > 0; };
        services.dataFolder = dir.path();
        services.startupCheck = [this, startupOk](TZeForm&) {
            ++startupChecks;
            return startupOk;
        };
        auto form = std::make_unique<TZeForm>(services);
        QString error;
        EXPECT_TRUE(form->initialise(&error)) << error.toStdString();
        return form;
    }

    // A form that has passed its first activation, as the user meets it.
    std::unique_ptr<TZeForm> startedForm() {
        auto form = makeForm();
        form->runFirstActivation();
        return form;
    }

    static QToolButton* button(TZeForm& form, const char* name) {
        return form.findChild<QToolButton*>(name);
    }
    static QAction* action(TZeForm& form, const char* name) {
        return form.findChild<QAction*>(name);
    }
    static bool toolButtonShown(TZeForm& form, QToolButton* b) {
        auto* bar = form.findChild<QToolBar*>("ToolBar1");
        for (QAction* a : bar->actions())
            if (bar->widgetForAction(a) == b)
                return a->isVisible();
        return false;
    }

    // The tool bar as the user sees it: visible items left to right, "|" for a separator.
    static QString visibleToolBar(TZeForm& form) {
        auto* bar = form.findChild<QToolBar*>("ToolBar1");
        QStringList items;
        for (QAction* a : bar->actions())
            if (a->isVisible())
                items << (a->isSeparator() ? QString("|") : bar->widgetForAction(a)->objectName());
        return items.join(' ');
    }

    QTemporaryDir dir;
    FakeProbe probe;
    RecordingOpener opener;
    std::set<QString> files;
    ScriptedPrompts prompts;
    int startupChecks = 0;
};

// Tool bar items left to right; "|" is a separator.
TEST_F(MainWindowTest, ToolBarOrderCaptionsAndHints) {
    auto form = makeForm();
    auto* bar = form->findChild<QToolBar*>("ToolBar1");
    ASSERT_NE(bar, nullptr);
    QStringList order;
    for (QAction* a : bar->actions())
        order << (a->isSeparator() ? QString("|") : bar->widgetForAction(a)->objectName());
    EXPECT_EQ(order.join(' '), "ToolButton1 ToolButton2 ToolButton3 ToolButton4 ToolButton5 "
                               "ToolButton7 | ToolButton19 ToolButton8 | ToolButton11 "
                               "ToolButton12 ToolButton13 | ToolButton14 ToolButton15 "
                               "ToolButton16 | ToolButton9");

    struct Row {
        const char* name;
        const char* caption;
        const char* hint;
    };
    const Row rows[] = {
        {"ToolButton1", "  Measure  ", "Meridians Energy Measurement"},
        {"ToolButton2", "  Compare  ", "Comparison of multiple meridian energy"},
        {"ToolButton3", "  Locate  ", "Find acupuncture points"},
        {"ToolButton4", "Reference", "Legend explanation of related data of Meridians"},
        {"ToolButton5", "Therapy Setup", "Individual therapy setup system"},
        {"ToolButton7", "DCS Calibrate", "Instrument digital calibration system"},
        {"ToolButton19", "Data Recalll", "Recall or Process data from database"},
        {"ToolButton8", "Import/Export", "Data import and export"},
        {"ToolButton11", "Fn1", nullptr},
        {"ToolButton16", "Fn6", nullptr},
        {"ToolButton9", "    Quit    ", "Exit V.I.R.O. system"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QToolButton* b = button(*form, r.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), r.caption);
        if (r.hint) {
            EXPECT_EQ(b->toolTip(), r.hint);
            EXPECT_EQ(b->statusTip(), r.hint);
        }
    }
}

TEST_F(MainWindowTest, MenuBarOrderCaptionsAndHints) {
    auto form = makeForm();
    QStringList top;
    for (QAction* a : form->menuBar()->actions())
        top << a->text();
    EXPECT_EQ(top.join(','), "Measure,Compare,Locate,Reference,Recall,System,About");

    auto* system = form->findChild<QMenu*>("System1");
    ASSERT_NE(system, nullptr);
    QStringList items;
    for (QAction* a : system->actions())
        items << (a->isSeparator() ? QString("|") : a->objectName() + ":" + a->text());
    EXPECT_EQ(items.join(','),
              "w2:Therapy setup,w1:User Setup,N1:DCS Calibrate,|,N5:Import/Export,|,t1:Quit");

    struct Row {
        const char* name;
        const char* hint;
    };
    const Row rows[] = {
        {"gq1", "Meridians Energy Measurement"},
        {"N2", "Comparison of multiple meridian energy"},
        {"Dw1", "Find acupuncture points"},
        {"g1", "Legend explanation of related data of Meridians"},
        {"Recall1", "Recall or Process data from database"},
        {"w2", "Individual therapy setup system"},
        {"w1", "User information setup"},
        {"N1", "Instrument digital calibration system"},
        {"N5", "File import and export"},
        {"t1", "Exit V.I.R.O. system"},
        {"i1", "About version information of V.I.R.O. 6"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QAction* a = action(*form, r.name);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->statusTip(), r.hint);
    }
}

TEST_F(MainWindowTest, WindowTextsComeFromTheBuiltInTextsAndSettings) {
    auto form = makeForm();
    const QString product = viro::builtin::productName();
    EXPECT_EQ(form->windowTitle(), product + " Professional, " + viro::builtin::productTitle());
    EXPECT_EQ(form->findChild<QLabel*>("VersionLabel")->text(),
              product + " Professional Version " VIRO_VERSION);
    EXPECT_EQ(form->webLinkText(), "URL: " + viro::builtin::webAddress());
    EXPECT_EQ(form->findChild<QLabel*>("StatusTitleLabel")->text(), form->settings().windowTitle);
    EXPECT_FALSE(form->settings().windowTitle.isEmpty());
}

// Hints are temporary messages; the title is a permanent part of the status bar beside them.
TEST_F(MainWindowTest, StatusBarTitleStaysWhileHintsComeAndGo) {
    auto form = startedForm();
    form->show();
    auto* title = form->findChild<QLabel*>("StatusTitleLabel");
    ASSERT_NE(title, nullptr);
    const QString text = form->settings().windowTitle;
    QStatusBar* bar = form->statusBar();
    const auto titleShown = [&] { return title->isVisible() && title->text() == text; };
    ASSERT_TRUE(titleShown());

    QToolButton* measure = button(*form, "ToolButton1");
    const QPointF inside(measure->rect().center());
    QEnterEvent enter(inside, measure->mapTo(form.get(), inside), measure->mapToGlobal(inside));
    QApplication::sendEvent(measure, &enter);
    EXPECT_EQ(bar->currentMessage(), "Meridians Energy Measurement");
    EXPECT_TRUE(titleShown());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(measure, &leave);
    EXPECT_EQ(bar->currentMessage(), "");
    EXPECT_TRUE(titleShown());

    action(*form, "N5")->showStatusText(form.get()); // a menu item under the mouse
    EXPECT_EQ(bar->currentMessage(), "File import and export");
    EXPECT_TRUE(titleShown());

    // The hint is drawn left of the title, never under it.
    const QRect titleArea = title->geometry();
    EXPECT_GT(titleArea.left(), bar->width() / 2) << "the title leaves the hints their room";

    // User setup changes the title; the same label shows the new one.
    form->setWindowFactory(Command::UserSetup, [](TZeForm& f) {
        f.settings().windowTitle = "Praxis am See";
        auto* d = new QDialog(&f);
        QTimer::singleShot(0, d, &QDialog::accept);
        return d;
    });
    form->runCommand(Command::UserSetup);
    EXPECT_EQ(title->text(), "Praxis am See");
    EXPECT_EQ(form->findChildren<QLabel*>("StatusTitleLabel").size(), 1);
}

TEST_F(MainWindowTest, MenusHiddenAndToolBarOffUntilFirstActivation) {
    auto form = makeForm();
    const char* hidden[] = {"gq1", "N2", "Dw1", "g1", "System1Action", "i1"};
    for (const char* name : hidden)
        EXPECT_FALSE(action(*form, name)->isVisible()) << name;
    EXPECT_TRUE(action(*form, "Recall1")->isVisible());
    EXPECT_FALSE(button(*form, "ToolButton19")->isEnabled());
    EXPECT_FALSE(button(*form, "ToolButton1")->isEnabled());
    EXPECT_TRUE(form->startupPending());

    form->runFirstActivation();
    EXPECT_EQ(startupChecks, 1);
    EXPECT_FALSE(form->startupPending());
    for (const char* name : hidden)
        EXPECT_TRUE(action(*form, name)->isVisible()) << name;
    for (const char* name : {"ToolButton1", "ToolButton19", "ToolButton9", "ToolButton11"})
        EXPECT_TRUE(button(*form, name)->isEnabled()) << name;

    form->runFirstActivation(); // later activations do nothing
    EXPECT_EQ(startupChecks, 1);
}

TEST_F(MainWindowTest, ActivationRunsTheStartupCheckOnce) {
    auto form = makeForm();
    form->show();
    QApplication::setActiveWindow(form.get());
    form->activateWindow();
    for (int i = 0; i < 50 && form->startupPending(); ++i)
        QApplication::processEvents();
    EXPECT_FALSE(form->startupPending());
    EXPECT_EQ(startupChecks, 1);
    EXPECT_TRUE(action(*form, "gq1")->isVisible());
}

TEST_F(MainWindowTest, FailedStartupClosesWithoutAsking) {
    probe.online = true;
    auto form = makeForm(false);
    form->show();
    form->runFirstActivation();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(prompts.asked.empty());
    EXPECT_TRUE(probe.commands.empty());
}

TEST_F(MainWindowTest, FunctionButtonsFollowSettings) {
    auto form = startedForm();
    // First start: "111000" and the default hints.
    EXPECT_TRUE(toolButtonShown(*form, button(*form, "ToolButton11")));
    EXPECT_TRUE(toolButtonShown(*form, button(*form, "ToolButton13")));
    EXPECT_FALSE(toolButtonShown(*form, button(*form, "ToolButton14")));
    EXPECT_EQ(button(*form, "ToolButton11")->toolTip(), "Tarvel Internet Web Site");

    // User setup changes them; closing it refreshes the buttons.
    form->setWindowFactory(Command::UserSetup, [](TZeForm& f) {
        f.settings().functionButtonVisibility = "010001";
        f.settings().functionHint[1] = "Notes";
        auto* d = new QDialog(&f);
        QTimer::singleShot(0, d, &QDialog::accept);
        return d;
    });
    form->runCommand(Command::UserSetup);
    const bool expected[] = {false, true, false, false, false, true};
    for (int n = 1; n <= 6; ++n) {
        const QString name = QString("ToolButton%1").arg(10 + n);
        EXPECT_EQ(toolButtonShown(*form, button(*form, name.toLatin1())), expected[n - 1])
            << name.toStdString();
    }
    EXPECT_EQ(button(*form, "ToolButton12")->toolTip(), "Notes");
    EXPECT_TRUE(visibleToolBar(*form).endsWith("| ToolButton12 | ToolButton16 | ToolButton9"))
        << visibleToolBar(*form).toStdString();
}

TEST_F(MainWindowTest, EmptyVisibilityLineHidesAllFunctionButtons) {
    {
        auto first = makeForm();
        first->settings().functionButtonVisibility.clear();
        ASSERT_TRUE(first->saveSettings());
    }
    auto form = startedForm();
    EXPECT_EQ(form->settings().functionButtonVisibility, "000000");
    for (int n = 11; n <= 16; ++n) {
        const QString name = QString("ToolButton%1").arg(n);
        EXPECT_FALSE(toolButtonShown(*form, button(*form, name.toLatin1()))) << n;
    }
    EXPECT_TRUE(visibleToolBar(*form).endsWith("ToolButton19 ToolButton8 | ToolButton9"))
        << visibleToolBar(*form).toStdString();
}

TEST_F(MainWindowTest, FunctionButtonLaunchesThroughTheLauncher) {
    auto form = startedForm();
    form->settings().functionProgram[2] = "D:\\tools\\edit.exe";
    form->settings().functionParameter[2] = "D:\\notes.txt";
    files = {"E:\\tools\\edit.exe", "G:\\notes.txt"};
    button(*form, "ToolButton13")->click();
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(opener.opened[0].first, "E:\\tools\\edit.exe");
    EXPECT_EQ(opener.opened[0].second, "G:\\notes.txt");

    // Button 1 opens the maker's web address with no program.
    button(*form, "ToolButton11")->click();
    ASSERT_EQ(opener.opened.size(), 2u);
    EXPECT_EQ(opener.opened[1].first, "");
    EXPECT_EQ(opener.opened[1].second, viro::builtin::webAddress());
}

TEST_F(MainWindowTest, ProbeCommandsNeedTheProbeOnline) {
    auto form = startedForm();
    struct Row {
        Command command;
        bool needsProbe;
    };
    const Row rows[] = {{Command::Measure, true},       {Command::Locate, true},
                        {Command::Calibrate, true},     {Command::Compare, false},
                        {Command::Reference, false},    {Command::TherapySetup, false},
                        {Command::Recall, false},       {Command::ImportExport, false},
                        {Command::UserSetup, false},    {Command::About, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(int(r.command));
        int opened = 0;
        form->setWindowFactory(r.command, [&opened](TZeForm& f) {
            ++opened;
            auto* d = new QDialog(&f);
            QTimer::singleShot(0, d, &QDialog::accept);
            return d;
        });
        prompts.asked.clear();
        probe.online = false;
        form->runCommand(r.command);
        if (r.needsProbe) {
            EXPECT_EQ(opened, 0);
            ASSERT_EQ(prompts.asked.size(), 1u);
            EXPECT_EQ(prompts.asked[0].type, 6);
            EXPECT_EQ(prompts.asked[0].text,
                      viro::builtin::productName() +
                          " is off-line! Please reconnect the device.");
        } else {
            EXPECT_EQ(opened, 1);
            EXPECT_TRUE(prompts.asked.empty());
        }
        probe.online = true;
        form->runCommand(r.command);
        EXPECT_EQ(opened, r.needsProbe ? 1 : 2);
    }
}

TEST_F(MainWindowTest, ToolBarIsOffWhileAFunctionWindowIsOpen) {
    auto form = startedForm();
    bool measureEnabledInside = true;
    bool quitEnabledInside = true;
    form->setWindowFactory(Command::Compare, [&](TZeForm& f) {
        auto* d = new QDialog(&f);
        QTimer::singleShot(0, d, [&, d, &f = f] {
            measureEnabledInside = button(f, "ToolButton1")->isEnabled();
            quitEnabledInside = button(f, "ToolButton9")->isEnabled();
            d->accept();
        });
        return d;
    });
    button(*form, "ToolButton2")->click();
    EXPECT_FALSE(measureEnabledInside);
    EXPECT_FALSE(quitEnabledInside);
    EXPECT_TRUE(button(*form, "ToolButton1")->isEnabled());
    EXPECT_TRUE(button(*form, "ToolButton9")->isEnabled());
}

TEST_F(MainWindowTest, RecallFromTheMainWindowSetsItsFlag) {
    auto form = startedForm();
    bool flagInside = false;
    form->setWindowFactory(Command::Recall, [&](TZeForm& f) {
        flagInside = f.state().recallFromMainWindow;
        auto* d = new QDialog(&f);
        QTimer::singleShot(0, d, &QDialog::accept);
        return d;
    });
    EXPECT_FALSE(form->state().recallFromMainWindow);
    button(*form, "ToolButton19")->click();
    EXPECT_TRUE(flagInside);
}

TEST_F(MainWindowTest, ClosingAsksOnlyWithTheProbeOnline) {
    struct Row {
        const char* name;
        bool online;
        bool answer;
        bool closed;
        bool asked;
    };
    const Row rows[] = {
        {"off-line closes without a question", false, false, true, false},
        {"on-line, yes sends X0000 and closes", true, true, true, true},
        {"on-line, no keeps the window open", true, false, false, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        probe = FakeProbe{};
        probe.online = r.online;
        prompts.reset();
        if (r.online)
            prompts.answer({r.answer});
        auto form = startedForm();
        QSignalSpy closing(form.get(), &TZeForm::connectionsClosing);
        form->show();
        button(*form, "ToolButton9")->click();
        EXPECT_EQ(!form->isVisible(), r.closed);
        EXPECT_EQ(closing.count(), r.closed ? 1 : 0);
        EXPECT_EQ(prompts.asked.size(), r.asked ? 1u : 0u);
        if (r.asked) {
            EXPECT_EQ(prompts.asked[0].type, 2);
            EXPECT_EQ(prompts.asked[0].text,
                      "Are you sure you want to exit " + viro::builtin::productName());
            EXPECT_EQ(probe.sounds, std::vector<int>{2});
        }
        EXPECT_EQ(probe.commands.size(), r.online && r.answer ? 1u : 0u);
        if (!probe.commands.empty()) {
            EXPECT_EQ(probe.commands[0], "X0000");
        }
        EXPECT_EQ(button(*form, "ToolButton1")->isEnabled(), !r.closed);
        EXPECT_EQ(button(*form, "ToolButton9")->isEnabled(), !r.closed);
        probe.online = false;
        form->close();
        EXPECT_FALSE(form->isVisible());
    }
}

TEST_F(MainWindowTest, FirstStartWritesTheSettingsFileAndASecondStartReadsIt) {
    {
        auto form = makeForm();
        ASSERT_TRUE(QFile::exists(form->settingsPath()));
        form->settings().functionButtonVisibility = "100001";
        ASSERT_TRUE(form->saveSettings());
    }
    QFile file(dir.filePath("zedefe6c.ini"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count('\n'), 78);
    auto again = makeForm();
    EXPECT_EQ(again->settings().functionButtonVisibility, "100001");
    EXPECT_EQ(again->settings().calibrationNormal, 4000);
    EXPECT_TRUE(prompts.asked.empty()) << "neither start is a fault";
}

// A settings file that is there but cannot be read may hold the user's settings: the window
// says so, runs on the read-back values and never saves over it, also not when closing.
TEST_F(MainWindowTest, UnreadableSettingsFileIsReportedAndNeverSavedOver) {
    const QString settingsFile = dir.filePath("zedefe6c.ini");
    struct Row {
        const char* name;
        std::function<bool()> prepare;
        std::function<bool()> untouched;
    };
    const std::vector<Row> rows{
        {"a folder in its place", [&] { return QDir().mkdir(settingsFile); },
         [&] { return QFileInfo(settingsFile).isDir(); }},
#ifdef Q_OS_LINUX
        // Reading /proc/self/mem from its start fails with an I/O error, even for root.
        {"a read error", [&] { return QFile::link("/proc/self/mem", settingsFile); },
         [&] { return QFileInfo(settingsFile).symLinkTarget() == "/proc/self/mem"; }},
#endif
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QFile::remove(settingsFile);
        QDir(settingsFile).removeRecursively();
        ASSERT_TRUE(r.prepare());
        prompts.reset();
        auto form = startedForm();
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].type, viro::kCautionOk);
        const QString& message = prompts.asked[0].text;
        EXPECT_TRUE(message.contains(settingsFile)) << message.toStdString();
        EXPECT_TRUE(message.contains("default settings")) << message.toStdString();
        EXPECT_TRUE(message.contains("will not save over the file")) << message.toStdString();

        EXPECT_EQ(form->settings().functionButtonVisibility, "000000");
        EXPECT_EQ(form->settings().calibrationNormal, 4000);
        EXPECT_FALSE(toolButtonShown(*form, button(*form, "ToolButton11")));
        EXPECT_EQ(form->findChild<QLabel*>("StatusTitleLabel")->text(),
                  viro::builtin::productTitle());

        form->settings().organisation = "Changed";
        QString error;
        EXPECT_FALSE(form->saveSettings(&error));
        EXPECT_TRUE(error.contains(settingsFile)) << error.toStdString();
        EXPECT_TRUE(r.untouched());
        form->show();
        form->close();
        form.reset();
        EXPECT_TRUE(r.untouched());
    }
}

TEST_F(MainWindowTest, AnUnwritableDataFolderFailsStartWithAMessage) {
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TZeForm::Services services;
    services.dataFolder = dir.filePath("blocker/viro");
    TZeForm form(services);
    QString error;
    EXPECT_FALSE(form.initialise(&error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(MainWindowTest, TrayFollowsTheProbe) {
    auto form = makeForm();
    QSignalSpy balloons(form.get(), &TZeForm::balloonShown);
    const QString product = viro::builtin::productName();
    EXPECT_EQ(form->trayHint(), viro::builtin::makerName() + "\r\n" + product + " is off-line !!");

    form->probeAttached(); // during start-up: no balloon
    EXPECT_EQ(form->trayHint(), viro::builtin::makerName() + "\r\n" + product + " is on-line.");
    EXPECT_EQ(balloons.count(), 0);

    form->runFirstActivation();
    form->probeDetached();
    form->probeAttached();
    ASSERT_EQ(balloons.count(), 2);
    EXPECT_EQ(balloons[0][0].toString(), product + " Information");
    EXPECT_EQ(balloons[0][1].toString(), product + " is off-line.");
    EXPECT_EQ(balloons[1][1].toString(), product + " is on-line.");
}

// A form on a real probe link to a simulated probe, time on a fake clock.
class MainWindowLinkTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        viro::configureDefaultProbe(simProbe);
        simProbe.setNoise(0);
        path = port.addProbe(simProbe);
    }

    std::unique_ptr<TZeForm> makeLinkedForm() {
        TZeForm::Services services;
        services.opener = &opener;
        services.dataFolder = dir.path();
        services.startupCheck = [](TZeForm&) { return true; };
        auto form = std::make_unique<TZeForm>(services);
        form->attachProbeLink(link);
        QString error;
        EXPECT_TRUE(form->initialise(&error)) << error.toStdString();
        return form;
    }

    static QColor trayFill(TZeForm& form) {
        return form.trayIcon()->icon().pixmap(32, 32).toImage().pixelColor(10, 12);
    }

    viro::FakeTickClock clock{0};
    viro::SimulatedProbe simProbe{clock};
    viro::SimulatedPort port{clock};
    QString path;
    viro::ProbeLink link{port, clock};
};

TEST_F(MainWindowLinkTest, ProbePluggedInAtStartIsAttachedWithoutABalloon) {
    auto form = makeLinkedForm();
    EXPECT_TRUE(form->startupPending());
    EXPECT_TRUE(link.isOnline());
    EXPECT_TRUE(form->probeOnline());
    EXPECT_TRUE(form->trayShowsOnline());
    const QString product = viro::builtin::productName();
    EXPECT_EQ(form->trayHint(), viro::builtin::makerName() + "\r\n" + product + " is on-line.");
    QSignalSpy balloons(form.get(), &TZeForm::balloonShown);
    QCoreApplication::processEvents();
    EXPECT_EQ(balloons.count(), 0);
}

TEST_F(MainWindowLinkTest, TrayImagesAndBalloonsFollowPlugging) {
    port.unplug(path);
    auto form = makeLinkedForm();
    EXPECT_FALSE(form->trayShowsOnline());
    const QColor offline = trayFill(*form);
    form->runFirstActivation();
    QSignalSpy balloons(form.get(), &TZeForm::balloonShown);
    const QString product = viro::builtin::productName();

    port.plug(path);
    QCoreApplication::processEvents();
    ASSERT_TRUE(link.isOnline());
    EXPECT_TRUE(form->trayShowsOnline());
    EXPECT_NE(trayFill(*form), offline);
    ASSERT_EQ(balloons.count(), 1);
    EXPECT_EQ(balloons[0][0].toString(), product + " Information");
    EXPECT_EQ(balloons[0][1].toString(), product + " is on-line.");

    port.unplug(path);
    QCoreApplication::processEvents();
    EXPECT_FALSE(link.isOnline());
    EXPECT_FALSE(form->trayShowsOnline());
    EXPECT_EQ(trayFill(*form), offline);
    ASSERT_EQ(balloons.count(), 2);
    EXPECT_EQ(balloons[1][1].toString(), product + " is off-line.");
    EXPECT_EQ(form->trayHint(), viro::builtin::makerName() + "\r\n" + product + " is off-line !!");
}

TEST_F(MainWindowLinkTest, UnplugDuringARun) {
    auto form = makeLinkedForm();
    form->runFirstActivation();
    QSignalSpy balloons(form.get(), &TZeForm::balloonShown);
    std::vector<int> readings;
    form->setWindowFactory(Command::Measure, [&](TZeForm& f) {
        auto* d = new QDialog(&f);
        QTimer::singleShot(0, d, [&, d] {
            simProbe.touch(100.0);
            link.sendCommand("K0001");
            readings.push_back(link.readValue());
            // The probe is pulled out while the next reading waits for its reply.
            QTimer::singleShot(0, [&] { port.unplug(path); });
            readings.push_back(link.readValue());
            readings.push_back(link.readValue());
            d->accept();
        });
        return d;
    });
    form->runCommand(Command::Measure);
    ASSERT_EQ(readings.size(), 3u);
    EXPECT_EQ(readings[0], 2026); // 100 µA at 4052 counts per 200 µA
    EXPECT_EQ(readings[1], 0);    // the reply never came
    EXPECT_EQ(readings[2], 0);    // no probe: no stale reading
    EXPECT_FALSE(form->probeOnline());
    ASSERT_EQ(balloons.count(), 1);
    EXPECT_EQ(balloons[0][1].toString(), viro::builtin::productName() + " is off-line.");
    // Measure now tells the user the probe is off-line.
    prompts.reset();
    form->runCommand(Command::Measure);
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, 6);
}

TEST_F(MainWindowLinkTest, CpdmBalloon) {
    auto form = makeLinkedForm();
    form->runFirstActivation();
    QSignalSpy balloons(form.get(), &TZeForm::balloonShown);
    QSignalSpy hidden(form.get(), &TZeForm::cpdmBalloonHidden);
    simProbe.setCpdmFault(true);
    EXPECT_EQ(link.readValue(), 1);
    ASSERT_EQ(balloons.count(), 1);
    EXPECT_EQ(balloons[0][0].toString(), viro::builtin::productName() + " Information");
    EXPECT_EQ(balloons[0][1].toString(), QString::fromUtf8("C.P.D.M. out of function\xEF\xBC\x81"
                                                           "Please check.."));
    EXPECT_EQ(hidden.count(), 0);
    simProbe.setCpdmFault(false);
    link.readValue();
    EXPECT_EQ(hidden.count(), 1);
    EXPECT_EQ(balloons.count(), 1);
}

TEST_F(MainWindowLinkTest, AboutShowsTheProbe) {
    auto form = makeLinkedForm();
    form->runFirstActivation();
    QString serial, hardware, counter;
    bool opened = false;
    // The box reads the probe while it is built, processing events: wait for it to show.
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<viro::TAboutBox*>(QApplication::activeModalWidget());
        if (!box || opened)
            return;
        poll.stop();
        opened = true;
        serial = box->serialText();
        hardware = box->hardwareText();
        counter = box->counterText();
        emit box->findChild<QLabel*>("WebLabel")->linkActivated("web");
        box->findChild<QPushButton*>("OKButton")->click();
    });
    poll.start();
    form->runCommand(Command::About);
    ASSERT_TRUE(opened);
    EXPECT_EQ(serial, "00A5C3170B42");
    EXPECT_EQ(hardware, "VIRO6-20051706-A02");
    EXPECT_TRUE(counter.contains("1") && counter.contains("234")) << counter.toStdString();
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(opener.opened[0].second, viro::builtin::webAddress());
    EXPECT_TRUE(button(*form, "ToolButton1")->isEnabled());
}

TEST_F(MainWindowLinkTest, ClosingOnLineSoundsAsksAndSendsX0000) {
    auto form = makeLinkedForm();
    form->runFirstActivation();
    form->show();
    simProbe.clearLog();
    prompts.answer({true});
    form->close();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(simProbe.commands(), (QStringList{"S885E", "S8862", "X0000"}));
    ASSERT_EQ(prompts.asked.size(), 1u);
    EXPECT_EQ(prompts.asked[0].type, 2);
}

} // namespace
