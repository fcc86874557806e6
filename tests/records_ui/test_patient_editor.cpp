#include "analysis/jet_date.h"
#include "records/ui/patient_editor.h"
#include "tests/records_ui/record_windows_fixture.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStatusBar>

namespace viro::test {
namespace {

const QDate kTodayDate(2023, 6, 21);

class PatientEditorTest : public RecordWindowTest {
protected:
    void SetUp() override {
        RecordWindowTest::SetUp();
        addPatient("ABC", "Holder", false, 26000, "old notes");
        addPatient("P01", "Carl", true, 0);
        addMeasurement("P01", sample(45000.5, 10));
        addMeasurement("P01", sample(45010.5, 12));
    }
    std::unique_ptr<TZeREdit> makeEditor(PatientEditorMode mode, const char* custNo = nullptr) {
        PatientRecord row;
        if (custNo) {
            PatientStore s = store();
            row = s.patient(QString::fromLatin1(custNo)).value();
        }
        auto editor = std::make_unique<TZeREdit>(mode, s_ ? *s_ : ownStore(), state, &probe, row);
        editor->setToday(kTodayDate);
        showAndWait(*editor);
        return editor;
    }
    PatientStore& ownStore() {
        own_ = std::make_unique<PatientStore>(db());
        return *own_;
    }
    template <typename T> static T* field(TZeREdit& e, const char* name) {
        T* w = e.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static QLineEdit* line(TZeREdit& e, const char* name) { return field<QLineEdit>(e, name); }
    static QCheckBox* birthBox(TZeREdit& e) { return field<QCheckBox>(e, "BirthGivenBox"); }
    static QDateEdit* picker(TZeREdit& e) { return field<QDateEdit>(e, "BirthPicker"); }
    static QPushButton* saveButton(TZeREdit& e) { return field<QPushButton>(e, "SaveButton"); }
    static QString status(TZeREdit& e) { return field<QLabel>(e, "StatusLabel")->text(); }

    PatientStore* s_ = nullptr; // a store over another connection, when set
    std::unique_ptr<PatientStore> own_;
};

TEST_F(PatientEditorTest, TitlesStatusTextsAndButtons) {
    struct Case {
        PatientEditorMode mode;
        const char* title;
        const char* status;
    };
    const Case cases[] = {
        {PatientEditorMode::Edit, "Edit Patient Record",
         "Edit patient's basic data. Please select \"Save\" to confirm."},
        {PatientEditorMode::AddFromRecall, "Add New Patient", "Number and gender are required."},
        {PatientEditorMode::AddFromSave, "Add New Patient", "Number and gender are required."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        auto e = makeEditor(c.mode, c.mode == PatientEditorMode::Edit ? "ABC" : nullptr);
        EXPECT_EQ(e->windowTitle(), c.title);
        EXPECT_EQ(status(*e), c.status);
        EXPECT_EQ(field<QLabel>(*e, "RequiredLabel")->text(), "(required)");
        EXPECT_EQ(saveButton(*e)->text(), "Save");
        EXPECT_EQ(saveButton(*e)->toolTip(), "Save and exit");
        QPushButton* exit = field<QPushButton>(*e, "ExitButton");
        EXPECT_EQ(exit->text(), "     Exit     ");
        EXPECT_EQ(exit->toolTip(), "Abort and exit");
        EXPECT_EQ(field<QRadioButton>(*e, "MaleButton")->text(), "Male");
        EXPECT_EQ(field<QRadioButton>(*e, "FemaleButton")->text(), "Female");
        EXPECT_TRUE(line(*e, "NumberEdit")->hasFocus());
    }
}

TEST_F(PatientEditorTest, FieldLimitsAndSaveNeedsANumber) {
    auto e = makeEditor(PatientEditorMode::AddFromRecall);
    const std::pair<const char*, int> limits[] = {
        {"NumberEdit", 15}, {"NameEdit", 20},   {"AddressEdit", 50}, {"EMailEdit", 50},
        {"TelEdit", 30},    {"MobileEdit", 30}, {"FaxEdit", 30},
    };
    for (const auto& [name, limit] : limits) {
        SCOPED_TRACE(name);
        QLineEdit* f = line(*e, name);
        EXPECT_EQ(f->maxLength(), limit);
        f->clear();
        QTest::keyClicks(f, QString(limit + 5, QLatin1Char('x')));
        EXPECT_EQ(f->text().size(), limit);
    }
    const std::pair<const char*, bool> numbers[] = {{"", false}, {"   ", false}, {" A ", true}};
    for (const auto& [number, enabled] : numbers) {
        SCOPED_TRACE(number);
        line(*e, "NumberEdit")->setText(QString::fromLatin1(number));
        EXPECT_EQ(saveButton(*e)->isEnabled(), enabled);
    }
}

TEST_F(PatientEditorTest, EditShowsTheRowAndItsBirthDate) {
    auto e = makeEditor(PatientEditorMode::Edit, "ABC");
    EXPECT_EQ(line(*e, "NumberEdit")->text(), "ABC");
    EXPECT_EQ(line(*e, "NameEdit")->text(), "Holder");
    EXPECT_TRUE(field<QRadioButton>(*e, "FemaleButton")->isChecked());
    EXPECT_EQ(field<QPlainTextEdit>(*e, "MemoEdit")->toPlainText(), "old notes");
    EXPECT_TRUE(birthBox(*e)->isChecked());
    EXPECT_TRUE(picker(*e)->isEnabled());
    EXPECT_EQ(picker(*e)->date(), jetToDate(26000));
    EXPECT_TRUE(saveButton(*e)->isEnabled());

    auto none = makeEditor(PatientEditorMode::Edit, "P01");
    EXPECT_FALSE(birthBox(*none)->isChecked());
    EXPECT_FALSE(picker(*none)->isEnabled());
    EXPECT_EQ(picker(*none)->date(), kTodayDate);
}

TEST_F(PatientEditorTest, AddTakesTheCurrentPatientsGenderAndStartsEmpty) {
    for (const bool male : {true, false}) {
        state.patient.male = male;
        state.patient.custNo = QStringLiteral("ABC");
        state.patient.name = QStringLiteral("Holder");
        auto e = makeEditor(PatientEditorMode::AddFromSave);
        EXPECT_EQ(field<QRadioButton>(*e, "MaleButton")->isChecked(), male);
        EXPECT_EQ(line(*e, "NumberEdit")->text(), "");
        EXPECT_EQ(line(*e, "NameEdit")->text(), "");
        EXPECT_FALSE(saveButton(*e)->isEnabled());
        EXPECT_FALSE(birthBox(*e)->isChecked());
        EXPECT_FALSE(picker(*e)->isEnabled());
    }
}

// The birth date is stored only while the box is ticked; Enter in the name field ticks it and
// Enter in the untouched picker takes it back.
TEST_F(PatientEditorTest, BirthDateBoxAndEnter) {
    enum Step { EnterInName, EnterInPicker, PickDate, Tick, Untick };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        double birth; // as stored
    };
    const QDate picked(1980, 5, 17);
    const double pickedJet = jetFromDate(picked);
    const std::vector<Case> cases = {
        {"left unticked", {}, 0},
        {"Enter, Enter without a change", {EnterInName, EnterInPicker}, 0},
        {"Enter, a date, Enter", {EnterInName, PickDate, EnterInPicker}, pickedJet},
        {"ticked with today", {Tick}, jetFromDate(kTodayDate)},
        {"a date, then unticked", {Tick, PickDate, Untick}, 0},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto e = makeEditor(PatientEditorMode::AddFromRecall);
        const QString number = QStringLiteral("B%1").arg(++n);
        line(*e, "NumberEdit")->setText(number);
        line(*e, "NameEdit")->setText(QStringLiteral("Born"));
        for (Step s : c.steps) {
            switch (s) {
            case EnterInName:
                line(*e, "NameEdit")->setFocus();
                QTest::keyClick(line(*e, "NameEdit"), Qt::Key_Return);
                EXPECT_TRUE(birthBox(*e)->isChecked());
                EXPECT_TRUE(picker(*e)->isEnabled());
                EXPECT_TRUE(picker(*e)->hasFocus());
                break;
            case EnterInPicker:
                QTest::keyClick(picker(*e), Qt::Key_Return);
                EXPECT_TRUE(field<QRadioButton>(*e, "MaleButton")->hasFocus()) << "Enter moves on";
                EXPECT_TRUE(e->isVisible()) << "Enter presses no button";
                break;
            case PickDate:
                picker(*e)->setDate(picked);
                break;
            case Tick:
            case Untick:
                birthBox(*e)->setChecked(s == Tick);
                EXPECT_EQ(picker(*e)->isEnabled(), s == Tick);
                break;
            }
        }
        saveButton(*e)->click();
        ASSERT_TRUE(e->patientAdded());
        PatientStore st = store();
        const std::optional<PatientRecord> stored = st.patient(number);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->birthDate, c.birth);
        EXPECT_EQ(e->patient().birthDate, c.birth);
    }
}

TEST_F(PatientEditorTest, EnterMovesThroughTheFields) {
    auto e = makeEditor(PatientEditorMode::AddFromRecall);
    const char* order[] = {"NumberEdit", "TelEdit", "AddressEdit", "EMailEdit", "MobileEdit"};
    line(*e, "NumberEdit")->setText(QStringLiteral("Q1"));
    line(*e, "NumberEdit")->setFocus();
    QTest::keyClick(line(*e, "NumberEdit"), Qt::Key_Return);
    EXPECT_TRUE(line(*e, "NameEdit")->hasFocus());
    for (size_t i = 1; i + 1 < std::size(order); ++i) {
        line(*e, order[i])->setFocus();
        QTest::keyClick(line(*e, order[i]), Qt::Key_Return);
        EXPECT_TRUE(line(*e, order[i + 1])->hasFocus()) << order[i];
    }
    EXPECT_TRUE(e->isVisible());
    PatientStore s = store();
    EXPECT_FALSE(s.patient(QStringLiteral("Q1"))) << "Enter saves nothing";
}

TEST_F(PatientEditorTest, AddWritesTrimmedFields) {
    auto e = makeEditor(PatientEditorMode::AddFromRecall);
    line(*e, "NumberEdit")->setText(QStringLiteral("  N 7 "));
    line(*e, "NameEdit")->setText(QStringLiteral(" O'Neil; 100% "));
    field<QRadioButton>(*e, "FemaleButton")->setChecked(true);
    line(*e, "TelEdit")->setText(QStringLiteral(" 01 "));
    line(*e, "AddressEdit")->setText(QStringLiteral(" Road 1 "));
    line(*e, "EMailEdit")->setText(QStringLiteral(" a@b.c "));
    line(*e, "MobileEdit")->setText(QStringLiteral(" 02 "));
    line(*e, "FaxEdit")->setText(QStringLiteral(" 03 "));
    field<QPlainTextEdit>(*e, "MemoEdit")->setPlainText(QStringLiteral("line 1\nline 2"));
    saveButton(*e)->click();
    EXPECT_FALSE(e->isVisible());
    EXPECT_TRUE(e->patientAdded());
    PatientStore s = store();
    const std::optional<PatientRecord> p = s.patient(QStringLiteral("N 7"));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->name, "O'Neil; 100%");
    EXPECT_FALSE(p->male);
    EXPECT_EQ(p->tel, "01");
    EXPECT_EQ(p->addr, "Road 1");
    EXPECT_EQ(p->eMail, "a@b.c");
    EXPECT_EQ(p->tel2, "02");
    EXPECT_EQ(p->tel3, "03");
    EXPECT_TRUE(p->memo.startsWith("line 1")) << p->memo.toStdString();
    EXPECT_EQ(p->premea, 0);
    EXPECT_EQ(e->patient().custNo, "N 7");
}

// A number another patient has, in any letter case, is refused with the notice naming him.
TEST_F(PatientEditorTest, TakenNumberIsRefusedAndTheEditorStays) {
    struct Case {
        const char* name;
        PatientEditorMode mode;
        const char* row;
        const char* typed;
        const char* shownAfter; // the number field after the notice
    };
    const Case cases[] = {
        {"add", PatientEditorMode::AddFromRecall, nullptr, "abc", "abc"},
        {"add from save", PatientEditorMode::AddFromSave, nullptr, " ABC ", " ABC "},
        {"renumber", PatientEditorMode::Edit, "P01", "aBc", "P01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.reset();
        probe.sounds.clear();
        const int patients = count(QStringLiteral("SELECT COUNT(*) FROM ZeCust"));
        auto e = makeEditor(c.mode, c.row);
        line(*e, "NumberEdit")->setText(QString::fromLatin1(c.typed));
        line(*e, "NameEdit")->setText(QStringLiteral("Someone"));
        saveButton(*e)->click();
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].type, kCautionOk);
        EXPECT_EQ(prompts.asked[0].text, PatientStore::takenNumberNotice(QStringLiteral("Holder")));
        EXPECT_TRUE(
            prompts.asked[0].text.startsWith("atient number is already taken and is named"));
        ASSERT_EQ(probe.sounds.size(), 1u);
        EXPECT_EQ(probe.sounds[0].effect, 1);
        EXPECT_EQ(probe.sounds[0].questionsBefore, 0u);
        EXPECT_TRUE(e->isVisible());
        EXPECT_FALSE(e->patientAdded());
        EXPECT_FALSE(e->saved());
        EXPECT_EQ(line(*e, "NumberEdit")->text(), c.shownAfter);
        EXPECT_TRUE(line(*e, "NumberEdit")->hasFocus());
        EXPECT_EQ(count(QStringLiteral("SELECT COUNT(*) FROM ZeCust")), patients);
        EXPECT_EQ(measurementsOf("P01"), 2);
        PatientStore s = store();
        EXPECT_EQ(s.patient(QStringLiteral("ABC"))->name, "Holder");
    }
}

TEST_F(PatientEditorTest, EditWritesTheFieldsAndRenumberingCarriesTheMeasurements) {
    auto e = makeEditor(PatientEditorMode::Edit, "P01");
    line(*e, "NumberEdit")->setText(QStringLiteral("P10"));
    line(*e, "NameEdit")->setText(QStringLiteral("Carl Renamed"));
    line(*e, "TelEdit")->setText(QStringLiteral("555"));
    saveButton(*e)->click();
    EXPECT_FALSE(e->isVisible());
    EXPECT_TRUE(e->saved());
    EXPECT_FALSE(e->patientAdded());
    EXPECT_EQ(e->patient().custNo, "P10");
    EXPECT_EQ(measurementsOf("P01"), 0);
    EXPECT_EQ(measurementsOf("P10"), 2);
    EXPECT_EQ(traceRows(), 4) << "traces follow their measurements";
    PatientStore s = store();
    EXPECT_FALSE(s.patient(QStringLiteral("P01")));
    const std::optional<PatientRecord> p = s.patient(QStringLiteral("P10"));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->name, "Carl Renamed");
    EXPECT_EQ(p->tel, "555");
    EXPECT_EQ(p->premea, 45010.5) << "the latest date stays";
}

TEST_F(PatientEditorTest, ExitAndEscapeWriteNothing) {
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Escape" : "Exit");
        auto e = makeEditor(PatientEditorMode::Edit, "ABC");
        line(*e, "NameEdit")->setText(QStringLiteral("Changed"));
        if (escape)
            QTest::keyClick(line(*e, "NameEdit"), Qt::Key_Escape);
        else
            field<QPushButton>(*e, "ExitButton")->click();
        EXPECT_FALSE(e->isVisible());
        EXPECT_FALSE(e->saved());
        EXPECT_FALSE(e->patientAdded());
        PatientStore s = store();
        EXPECT_EQ(s.patient(QStringLiteral("ABC"))->name, "Holder");
    }
}

TEST_F(PatientEditorTest, StoreFailureIsShownAndTheEditorStays) {
    Connection readOnly(ConnectionRole::ReferenceTexts);
    QString error;
    ASSERT_TRUE(readOnly.open(path_, &error)) << error.toStdString();
    PatientStore roStore(readOnly.database());
    s_ = &roStore;
    const char* rows[] = {nullptr, "ABC"};
    for (const char* row : rows) {
        SCOPED_TRACE(row ? "edit" : "add");
        prompts.reset();
        auto e = makeEditor(row ? PatientEditorMode::Edit : PatientEditorMode::AddFromRecall, row);
        line(*e, "NumberEdit")->setText(QStringLiteral("NEW"));
        saveButton(*e)->click();
        ASSERT_EQ(prompts.asked.size(), 1u);
        EXPECT_EQ(prompts.asked[0].type, kImportantOk);
        EXPECT_TRUE(prompts.asked[0].text.contains("read-only"))
            << prompts.asked[0].text.toStdString();
        EXPECT_TRUE(e->isVisible());
        EXPECT_FALSE(e->saved());
        EXPECT_TRUE(probe.sounds.empty());
    }
    s_ = nullptr;
    PatientStore s = store();
    EXPECT_FALSE(s.patient(QStringLiteral("NEW")));
    EXPECT_TRUE(s.patient(QStringLiteral("ABC")));
}

} // namespace
} // namespace viro::test
