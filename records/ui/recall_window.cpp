#include "records/ui/recall_window.h"

#include "core/application_state.h"
#include "core/settings.h"
#include "core/user_prompts.h"
#include "records/ui/measurement_list_model.h"
#include "records/ui/patient_editor.h"
#include "records/ui/patient_list_view.h"
#include "records/ui/window_parts.h"

#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace viro {

const QColor TZeread::kActiveTop(255, 159, 53);
const QColor TZeread::kActiveBottom(255, 217, 172);
const QColor TZeread::kInactiveTop(213, 222, 242);
const QColor TZeread::kInactiveBottom(204, 215, 238);

namespace {

const QString kNotAvailable = QStringLiteral("This function is not available in this version.");
const QString kRecallQuestion =
    QStringLiteral("Are you sure you want to recall this measurement data") + QChar(0xFF1F);
const QString kDeletePatientQuestion = QStringLiteral(
    "Are you sure you want to delete this patient record, including all the measurements?");
const QString kDeleteMeasurementQuestion =
    QStringLiteral("Are you sure you want to delete this measurement data?");
const QColor kFixedCell(228, 232, 240);

QString headerStyle(const QColor& top, const QColor& bottom) {
    return QStringLiteral("QHeaderView::section { background: qlineargradient(x1:0, y1:0, x2:0, "
                          "y2:1, stop:0 %1, stop:1 %2); border: none; border-right: 1px solid "
                          "#9aa4b8; border-bottom: 1px solid #9aa4b8; padding: 3px 5px; }")
        .arg(top.name(), bottom.name());
}

bool isEnter(QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

TZeread::TZeread(QSqlDatabase db, ApplicationState& state, const Settings& settings,
                 ProbeControl* probe, Services services, QWidget* parent)
    : QDialog(parent), state_(state), settings_(settings), probe_(probe),
      services_(std::move(services)), store_(db) {
    setObjectName("TZeread");
    setWindowTitle(QStringLiteral("Load Patient and Measurement Record"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    patients_ = new PatientListView(db, state_.patientSortColumn, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->setSpacing(6);
    layout->addWidget(buildToolBar());
    layout->addWidget(patients_, 5);
    layout->addWidget(buildMeasurementPanel(), 4);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(buildDetailGrid(), 0, Qt::AlignTop | Qt::AlignLeft);
    bottom->addWidget(buildMemoPanel(), 1);
    layout->addLayout(bottom);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName("StatusBar1");
    statusBar_->setSizeGripEnabled(false);
    layout->addWidget(statusBar_);

    QWidget* searchButton = patients_->findChild<QToolButton*>(QStringLiteral("SpeedButton1"));
    for (QWidget* w :
         {static_cast<QWidget*>(patients_->grid()), static_cast<QWidget*>(patients_->searchBox()),
          searchButton, static_cast<QWidget*>(measurementGrid_)})
        if (w)
            w->installEventFilter(this);

    connect(patients_, &PatientListView::currentPatientChanged, this, &TZeread::patientChanged);
    connect(patients_, &PatientListView::patientDoubleClicked, this, [this] { editPatient(); });
    connect(patients_, &PatientListView::countChanged, this, [this] {
        writeStatus();
        updateButtons();
    });
    connect(measurementGrid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TZeread::measurementChanged);
    connect(measurementGrid_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) {
                if (index.isValid())
                    loadMeasurement();
            });

    setTabOrder(exit_, patients_->searchBox());
    setTabOrder(patients_->grid(), measurementGrid_);
    setTabOrder(measurementGrid_, patientMemo_);
    setTabOrder(patientMemo_, measurementMemo_);

    paintHeaders();
    updateButtons();
    // The window fits a 1366 x 768 screen with room for the title bar and a panel.
    resize(QSize(1300, 680).boundedTo(sizeHint().expandedTo(QSize(1200, 640))));
}

TZeread::~TZeread() = default;

void TZeread::setNow(PatientListModel::NowFn now) {
    patients_->setNow(std::move(now));
}

QWidget* TZeread::buildToolBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName("ToolBar1");
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    const auto add = [&](const char* name, const char* caption, const char* hint) {
        return addToolButton(row, bar, name, QString::fromLatin1(caption),
                             QString::fromLatin1(hint));
    };
    recall_ = add("ToolButton1", "Recall", "Recall energy data");
    row->addSpacing(10);
    newPatient_ = add("ToolButton13", "New Pat.", "Add new patient record");
    editPatient_ = add("ToolButton2", "Edit Pat.", "Edit Patient Record");
    deletePatient_ = add("ToolButton3", "Delete Pat.", "Delete Patient Record");
    row->addSpacing(10);
    newValue_ = add("ToolButton14", "New Value", "Manually enter new meridian energy values");
    editValue_ = add("ToolButton4", "Edit Value", "Edit measurement record");
    deleteValue_ = add("ToolButton5", "Delete Value", "Delete measurement record");
    row->addSpacing(10);
    display_ = add("ToolButton8", "Display Mode", "Display detailed Value");
    memo_ = add("ToolButton9", "MEMO", "Display Memo Field");
    row->addStretch(1);
    exit_ = add("ToolButton6", "Exit", "Exit read data menu");
    for (QPushButton* b : bar->findChildren<QPushButton*>())
        b->setMinimumWidth(b->sizeHint().width() + 12);

    connect(recall_, &QPushButton::clicked, this, [this] {
        state_.recallFromMainWindow = false;
        loadMeasurement();
    });
    connect(newPatient_, &QPushButton::clicked, this, &TZeread::newPatient);
    connect(editPatient_, &QPushButton::clicked, this, &TZeread::editPatient);
    connect(deletePatient_, &QPushButton::clicked, this, &TZeread::deletePatient);
    connect(newValue_, &QPushButton::clicked, this, [this] { manualEntry(kManualAdd); });
    connect(editValue_, &QPushButton::clicked, this, [this] { manualEntry(kManualEdit); });
    connect(deleteValue_, &QPushButton::clicked, this, &TZeread::deleteMeasurement);
    connect(display_, &QPushButton::clicked, this, &TZeread::toggleDetail);
    connect(memo_, &QPushButton::clicked, this, &TZeread::toggleMemo);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    return bar;
}

QWidget* TZeread::buildMeasurementPanel() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto* head = new QHBoxLayout;
    head->addWidget(new QLabel(QStringLiteral("Total Records:"), panel));
    status_ = new QLabel(panel);
    status_->setObjectName("StatusText");
    head->addWidget(status_);
    head->addStretch(1);
    layout->addLayout(head);

    measurementModel_ = new MeasurementListModel(this);
    measurementGrid_ = new QTableView(panel);
    measurementGrid_->setObjectName("MeasurementGrid");
    measurementGrid_->setModel(measurementModel_);
    measurementGrid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    measurementGrid_->setSelectionMode(QAbstractItemView::SingleSelection);
    measurementGrid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    measurementGrid_->setTabKeyNavigation(false);
    measurementGrid_->setWordWrap(false);
    measurementGrid_->setCornerButtonEnabled(false);
    QHeaderView* rows = measurementGrid_->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(measurementGrid_->fontMetrics().height() + 6);
    QHeaderView* header = measurementGrid_->horizontalHeader();
    header->setHighlightSections(false);
    {
        // Widths for typical contents in characters, or for the longest date and time of the
        // locale, and room for the bold headers.
        const QFontMetrics cells(measurementGrid_->font());
        QFont bold = header->font();
        bold.setBold(true);
        const QFontMetrics titles(bold);
        const QDateTime longest(QDate(2000, 12, 28), QTime(23, 59, 59));
        for (int c = 0; c < MeasurementListModel::ColumnCount; ++c) {
            int content = cells.averageCharWidth() * 5;
            if (c == MeasurementListModel::DateColumn)
                content = cells.horizontalAdvance(
                    QLocale().toString(longest.date(), QLocale::ShortFormat));
            if (c == MeasurementListModel::TimeColumn)
                content = cells.horizontalAdvance(QLocale().toString(longest.time()));
            const QString title = measurementModel_->headerData(c, Qt::Horizontal).toString();
            header->resizeSection(c, std::max(content, titles.horizontalAdvance(title)) + 14);
        }
    }
    layout->addWidget(measurementGrid_, 1);
    return panel;
}

QWidget* TZeread::buildDetailGrid() {
    detail_ = new QTableWidget(3, 13, this);
    detail_->setObjectName("DetailGrid");
    const int rowHeight = std::max(24, detail_->fontMetrics().height() + 8);
    detail_->horizontalHeader()->hide();
    detail_->verticalHeader()->hide();
    detail_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    detail_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    detail_->verticalHeader()->setDefaultSectionSize(rowHeight);
    detail_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    detail_->setSelectionMode(QAbstractItemView::NoSelection);
    detail_->setFocusPolicy(Qt::NoFocus);
    detail_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    detail_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont bold = detail_->font();
    bold.setBold(true);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 13; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            item->setFlags(Qt::ItemIsEnabled);
            if (r == 0 || c == 0) {
                item->setBackground(kFixedCell);
                item->setFont(bold);
            }
            detail_->setItem(r, c, item);
        }
    detail_->item(1, 0)->setText(QStringLiteral("Left"));
    detail_->item(2, 0)->setText(QStringLiteral("Right"));
    for (int c = 1; c <= kMeridianCount; ++c)
        detail_->item(0, c)->setText(meridian(settings_.sequence.order[size_t(c - 1)]).code);
    detail_->setFixedHeight(3 * rowHeight + 2 * detail_->frameWidth());
    detail_->hide();
    return detail_;
}

QWidget* TZeread::buildMemoPanel() {
    memoPanel_ = new QWidget(this);
    memoPanel_->setObjectName("MemoPanel");
    auto* row = new QHBoxLayout(memoPanel_);
    row->setContentsMargins(0, 0, 0, 0);
    const auto addMemo = [&](const char* name, const QString& caption) {
        auto* column = new QVBoxLayout;
        column->setSpacing(2);
        column->addWidget(new QLabel(caption, memoPanel_));
        auto* text = new QPlainTextEdit(memoPanel_);
        text->setObjectName(QString::fromLatin1(name));
        text->setReadOnly(true);
        text->setTabChangesFocus(true);
        text->setAccessibleName(caption);
        text->setFixedHeight(detail_->height());
        column->addWidget(text);
        row->addLayout(column, 1);
        return text;
    };
    patientMemo_ = addMemo("PatientMemo", QStringLiteral("Patient:"));
    measurementMemo_ = addMemo("MeasurementMemo", QStringLiteral("Measurement:"));
    // The detail grid's columns narrow while the notes share the row.
    for (int c = 0; c < 13; ++c)
        detail_->setColumnWidth(c, kDetailWidthWithMemo);
    detail_->setFixedWidth(13 * kDetailWidthWithMemo + 2 * detail_->frameWidth());
    return memoPanel_;
}

void TZeread::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!prepared_) {
        prepared_ = true;
        prepare();
    }
}

// The patient list in the order of the sort key, on the current patient (or the first whose
// number begins with his), with his measurements.
void TZeread::prepare() {
    QString error;
    if (!patients_->open(&error))
        messageBox(kImportantOk, error);
    PatientListModel* model = patients_->model();
    std::optional<int> row = model->findNumberPrefix(state_.patient.custNo.trimmed());
    if (!row && patients_->count() > 0)
        row = 0;
    if (row) {
        const QSignalBlocker quiet(patients_); // his measurements are read once, below
        patients_->selectNumber(model->numberAt(*row));
    }
    patient_ = patients_->currentPatient();
    openMeasurements();
    patients_->grid()->setFocus();
    setActive(ActiveList::Patients);
    writeStatus();
}

bool TZeread::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        setActive(watched == measurementGrid_ ? ActiveList::Measurements : ActiveList::Patients);
    if (isEnter(event)) {
        // Enter loads the chosen measurement as a double-click does; on a patient it goes on to
        // his measurements.
        if (watched == measurementGrid_) {
            loadMeasurement();
            return true;
        }
        if (watched == patients_->grid()) {
            measurementGrid_->setFocus();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TZeread::setActive(ActiveList list) {
    if (active_ != list) {
        active_ = list;
        paintHeaders();
    }
    updateButtons();
}

void TZeread::paintHeaders() {
    const bool patients = active_ == ActiveList::Patients;
    patients_->grid()->horizontalHeader()->setStyleSheet(
        patients ? headerStyle(kActiveTop, kActiveBottom)
                 : headerStyle(kInactiveTop, kInactiveBottom));
    measurementGrid_->horizontalHeader()->setStyleSheet(
        patients ? headerStyle(kInactiveTop, kInactiveBottom)
                 : headerStyle(kActiveTop, kActiveBottom));
}

void TZeread::updateButtons() {
    const bool onPatients = prepared_ && active_ == ActiveList::Patients;
    const bool onMeasurements = prepared_ && active_ == ActiveList::Measurements;
    const bool anyPatient = patients_->count() > 0;
    const bool anyMeasurement = measurementModel_->rowCount() > 0;
    recall_->setEnabled(onMeasurements && anyMeasurement);
    newPatient_->setEnabled(onPatients);
    editPatient_->setEnabled(onPatients && anyPatient);
    deletePatient_->setEnabled(onPatients && anyPatient);
    newValue_->setEnabled(onMeasurements && anyPatient);
    editValue_->setEnabled(onMeasurements && anyMeasurement);
    deleteValue_->setEnabled(onMeasurements && anyMeasurement);
}

QString TZeread::statusText() const {
    return countText(patients_->count()) + QStringLiteral("  -  [ ") +
           countText(measurementModel_->rowCount()).trimmed() + QStringLiteral(" ]");
}

void TZeread::writeStatus() {
    status_->setText(statusText());
}

void TZeread::patientChanged(const PatientRecord& patient) {
    patient_ = patient;
    openMeasurements();
    writeStatus();
}

void TZeread::openMeasurements(int selectKey) {
    if (!patient_) {
        measurementModel_->clear();
    } else {
        StoreError error;
        std::vector<MeasurementSummary> rows = store_.measurements(patient_->custNo, &error);
        if (error)
            messageBox(kImportantOk, error.message);
        measurementModel_->setRows(std::move(rows), patient_->birthDate);
    }
    const int count = measurementModel_->rowCount();
    if (count > 0) {
        const int row = std::max(0, measurementModel_->rowOfKey(selectKey));
        const QModelIndex index = measurementModel_->index(row, MeasurementListModel::DateColumn);
        measurementGrid_->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        measurementGrid_->scrollTo(index);
    }
    measurementChanged();
    updateButtons();
    writeStatus();
}

std::optional<int> TZeread::currentKey() const {
    const QModelIndex current = measurementGrid_->currentIndex();
    if (!current.isValid() || current.row() >= measurementModel_->rowCount())
        return std::nullopt;
    return measurementModel_->rowAt(current.row()).mkey;
}

void TZeread::measurementChanged() {
    if (!detail_->isHidden())
        fillDetail();
    fillMemos();
}

void TZeread::fillDetail() {
    const QModelIndex current = measurementGrid_->currentIndex();
    const bool any = current.isValid() && current.row() < measurementModel_->rowCount();
    for (int c = 1; c <= kMeridianCount; ++c) {
        const int m = settings_.sequence.order[size_t(c - 1)];
        for (int side = 1; side <= 2; ++side) {
            QString text;
            if (any) {
                const int point = side == 1 ? leftPointOf(m) : rightPointOf(m);
                const double v = measurementModel_->rowAt(current.row()).values[size_t(point - 1)];
                if (v != 0)
                    text = QString::asprintf("%3.1f", v);
            }
            detail_->item(side, c)->setText(text);
        }
    }
}

void TZeread::fillMemos() {
    patientMemo_->setPlainText(patient_ ? patient_->memo : QString());
    QString notes;
    if (const std::optional<int> key = currentKey()) {
        // A note that cannot be read is left empty; the store has logged why.
        if (const std::optional<MeasurementRecord> m = store_.measurement(*key, false))
            notes = m->notes.join(QLatin1Char('\n'));
    }
    measurementMemo_->setPlainText(notes);
}

void TZeread::reopenAt(const QString& custNo, int selectKey) {
    // The list's own refresh would make the row current before the patient is chosen; the
    // measurements are read once, for the patient finally chosen.
    const QSignalBlocker quiet(patients_);
    const int rowBefore = patients_->currentRow();
    QString error;
    const bool ok = patients_->refresh(&error);
    if (custNo.isEmpty() || !patients_->selectNumber(custNo)) {
        // The row that took the place of the one gone, else the last.
        const int count = patients_->count();
        if (count > 0)
            patients_->selectNumber(
                patients_->model()->numberAt(std::clamp(rowBefore, 0, count - 1)));
    }
    if (!ok)
        messageBox(kImportantOk, error);
    patient_ = patients_->currentPatient();
    openMeasurements(selectKey);
    writeStatus();
    updateButtons();
}

void TZeread::loadMeasurement() {
    const std::optional<int> key = currentKey();
    if (!key || !patient_)
        return;
    if (state_.recallFromMainWindow) {
        if (!messageBox(kInfoYesNo, kRecallQuestion))
            return;
        state_.recallFromMainWindow = false;
    }
    StoreError error;
    const std::optional<MeasurementRecord> m = store_.measurement(*key, true, nullptr, &error);
    if (!m) {
        messageBox(kImportantOk, error.message);
        return;
    }
    state_.patient = *patient_;
    state_.replaceMeasurement(*m);
    loadedKey_ = *key;
    accept();
}

void TZeread::deletePatient() {
    playSound(probe_, 1);
    if (active_ == ActiveList::Patients && patients_->count() > 0 && patient_) {
        patients_->grid()->setFocus();
        if (messageBox(kCautionYesNo, kDeletePatientQuestion)) {
            StoreError error;
            if (store_.deletePatient(patient_->custNo, &error))
                reopenAt(QString());
            else
                messageBox(kImportantOk, error.message);
        }
    }
    writeStatus();
}

void TZeread::deleteMeasurement() {
    playSound(probe_, 1);
    const QModelIndex current = measurementGrid_->currentIndex();
    const std::optional<int> key = currentKey();
    if (active_ == ActiveList::Measurements && key && patient_) {
        measurementGrid_->setFocus();
        if (messageBox(kCautionYesNo, kDeleteMeasurementQuestion)) {
            // The row that takes the deleted one's place, else the one before it.
            const int row = current.row();
            const int rows = measurementModel_->rowCount();
            const int next = row + 1 < rows ? measurementModel_->rowAt(row + 1).mkey
                             : row > 0      ? measurementModel_->rowAt(row - 1).mkey
                                            : 0;
            StoreError error;
            if (store_.deleteMeasurement(*key, &error))
                reopenAt(patient_->custNo, next); // the latest date in the list follows
            else
                messageBox(kImportantOk, error.message);
        }
    }
    if (!detail_->isHidden())
        fillDetail();
    writeStatus();
}

void TZeread::manualEntry(int mode) {
    if (!services_.openManualEntry) {
        messageBox(kInfoOk, kNotAvailable);
        return;
    }
    if (!patient_)
        return;
    const QString custNo = patient_->custNo.trimmed();
    const int mkey = mode == kManualEdit ? currentKey().value_or(0) : 0;
    if (mode == kManualEdit && mkey == 0)
        return;
    childOpen_ = true;
    hide();
    childOpen_ = false;
    const int saved = services_.openManualEntry(mode, custNo, mkey);
    show();
    reopenAt(custNo, saved != 0 ? saved : mkey);
    measurementGrid_->setFocus();
    setActive(ActiveList::Measurements);
}

void TZeread::editPatient() {
    if (!patient_)
        return;
    TZeREdit editor(PatientEditorMode::Edit, store_, state_, probe_, *patient_, this);
    editor.exec();
    patients_->grid()->setFocus();
    setActive(ActiveList::Patients);
    reopenAt(editor.patient().custNo);
}

void TZeread::newPatient() {
    const QString before = patient_ ? patient_->custNo : QString();
    TZeREdit editor(PatientEditorMode::AddFromRecall, store_, state_, probe_, {}, this);
    editor.exec();
    if (editor.patientAdded())
        reopenAt(editor.patient().custNo);
    else if (!before.isEmpty() && patients_->currentPatient() &&
             patients_->currentPatient()->custNo != before)
        patients_->selectNumber(before);
    patients_->grid()->setFocus();
    setActive(ActiveList::Patients);
}

void TZeread::toggleDetail() {
    detail_->setVisible(detail_->isHidden());
    if (!detail_->isHidden())
        fillDetail();
}

void TZeread::toggleMemo() {
    memoPanel_->setVisible(memoPanel_->isHidden());
    const int width = memoPanel_->isHidden() ? kDetailWidthAlone : kDetailWidthWithMemo;
    for (int c = 0; c < 13; ++c)
        detail_->setColumnWidth(c, width);
    detail_->setFixedWidth(13 * width + 2 * detail_->frameWidth());
}

void TZeread::setVisible(bool visible) {
    // Hidden while the manual entry window is up, without ending this window's exec().
    if (!visible && childOpen_) {
        QWidget::setVisible(false);
        return;
    }
    QDialog::setVisible(visible);
}

bool TZeread::event(QEvent* event) {
    if (showStatusTip(event, statusBar_))
        return true;
    return QDialog::event(event);
}

} // namespace viro
