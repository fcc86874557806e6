#include "records/ui/patient_editor.h"

#include "analysis/jet_date.h"
#include "core/application_state.h"
#include "core/user_prompts.h"
#include "records/patient_store.h"
#include "records/ui/window_parts.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

namespace viro {

namespace {

constexpr double kNoDate = 4000;

QLineEdit* makeField(QWidget* parent, const char* name, int limit) {
    auto* field = new QLineEdit(parent);
    field->setObjectName(QString::fromLatin1(name));
    field->setMaxLength(limit);
    return field;
}

// Shows a stored text whole even when an older file holds more than the field takes for new
// input; the store holds a changed text to the limit.
void setStored(QLineEdit* field, const QString& text, int limit) {
    field->setMaxLength(std::max<int>(limit, int(text.size())));
    field->setText(text);
}

// The short date format with the whole year: a birth date a century back must stay typeable.
QString pickerFormat() {
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

bool isEnter(QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TZeREdit::TZeREdit(PatientEditorMode mode, PatientStore& store, const ApplicationState& state,
                   ProbeControl* probe, PatientRecord row, QWidget* parent)
    : QDialog(parent), mode_(mode), store_(store), probe_(probe), patient_(std::move(row)) {
    setObjectName("TZeREdit");
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    const bool editing = mode_ == PatientEditorMode::Edit;
    setWindowTitle(editing ? QStringLiteral("Edit Patient Record")
                           : QStringLiteral("Add New Patient"));
    if (!editing) {
        patient_ = PatientRecord();
        patient_.male = state.patient.male;
    }

    number_ = makeField(this, "NumberEdit", PatientStore::kPatientNumberLimit);
    required_ = new QLabel(QStringLiteral("(Required)"), this);
    required_->setObjectName("RequiredLabel");
    required_->setText(QStringLiteral("(required)"));
    name_ = makeField(this, "NameEdit", PatientStore::kNameLimit);
    birthGiven_ = new QCheckBox(this);
    birthGiven_->setObjectName("BirthGivenBox");
    birthGiven_->setAccessibleName(QStringLiteral("Birth date given"));
    birth_ = new QDateEdit(this);
    birth_->setObjectName("BirthPicker");
    birth_->setCalendarPopup(true);
    birth_->setDisplayFormat(pickerFormat());
    birth_->setMinimumDate(QDate(1900, 1, 1));
    male_ = new QRadioButton(QStringLiteral("Male"), this);
    male_->setObjectName("MaleButton");
    female_ = new QRadioButton(QStringLiteral("Female"), this);
    female_->setObjectName("FemaleButton");
    tel_ = makeField(this, "TelEdit", PatientStore::kPhoneLimit);
    address_ = makeField(this, "AddressEdit", PatientStore::kAddressLimit);
    eMail_ = makeField(this, "EMailEdit", PatientStore::kEMailLimit);
    mobile_ = makeField(this, "MobileEdit", PatientStore::kPhoneLimit);
    fax_ = makeField(this, "FaxEdit", PatientStore::kPhoneLimit);
    memo_ = new QPlainTextEdit(this);
    memo_->setObjectName("MemoEdit");
    memo_->setTabChangesFocus(true);
    memo_->setMinimumHeight(90);

    const int wide = fontMetrics().averageCharWidth() * 52;
    address_->setMinimumWidth(wide);

    auto* fields = new QGridLayout;
    fields->setVerticalSpacing(5);
    int r = 0;
    const auto addRow = [&](const QString& caption, QWidget* field, QWidget* extra = nullptr) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(field);
        fields->addWidget(label, r, 0);
        if (extra) {
            auto* row = new QHBoxLayout;
            row->setSpacing(8);
            row->addWidget(field);
            row->addWidget(extra);
            row->addStretch(1);
            fields->addLayout(row, r, 1);
        } else {
            fields->addWidget(field, r, 1);
        }
        ++r;
    };
    number_->setMinimumWidth(fontMetrics().averageCharWidth() * 18);
    name_->setMinimumWidth(fontMetrics().averageCharWidth() * 24);
    addRow(QStringLiteral("No:"), number_, required_);
    addRow(QStringLiteral("Name:"), name_);
    addRow(QStringLiteral("D.O.B:"), birthGiven_, birth_);
    addRow(QStringLiteral("Gender "), male_, female_);
    addRow(QStringLiteral("Tel No:"), tel_);
    addRow(QStringLiteral("Address:"), address_);
    addRow(QStringLiteral("E-Mail:"), eMail_);
    addRow(QStringLiteral("Mobile Phone:"), mobile_);
    addRow(QStringLiteral("Fax No:"), fax_);
    auto* memoLabel = new QLabel(QStringLiteral("MEMO"), this);
    memoLabel->setBuddy(memo_);
    fields->addWidget(memoLabel, r, 0, Qt::AlignTop);
    fields->addWidget(memo_, r, 1);
    fields->setColumnStretch(1, 1);
    fields->setRowStretch(r, 1);

    save_ = new QPushButton(QStringLiteral("Save"), this);
    save_->setObjectName("SaveButton");
    setHint(save_, QStringLiteral("Save and exit"));
    exit_ = new QPushButton(QStringLiteral("     Exit     "), this);
    exit_->setObjectName("ExitButton");
    setHint(exit_, QStringLiteral("Abort and exit"));
    for (QPushButton* b : {save_, exit_})
        b->setMinimumHeight(30);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save_);
    buttons->addWidget(exit_);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName("StatusBar1");
    statusBar_->setSizeGripEnabled(false);
    auto* status = new QLabel(editing ? QStringLiteral("Edit patient's basic data. Please select "
                                                       "\"Save\" to confirm.")
                                      : QStringLiteral("Number and gender are required."),
                              statusBar_);
    status->setObjectName("StatusLabel");
    statusBar_->addWidget(status, 1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 10, 10, 0);
    layout->addLayout(fields, 1);
    layout->addLayout(buttons);
    layout->addWidget(statusBar_);

    for (QWidget* w :
         std::initializer_list<QWidget*>{number_, name_, birthGiven_, birth_, male_, female_, tel_,
                                         address_, eMail_, mobile_, fax_})
        w->installEventFilter(this);
    setTabOrder(number_, name_);
    setTabOrder(name_, birthGiven_);
    setTabOrder(birthGiven_, birth_);
    setTabOrder(birth_, male_);
    setTabOrder(male_, female_);
    setTabOrder(female_, tel_);
    setTabOrder(tel_, address_);
    setTabOrder(address_, eMail_);
    setTabOrder(eMail_, mobile_);
    setTabOrder(mobile_, fax_);
    setTabOrder(fax_, memo_);
    setTabOrder(memo_, save_);
    setTabOrder(save_, exit_);

    connect(number_, &QLineEdit::textChanged, this,
            [this](const QString& text) { save_->setEnabled(!text.trimmed().isEmpty()); });
    connect(birthGiven_, &QCheckBox::toggled, birth_, &QWidget::setEnabled);
    connect(save_, &QPushButton::clicked, this, &TZeREdit::save);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);

    fill();
    number_->setFocus();
}

TZeREdit::~TZeREdit() = default;

void TZeREdit::fill() {
    const PatientRecord& p = patient_;
    setStored(number_, p.custNo, PatientStore::kPatientNumberLimit);
    setStored(name_, p.name, PatientStore::kNameLimit);
    setStored(tel_, p.tel, PatientStore::kPhoneLimit);
    setStored(address_, p.addr, PatientStore::kAddressLimit);
    setStored(eMail_, p.eMail, PatientStore::kEMailLimit);
    setStored(mobile_, p.tel2, PatientStore::kPhoneLimit);
    setStored(fax_, p.tel3, PatientStore::kPhoneLimit);
    memo_->setPlainText(p.memo);
    (p.male ? male_ : female_)->setChecked(true);
    save_->setEnabled(!p.custNo.trimmed().isEmpty());
    if (p.birthDate > kNoDate) {
        birth_->setDate(jetToDate(p.birthDate));
        initialDate_ = QDate();
        setBirthGiven(true);
    } else {
        setToday(QDate::currentDate());
        setBirthGiven(false);
    }
}

void TZeREdit::setToday(const QDate& today) {
    if (birthGiven_->isChecked() && !initialDate_.isValid())
        return; // a stored birth date is on show
    birth_->setDate(today);
    initialDate_ = today;
}

void TZeREdit::setBirthGiven(bool given) {
    birthGiven_->setChecked(given);
    birth_->setEnabled(given);
}

bool TZeREdit::eventFilter(QObject* watched, QEvent* event) {
    // Enter moves to the next field rather than pressing a button; in the name field it also
    // offers the birth date, and in the untouched picker it takes the date back.
    if (isEnter(event)) {
        if (watched == name_) {
            setBirthGiven(true);
            birth_->setFocus();
            return true;
        }
        if (watched == birth_) {
            const bool untouched = initialDate_.isValid() && birth_->date() == initialDate_;
            focusNextPrevChild(true);
            if (untouched)
                setBirthGiven(false);
            return true;
        }
        focusNextPrevChild(true);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

PatientRecord TZeREdit::entered() const {
    PatientRecord p = patient_;
    p.custNo = number_->text().trimmed();
    p.name = name_->text().trimmed();
    p.male = male_->isChecked();
    p.birthDate = birthGiven_->isChecked() ? jetFromDate(birth_->date()) : 0;
    p.tel = tel_->text().trimmed();
    p.addr = address_->text().trimmed();
    p.eMail = eMail_->text().trimmed();
    p.tel2 = mobile_->text().trimmed();
    p.tel3 = fax_->text().trimmed();
    p.memo = memo_->toPlainText();
    if (mode_ != PatientEditorMode::Edit)
        p.premea = 0;
    return p;
}

void TZeREdit::save() {
    const PatientRecord p = entered();
    if (p.custNo.isEmpty())
        return;
    StoreError error;
    const bool ok = mode_ == PatientEditorMode::Edit
                        ? store_.updatePatient(patient_.custNo, p, &error)
                        : store_.addPatient(p, &error);
    if (!ok) {
        if (error.kind == StoreError::Kind::Taken) {
            playSound(probe_, 1);
            messageBox(kCautionOk, error.message);
            if (mode_ == PatientEditorMode::Edit)
                number_->setText(patient_.custNo);
        } else {
            messageBox(kImportantOk, error.message);
        }
        number_->setFocus();
        number_->selectAll();
        return;
    }
    // The patient as the store keeps him (texts trimmed and held to their limits).
    patient_ = store_.patient(p.custNo).value_or(p);
    saved_ = true;
    added_ = mode_ != PatientEditorMode::Edit;
    accept();
}

bool TZeREdit::event(QEvent* event) {
    if (showStatusTip(event, statusBar_))
        return true;
    return QDialog::event(event);
}

} // namespace viro
