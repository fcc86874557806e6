#include "measure/manual_entry_window.h"

#include "analysis/jet_date.h"
#include "core/application_state.h"
#include "core/settings.h"
#include "core/user_prompts.h"
#include "measure/log.h"
#include "measure/measurement_window.h"
#include "records/patient_store.h"
#include "records/schema.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <QValidator>

#include <algorithm>

namespace viro {

const QColor TZemnu::kWrongCellBackground(255, 205, 205);

namespace {

const QColor kFixedCell(228, 232, 240);
const QColor kWrongCellText(200, 0, 0);
constexpr int kRowHeight = 28;

const QString kClearQuestion =
    QStringLiteral("Are you sure you want to clear this meridian energy data?");

void setHint(QWidget* w, const QString& hint) {
    w->setToolTip(hint);
    w->setStatusTip(hint);
}

// Typing and pasting alike: only the characters of a number reach a cell.
class EntryValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        const std::optional<QString> text = entryText(input);
        if (!text)
            return Invalid;
        input = *text;
        return Acceptable;
    }
};

// The long time of the locale without its time zone, as a clock on the wall shows it.
QString longTimeFormat() {
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b")));
    return format.trimmed();
}

} // namespace

// The value grid: Enter moves along the cells, Tab leaves the grid, and only the characters of
// a number start or reach an edit. Every text an edit leaves is handed to the window through
// cellChanged.
class EntryGrid : public QTableWidget {
public:
    EntryGrid(QWidget* parent)
        : QTableWidget(MeasurementGrid::kRows, MeasurementGrid::kColumns, parent) {
        setItemDelegate(new Delegate(this));
    }

    // Ends an edit in progress, keeping what was typed.
    void commitOpenEditor() {
        if (QWidget* editor = indexWidget(currentIndex()); editor && state() == EditingState) {
            commitData(editor);
            closeEditor(editor, QAbstractItemDelegate::NoHint);
        }
    }

    void moveOnEnter() {
        const EntryGridCell next = cellAfterEnter({currentRow(), currentColumn()});
        setCurrentCell(next.row, next.column);
    }

    void tabOut(bool forward) { focusNextPrevChild(forward); }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool valueCell = MeasurementGrid::positionAt(currentRow(), currentColumn()) > 0;
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (valueCell)
                moveOnEnter();
            event->accept();
            return;
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            if (valueCell)
                currentItem()->setText(QString());
            event->accept();
            return;
        default:
            QTableWidget::keyPressEvent(event);
        }
    }

    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override {
        if (trigger == AnyKeyPressed && event && event->type() == QEvent::KeyPress) {
            const QString text = static_cast<QKeyEvent*>(event)->text();
            if (text.isEmpty() || !entryText(text))
                return false;
        }
        return QTableWidget::edit(index, trigger, event);
    }

private:
    class Delegate : public QStyledItemDelegate {
    public:
        explicit Delegate(EntryGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

        QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override {
            QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
            if (auto* line = qobject_cast<QLineEdit*>(editor)) {
                line->setObjectName("CellEditor");
                line->setValidator(new EntryValidator(line));
                line->setAlignment(Qt::AlignCenter);
                line->setMaxLength(12);
            }
            return editor;
        }

    protected:
        bool eventFilter(QObject* object, QEvent* event) override {
            auto* editor = qobject_cast<QWidget*>(object);
            if (editor && event->type() == QEvent::KeyPress) {
                const int key = static_cast<QKeyEvent*>(event)->key();
                const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
                const bool tab = key == Qt::Key_Tab || key == Qt::Key_Backtab;
                if (enter || tab) {
                    emit commitData(editor);
                    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
                    if (enter)
                        grid_->moveOnEnter();
                    else
                        grid_->tabOut(key == Qt::Key_Tab);
                    return true;
                }
            }
            return QStyledItemDelegate::eventFilter(object, event);
        }

    private:
        EntryGrid* grid_;
    };
};

TZemnu::TZemnu(ManualEntryMode mode, ApplicationState& state, const Settings& settings,
               PatientStore* store, int mkey, QString custNo, QWidget* parent)
    : QDialog(parent), mode_(mode), state_(state), settings_(settings), store_(store), mkey_(mkey),
      custNo_(std::move(custNo)), sheet_(settings.sequence) {
    setObjectName("TZemnu");
    const ManualEntryTexts texts = manualEntryTexts(mode_);
    setWindowTitle(texts.caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 0);
    layout->setSpacing(8);
    layout->addWidget(buildToolBar());

    title_ = new QLabel(texts.title, this);
    title_->setObjectName("TitleLabel");
    QFont titleFont = title_->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    title_->setFont(titleFont);
    layout->addWidget(title_);

    buildGrid();
    layout->addWidget(grid_);
    layout->addWidget(buildDatePanel());

    auto* notesBox = new QGroupBox(QStringLiteral("Patient symptoms and notes"), this);
    notesBox->setObjectName("NotesPanel");
    auto* notesLayout = new QVBoxLayout(notesBox);
    notes_ = new QPlainTextEdit(notesBox);
    notes_->setObjectName("Memo1");
    notes_->setTabChangesFocus(true);
    notes_->setAccessibleName(QStringLiteral("Patient symptoms and notes"));
    notesLayout->addWidget(notes_);
    layout->addWidget(notesBox, 1);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName("StatusBar1");
    statusBar_->setSizeGripEnabled(false);
    status_ = new QLabel(statusBar_);
    status_->setObjectName("StatusLabel");
    status_->setWordWrap(true);
    statusBar_->addWidget(status_, 1);
    layout->addWidget(statusBar_);

    setTabOrders();
    showStatus();
    // Fits a 1366 x 768 screen with room for the title bar and a panel.
    resize(QSize(960, 480).boundedTo(sizeHint().expandedTo(QSize(900, 440))));
}

TZemnu::~TZemnu() = default;

QWidget* TZemnu::buildToolBar() {
    auto* bar = new QWidget(this);
    bar->setObjectName("ToolBar1");
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    const auto add = [&](const char* name, const QString& text, const QString& hint) {
        auto* button = new QPushButton(text, bar);
        button->setObjectName(name);
        setHint(button, hint);
        button->setMinimumHeight(30);
        button->setAutoDefault(false);
        return button;
    };
    save_ = add("ToolButton1", QStringLiteral("    Save    "),
                QStringLiteral("Save entered values and exit"));
    clear_ = add("ToolButton2", QStringLiteral("Clear"), QStringLiteral("Clear table values"));
    exit_ = add("ToolButton3", QStringLiteral("    Exit    "),
                QStringLiteral("Abort and exit this menu"));
    // Enter outside the grid and the notes saves, as the OK of a dialog does.
    save_->setDefault(true);
    row->addWidget(save_);
    row->addWidget(clear_);
    row->addStretch(1);
    row->addWidget(exit_);
    connect(save_, &QPushButton::clicked, this, &TZemnu::saveClicked);
    connect(clear_, &QPushButton::clicked, this, &TZemnu::clearClicked);
    connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
    return bar;
}

QWidget* TZemnu::buildDatePanel() {
    auto* panel = new QWidget(this);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);

    dated_ = new QCheckBox(QStringLiteral("Measurement Date:"), panel);
    dated_->setObjectName("CheckBox1");
    date_ = new QDateEdit(panel);
    date_->setObjectName("DateTimePicker1");
    date_->setCalendarPopup(true);
    date_->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    // Days up to 4000 count as no date: the picker offers only real ones.
    date_->setDateRange(jetToDate(kNoDateLimit + 1), QDate(9999, 12, 31));
    date_->setAccessibleName(QStringLiteral("Measurement Date:"));
    auto* timeCaption = new QLabel(QStringLiteral("Measurement Time:"), panel);
    time_ = new QTimeEdit(panel);
    time_->setObjectName("DateTimePicker2");
    time_->setDisplayFormat(longTimeFormat());
    timeCaption->setBuddy(time_);
    connect(dated_, &QCheckBox::toggled, this, &TZemnu::setDated);

    potential_ = new QPushButton(QStringLiteral("Potential  "), panel);
    potential_->setObjectName("RzMenuButton1");
    potential_->setAutoDefault(false);
    setHint(potential_, QStringLiteral(" Measuring potential  "));
    auto* menu = new QMenu(potential_);
    menu->setObjectName("RzMenuButton1Menu");
    auto* group = new QActionGroup(menu);
    const QString choices[] = {QStringLiteral("NRM"), QStringLiteral("HI")};
    for (int i = 0; i < 2; ++i) {
        QAction* action = menu->addAction(choices[i]);
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, i] {
            highPotential_ = i == 1;
            showPotential();
        });
    }
    potential_->setMenu(menu);
    potentialShown_ = new QLabel(panel);
    potentialShown_->setObjectName("PotentialLabel");
    QFont bold = potentialShown_->font();
    bold.setBold(true);
    potentialShown_->setFont(bold);
    potentialShown_->setMinimumWidth(potentialShown_->fontMetrics().horizontalAdvance("NRM") + 8);

    row->addWidget(dated_);
    row->addWidget(date_);
    row->addSpacing(12);
    row->addWidget(timeCaption);
    row->addWidget(time_);
    row->addStretch(1);
    row->addWidget(potential_);
    row->addWidget(potentialShown_);
    return panel;
}

void TZemnu::buildGrid() {
    grid_ = new EntryGrid(this);
    grid_->setObjectName("AdvStringGrid1");
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid_->horizontalHeader()->setMinimumSectionSize(
        grid_->fontMetrics().horizontalAdvance(QStringLiteral("200.0")) + 16);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    grid_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                           QAbstractItemView::EditKeyPressed);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setTabKeyNavigation(false);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setFixedHeight(MeasurementGrid::kRows * kRowHeight + 2 * grid_->frameWidth());
    QFont headingFont = grid_->font();
    headingFont.setBold(true);
    for (int r = 0; r < MeasurementGrid::kRows; ++r)
        for (int c = 0; c < MeasurementGrid::kColumns; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            if (MeasurementGrid::positionAt(r, c) == 0) {
                // Headings are never current: the cursor keys and Enter pass them by.
                item->setFlags(Qt::NoItemFlags);
                item->setBackground(kFixedCell);
                item->setForeground(QColor(Qt::black));
                item->setFont(headingFont);
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable);
            }
            grid_->setItem(r, c, item);
        }
    grid_->item(1, 0)->setText(QStringLiteral("Left"));
    grid_->item(2, 0)->setText(QStringLiteral("Right"));
    for (int c = 1; c <= 12; ++c)
        grid_->item(0, c)->setText(meridian(settings_.sequence.order[size_t(c - 1)]).code);
    grid_->setCurrentCell(1, 1);
    connect(grid_, &QTableWidget::cellChanged, this, &TZemnu::cellLeft);
}

void TZemnu::setTabOrders() {
    QWidget* order[] = {grid_, dated_, date_, time_, potential_, notes_, save_, clear_, exit_};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TZemnu::setNow(NowFn now) {
    now_ = std::move(now);
}

double TZemnu::now() const {
    return now_ ? now_() : jetFromDateTime(QDateTime::currentDateTime());
}

void TZemnu::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Filled once: showing the window again must not undo what was typed.
    if (event->spontaneous() || opened_)
        return;
    opened_ = true;
    QString error;
    if (!load(&error)) {
        qCWarning(lcMeasure).noquote() << "Manual entry not opened:" << error;
        messageBox(kImportantOk, error);
        // Closed once the showing is over, so an exec() that opened it returns.
        QTimer::singleShot(0, this, &QDialog::reject);
        return;
    }
    showEntry();
}

bool TZemnu::load(QString* error) {
    MeasurementRecord m;
    switch (mode_) {
    case ManualEntryMode::ModifyStored: {
        if (!store_) {
            *error = QStringLiteral("The patient database is not open.");
            return false;
        }
        StoreError why;
        const std::optional<MeasurementRecord> stored =
            store_->measurement(mkey_, false, nullptr, &why);
        if (!stored) {
            *error = why ? why.message
                         : QStringLiteral("The measurement %1 is not in the database.").arg(mkey_);
            return false;
        }
        m = *stored;
        break;
    }
    case ManualEntryMode::AddStored:
        if (!store_) {
            *error = QStringLiteral("The patient database is not open.");
            return false;
        }
        break;
    case ManualEntryMode::EditCurrent:
        m = state_.measurement;
        break;
    }
    sheet_.load(m.values);
    loadedDate_ = m.dateTime;
    highPotential_ = m.highPotential;
    notes_->setPlainText(m.notes.join(u'\n'));
    return true;
}

void TZemnu::showEntry() {
    for (int p = 1; p <= kPointCount; ++p)
        showCell(p);
    const EntryDate date = initialEntryDate(mode_, loadedDate_, now());
    dated_->setChecked(date.dated);
    setDated(date.dated);
    setPickers(date.shown);
    showPotential();
    clear_->setEnabled(sheet_.anyValue());
    showStatus();
    grid_->setCurrentCell(1, 1);
    grid_->setFocus();
}

void TZemnu::showCell(int position) {
    const EntryCell& c = sheet_.cell(position);
    const MeasurementGrid::Cell at = MeasurementGrid::cellOf(position);
    QTableWidgetItem* item = grid_->item(at.row, at.column);
    const bool wrong = c.state == EntryCell::State::NotANumber;
    filling_ = true;
    item->setText(c.text);
    item->setBackground(wrong ? QBrush(kWrongCellBackground) : QBrush());
    item->setForeground(wrong ? kWrongCellText : QColor(Qt::black));
    item->setToolTip(wrong ? notANumberMessage(entryCellName(sheet_.sequence(), position), c.text)
                           : QString());
    filling_ = false;
}

void TZemnu::cellLeft(int row, int column) {
    const int position = MeasurementGrid::positionAt(row, column);
    if (filling_ || position == 0)
        return;
    const EntryCell& c = sheet_.leave(position, grid_->item(row, column)->text());
    showCell(position);
    if (c.state == EntryCell::State::Value)
        clear_->setEnabled(true);
    showStatus(c.state == EntryCell::State::NotANumber ? position : 0);
}

void TZemnu::showStatus(int wrongPosition) {
    const std::optional<int> first = sheet_.firstWrong();
    const int wrong = wrongPosition > 0 ? wrongPosition : first.value_or(0);
    if (wrong > 0) {
        status_->setText(
            notANumberMessage(entryCellName(sheet_.sequence(), wrong), sheet_.cell(wrong).text));
        status_->setStyleSheet(QStringLiteral("QLabel { color: rgb(200, 0, 0); }"));
    } else {
        status_->setText(manualEntryTexts(mode_).status);
        status_->setStyleSheet(QString());
    }
}

void TZemnu::showPotential() {
    const QList<QAction*> actions = potential_->menu()->actions();
    actions[highPotential_ ? 1 : 0]->setChecked(true);
    potentialShown_->setText(actions[highPotential_ ? 1 : 0]->text());
}

void TZemnu::setDated(bool dated) {
    date_->setEnabled(dated);
    time_->setEnabled(dated);
}

void TZemnu::setPickers(double jet) {
    // The time picker shows whole seconds, and holds no more than it shows.
    const QDateTime at = jetToDateTime(jet);
    date_->setDate(at.date());
    time_->setTime(QTime(at.time().hour(), at.time().minute(), at.time().second()));
}

MeasurementRecord TZemnu::entered() const {
    MeasurementRecord m;
    m.values = sheet_.values();
    m.dateTime = enteredDate(dated_->isChecked(), date_->date(), time_->time());
    m.highPotential = highPotential_;
    m.notes = splitNoteLines(notes_->toPlainText());
    return m;
}

void TZemnu::saveClicked() {
    grid_->commitOpenEditor();
    if (const std::optional<int> wrong = sheet_.firstWrong()) {
        showStatus(*wrong);
        const MeasurementGrid::Cell at = MeasurementGrid::cellOf(*wrong);
        grid_->setCurrentCell(at.row, at.column);
        grid_->setFocus();
        return;
    }
    if (!store(entered()))
        return;
    state_.analysisPage = 0;
    state_.resetChartSelections();
    accept();
}

bool TZemnu::store(const MeasurementRecord& m) {
    StoreError error;
    switch (mode_) {
    case ManualEntryMode::ModifyStored:
        if (store_ && store_->updateMeasurementValues(mkey_, m, &error)) {
            savedKey_ = mkey_;
            return true;
        }
        break;
    case ManualEntryMode::AddStored:
        if (store_) {
            if (const std::optional<int> key = store_->addManualMeasurement(custNo_, m, &error)) {
                savedKey_ = *key;
                return true;
            }
        }
        break;
    case ManualEntryMode::EditCurrent: {
        MeasurementRecord& current = state_.measurement;
        for (int point = 1; point <= kPointCount; ++point) {
            if (!sheet_.changed(point))
                continue;
            // A value typed over a measured one: what the run saw of the point no longer
            // belongs to it.
            const size_t i = size_t(point - 1);
            current.values[i] = m.values[i];
            current.compensated[i] =
                m.values[i] * settings_.factors[size_t(meridianOfPoint(point) - 1)];
            current.traces[i].clear();
            current.samples[i] = 0;
        }
        current.highPotential = m.highPotential;
        current.dateTime = m.dateTime;
        current.notes = m.notes;
        state_.measurementHoldsData = std::any_of(current.values.begin(), current.values.end(),
                                                  [](double v) { return v != 0; });
        savedKey_ = current.key;
        return true;
    }
    }
    if (!error)
        error.message = QStringLiteral("The patient database is not open.");
    qCWarning(lcMeasure).noquote() << "Manual entry not saved:" << error.message;
    messageBox(kImportantOk, error.message);
    return false;
}

void TZemnu::clearClicked() {
    if (!messageBox(kInfoYesNo, kClearQuestion))
        return;
    grid_->commitOpenEditor();
    sheet_.clear();
    for (int p = 1; p <= kPointCount; ++p)
        showCell(p);
    grid_->setCurrentCell(1, 1);
    clear_->setEnabled(false);
    highPotential_ = false;
    showPotential();
    dated_->setChecked(true);
    setDated(true);
    setPickers(now());
    showStatus();
}

bool TZemnu::event(QEvent* event) {
    // The hints of the controls show in the window's own status bar.
    if (event->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
        if (tip.isEmpty())
            statusBar_->clearMessage();
        else
            statusBar_->showMessage(tip);
        return true;
    }
    return QDialog::event(event);
}

} // namespace viro
