#include "records/ui/save_window.h"

#include "core/application_state.h"
#include "core/user_prompts.h"
#include "records/ui/patient_editor.h"
#include "records/ui/patient_list_view.h"
#include "records/ui/window_parts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

namespace viro {

namespace {

const QString kSaveQuestion = QStringLiteral("Do you want to save the measurement data to this "
                                             "patient?");

QString sexText(bool male) {
    return male ? QStringLiteral("Male") : QStringLiteral("Female");
}

QLabel* valueLabel(const char* name, QWidget* parent, int chars) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * chars);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

TZesave::TZesave(QSqlDatabase db, ApplicationState& state, ProbeControl* probe, QWidget* parent)
    : QDialog(parent), state_(state), probe_(probe), store_(db) {
    setObjectName("TZesave");
    setWindowTitle(QStringLiteral("Save Meridian Energy Values"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    list_ = new PatientListView(db, state_.patientSortColumn, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->setSpacing(6);
    layout->addWidget(buildToolBar());
    layout->addWidget(buildPatientPanel());
    layout->addWidget(list_, 1);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName("StatusBar1");
    statusBar_->setSizeGripEnabled(false);
    statusText_ = new QLabel(statusBar_);
    statusText_->setObjectName("StatusLabel");
    statusBar_->addWidget(statusText_, 1);
    layout->addWidget(statusBar_);

    connect(list_, &PatientListView::currentPatientChanged, this, &TZesave::choose);
    connect(list_, &PatientListView::patientDoubleClicked, this, &TZesave::doubleClicked);
    connect(list_, &PatientListView::countChanged, this, &TZesave::showCount);
    // The row the search leaves current is the chosen one, found or not.
    connect(list_, &PatientListView::searched, this, [this] {
        if (const std::optional<PatientRecord> current = list_->currentPatient())
            choose(*current);
    });

    setTabOrder(newPatient_, saveValue_);
    setTabOrder(saveValue_, exit_);
    setTabOrder(exit_, list_->searchBox());

    // The window fits a 1366 x 768 screen with room for the title bar and a panel.
    resize(QSize(1180, 640).boundedTo(sizeHint().expandedTo(QSize(1040, 560))));
}

TZesave::~TZesave() = default;

void TZesave::setNow(PatientListModel::NowFn now) {
    list_->setNow(std::move(now));
}

QWidget* TZesave::buildToolBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName("ToolBar1");
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    newPatient_ = addToolButton(row, bar, "ToolButton1", QStringLiteral("New patient"),
                                QStringLiteral("Add new patient record"));
    saveValue_ = addToolButton(row, bar, "ToolButton2", QStringLiteral("Save Value"),
                               QStringLiteral("Save measurement data and exit"));
    row->addStretch(1);
    exit_ = addToolButton(row, bar, "ToolButton3", QStringLiteral("Exit"),
                          QStringLiteral("Abort and exit"));
    for (QPushButton* b : {newPatient_, saveValue_, exit_})
        b->setMinimumWidth(b->sizeHint().width() + 24);
    saveValue_->setDefault(true);
    connect(newPatient_, &QPushButton::clicked, this, &TZesave::newPatient);
    connect(saveValue_, &QPushButton::clicked, this, &TZesave::save);
    connect(exit_, &QPushButton::clicked, this, &TZesave::exitClicked);
    return bar;
}

QWidget* TZesave::buildPatientPanel() {
    auto* panel = new QWidget(this);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    auto* box = new QGroupBox(QStringLiteral("Save in the record of the following patient"), panel);
    box->setObjectName("PatientPanel");
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(3);
    number_ = valueLabel("NumberLabel", box, 16);
    name_ = valueLabel("NameLabel", box, 22);
    birth_ = valueLabel("BirthLabel", box, 12);
    sex_ = valueLabel("SexLabel", box, 8);
    grid->addWidget(new QLabel(QStringLiteral("Number:"), box), 0, 0);
    grid->addWidget(number_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Name:"), box), 0, 2);
    grid->addWidget(name_, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("B.O.D:"), box), 1, 0);
    grid->addWidget(birth_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Sex:"), box), 1, 2);
    grid->addWidget(sex_, 1, 3);
    grid->setColumnStretch(3, 1);
    row->addWidget(box);
    row->addStretch(1);
    row->addWidget(new QLabel(QStringLiteral("Total Records:"), panel), 0, Qt::AlignBottom);
    total_ = new QLabel(panel);
    total_->setObjectName("TotalLabel");
    total_->setMinimumWidth(total_->fontMetrics().averageCharWidth() * 8);
    row->addWidget(total_, 0, Qt::AlignBottom);
    return panel;
}

void TZesave::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!prepared_) {
        prepared_ = true;
        prepare();
    }
}

// The list in the order of the sort key, and the current patient chosen when he is in it.
void TZesave::prepare() {
    saveValue_->setEnabled(!state_.patient.custNo.trimmed().isEmpty());
    statusText_->setText(QStringLiteral("Please select patient, or create a new record, to save "
                                        "measurement data."));
    QString error;
    if (!list_->open(&error))
        messageBox(kImportantOk, error);
    list_->grid()->setFocus();
    showCount(list_->count());
    if (list_->selectNumber(state_.patient.custNo)) {
        list_->grid()->setFocus();
        saveValue_->setEnabled(true);
        return;
    }
    list_->searchBox()->setFocus();
    saveValue_->setEnabled(false);
    selected_.reset();
    number_->clear();
    name_->clear();
    birth_->clear();
    sex_->setText(sexText(state_.patient.male));
}

void TZesave::choose(const PatientRecord& patient) {
    selected_ = patient;
    saveValue_->setEnabled(true);
    showSelected();
}

void TZesave::showSelected() {
    if (!selected_)
        return;
    number_->setText(selected_->custNo);
    name_->setText(selected_->name);
    birth_->setText(selected_->birthDate > 0 ? shortDateText(selected_->birthDate) : QString());
    sex_->setText(sexText(selected_->male));
}

void TZesave::showCount(int rows) {
    total_->setText(countText(rows));
}

bool TZesave::save() {
    if (!selected_ || selected_->custNo.trimmed().isEmpty())
        return false;
    StoreError error;
    const std::optional<int> mkey =
        store_.saveMeasurement(selected_->custNo, state_.measurement, &error);
    if (!mkey) {
        // The store wrote nothing and said why in the log; the measurement and the current
        // patient stay as they were, so the operator can try again.
        messageBox(kImportantOk, error.message);
        return false;
    }
    // The patient as stored now, with his latest measurement date.
    state_.patient = store_.patient(selected_->custNo).value_or(*selected_);
    state_.measurement.key = *mkey;
    savedKey_ = *mkey;
    emit measurementSaved(*mkey);
    accept();
    return true;
}

void TZesave::doubleClicked(const PatientRecord& patient) {
    if (!messageBox(kInfoYesNo, kSaveQuestion))
        return;
    choose(patient);
    save();
}

void TZesave::newPatient() {
    const std::optional<PatientRecord> before = list_->currentPatient();
    TZeREdit editor(PatientEditorMode::AddFromSave, store_, state_, probe_, {}, this);
    editor.exec();
    if (editor.patientAdded()) {
        saveValue_->setEnabled(true);
        QString error;
        if (!list_->refresh(&error))
            messageBox(kImportantOk, error);
        list_->selectNumber(editor.patient().custNo);
        choose(editor.patient());
        playSound(probe_, 1);
        if (messageBox(kInfoYesNo, kSaveQuestion))
            save();
        return;
    }
    if (before)
        list_->selectNumber(before->custNo);
    const bool chosen = selected_ && !selected_->custNo.trimmed().isEmpty();
    saveValue_->setEnabled(chosen);
    if (chosen)
        list_->grid()->setFocus();
    else
        list_->searchBox()->setFocus();
}

void TZesave::exitClicked() {
    selected_.reset();
    reject();
}

bool TZesave::event(QEvent* event) {
    if (showStatusTip(event, statusBar_))
        return true;
    return QDialog::event(event);
}

} // namespace viro
