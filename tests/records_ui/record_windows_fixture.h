#pragma once

#include "core/application_state.h"
#include "core/settings.h"
#include "device/probe_control.h"
#include "records/patient_store.h"
#include "records/ui/patient_editor.h"
#include "scripted_prompts.h"
#include "tests/records/records_fixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace viro::test {

// A probe that only notes the sound effects, and how many questions had been asked by then.
class SoundProbe : public ProbeControl {
public:
    struct Sound {
        int effect;
        size_t questionsBefore;
    };
    explicit SoundProbe(const ScriptedPrompts& prompts) : prompts_(prompts) {}
    bool isOnline() const override { return true; }
    void soundEffect(int effect) override { sounds.push_back({effect, prompts_.asked.size()}); }
    bool sendCommand(const QString&) override { return true; }

    std::vector<Sound> sounds;

private:
    const ScriptedPrompts& prompts_;
};

// Holds the process's file size limit for a scope: writes beyond it fail as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes) {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit limit = old_;
        limit.rlim_cur = static_cast<rlim_t>(bytes);
        active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() { lift(); }
    void lift() {
        if (!active_)
            return;
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
        active_ = false;
    }
    bool active() const { return active_; }

private:
    struct rlimit old_ {};
    void (*oldHandler_)(int) = nullptr;
    bool active_ = false;
};

constexpr double kToday = 45100.5;

// A main database with patients and measurements, the application state, the scripted answers
// and a probe for the sounds.
class RecordWindowTest : public MainDatabaseTest {
protected:
    void SetUp() override {
        MainDatabaseTest::SetUp();
        settings.rebuildDerivedTables();
    }

    PatientStore store() const { return PatientStore(db()); }

    void addPatient(const char* custNo, const char* name, bool male = true, double birth = 0,
                    const char* memo = "") {
        PatientRecord p;
        p.custNo = QString::fromUtf8(custNo);
        p.name = QString::fromUtf8(name);
        p.male = male;
        p.birthDate = birth;
        p.memo = QString::fromUtf8(memo);
        StoreError e;
        PatientStore s = store();
        ASSERT_TRUE(s.addPatient(p, &e)) << e.message.toStdString();
    }

    // A measurement as measured: value k is base + k, quality 50 + k, a trace on points 1 and 24.
    static MeasurementRecord sample(double date, double base, bool high = false) {
        MeasurementRecord m;
        for (int k = 0; k < kPointCount; ++k) {
            m.values[size_t(k)] = base + k + 1;
            m.quality[size_t(k)] = 50 + k + 1;
        }
        for (int k : {0, kPointCount - 1}) {
            m.traces[size_t(k)] = {{0, 100}, {1, 120}, {2, quint16(130 + k)}};
            m.samples[size_t(k)] = 2;
        }
        m.dateTime = date;
        m.highPotential = high;
        m.notes = {QStringLiteral("first line"), QStringLiteral("second line")};
        return m;
    }

    int addMeasurement(const char* custNo, const MeasurementRecord& m) {
        StoreError e;
        PatientStore s = store();
        const std::optional<int> key = s.saveMeasurement(QString::fromUtf8(custNo), m, &e);
        EXPECT_TRUE(key) << e.message.toStdString();
        return key.value_or(0);
    }

    int count(const QString& sql, const QVariantList& binds = {}) {
        return scalar(sql, binds).toInt();
    }
    int measurementsOf(const char* custNo) {
        return count(QStringLiteral("SELECT COUNT(*) FROM ZeData WHERE CustNo = ?"),
                     {QString::fromUtf8(custNo)});
    }
    int traceRows() { return count(QStringLiteral("SELECT COUNT(*) FROM ZeRaw")); }
    double premeaOf(const char* custNo) {
        return scalar(QStringLiteral("SELECT PREMEA FROM ZeCust WHERE CustNo = ?"),
                      {QString::fromUtf8(custNo)})
            .toDouble();
    }
    // Empties the write-ahead log into the file, so that the next write needs room of its own.
    void checkpoint() { ASSERT_TRUE(exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"))); }

    static void showAndWait(QWidget& w) {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    }
    static QPushButton* button(QWidget& w, const char* name) {
        auto* b = w.findChild<QPushButton*>(QString::fromLatin1(name));
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    static void doubleClickRow(QAbstractItemView* view, int row, int column) {
        const QRect cell = view->visualRect(view->model()->index(row, column));
        // A double-click is the second press of two on one cell.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cell.center());
    }

    // Runs `act` on the patient editor once it is up modally (opened by what the caller does
    // next); `ran` says whether it came.
    void whenEditorOpens(std::function<void(TZeREdit&)> act) {
        editorSeen = false;
        auto* poll = new QTimer(&pollOwner);
        poll->setInterval(1);
        QObject::connect(poll, &QTimer::timeout, &pollOwner, [this, poll, act] {
            auto* editor = qobject_cast<TZeREdit*>(QApplication::activeModalWidget());
            if (!editor)
                return;
            poll->stop();
            poll->deleteLater();
            editorSeen = true;
            act(*editor);
            // A test that leaves the editor open closes it, so that nothing waits forever.
            if (editor->isVisible())
                editor->reject();
        });
        poll->start();
    }
    // Fills the editor's number and name and presses Save.
    static void enterPatient(TZeREdit& editor, const QString& custNo, const QString& name) {
        editor.findChild<QLineEdit*>("NumberEdit")->setText(custNo);
        if (!name.isNull())
            editor.findChild<QLineEdit*>("NameEdit")->setText(name);
        editor.findChild<QPushButton*>("SaveButton")->click();
    }

    ScriptedPrompts prompts;
    SoundProbe probe{prompts};
    ApplicationState state;
    Settings settings;
    bool editorSeen = false;
    QObject pollOwner; // ends a wait for an editor with the test
};

} // namespace viro::test
