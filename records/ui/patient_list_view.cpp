#include "records/ui/patient_list_view.h"

#include "analysis/jet_date.h"
#include "records/statements.h"

#include <QColor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdlib>

namespace viro {

namespace {

const QString kSearchHint = QStringLiteral("Start Searching");
const QColor kMaleColour(0, 128, 0);
const QColor kFemaleColour(255, 0, 0);
const QColor kNotSearchable(192, 192, 192);
constexpr int kPictureSize = 16;
// The date example shows a birth date this many days back.
constexpr double kExampleDays = 5000;

void drawMagnifier(QPainter& p, const QColor& colour) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour, 2));
    p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
    p.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.5, 10.5), QPointF(14, 14));
}

QPixmap canvas(qreal dpr) {
    QPixmap pixmap(QSize(kPictureSize, kPictureSize) * dpr);
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap statePicture(PatientListView::SearchState state, qreal dpr) {
    using State = PatientListView::SearchState;
    QPixmap pixmap = canvas(dpr);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(1, 1, 14, 14);
    const QPen mark(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (state) {
    case State::NotPossible: // a grey no-entry sign
        p.setPen(QPen(QColor(128, 128, 128), 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(disc.adjusted(1, 1, -1, -1));
        p.drawLine(QPointF(4, 12), QPointF(12, 4));
        break;
    case State::Ready: // a go sign on blue
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 90, 200));
        p.drawEllipse(disc);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(6, 4.5), QPointF(12, 8), QPointF(6, 11.5)}));
        break;
    case State::Found: // a tick on green
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 150, 0));
        p.drawEllipse(disc);
        p.setPen(mark);
        p.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5.5)}));
        break;
    case State::NotFound: // a cross on red
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(210, 0, 0));
        p.drawEllipse(disc);
        p.setPen(mark);
        p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
        p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
        break;
    }
    return pixmap;
}

QIcon searchIcon() {
    QIcon icon;
    for (const qreal dpr : {1.0, 2.0}) {
        QPixmap pixmap = canvas(dpr);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        drawMagnifier(p, QColor(32, 32, 32));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QString stateName(PatientListView::SearchState state) {
    switch (state) {
    case PatientListView::SearchState::NotPossible:
        return QStringLiteral("Search not possible");
    case PatientListView::SearchState::Ready:
        return QStringLiteral("Ready to search");
    case PatientListView::SearchState::Found:
        return QStringLiteral("Found");
    case PatientListView::SearchState::NotFound:
        return QStringLiteral("Not found");
    }
    return {};
}

} // namespace

// Turns the model's tones into the colours of the grid.
class PatientListColours : public QIdentityProxyModel {
public:
    PatientListColours(const QWidget* grid, QObject* parent)
        : QIdentityProxyModel(parent), grid_(grid) {}

    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::ForegroundRole && role != Qt::BackgroundRole)
            return QIdentityProxyModel::data(index, role);
        const int tone = QIdentityProxyModel::data(index, PatientListModel::ToneRole).toInt();
        if (role == Qt::ForegroundRole && tone == PatientListModel::MaleTone)
            return kMaleColour;
        if (role == Qt::ForegroundRole && tone == PatientListModel::FemaleTone)
            return kFemaleColour;
        if (role == Qt::BackgroundRole && tone == PatientListModel::ButtonFaceTone)
            return grid_->palette().color(QPalette::Button);
        return {};
    }

private:
    const QWidget* grid_;
};

PatientListView::PatientListView(QSqlDatabase db, int& sortKey, QWidget* parent)
    : QWidget(parent), sortKey_(sortKey), model_(new PatientListModel(std::move(db), this)),
      searchBox_(new QLineEdit(this)), searchButton_(new QToolButton(this)),
      statePicture_(new QLabel(this)), dateExample_(new QLabel(this)), grid_(new QTableView(this)) {
    now_ = [] { return jetFromDateTime(QDateTime::currentDateTime()); };
    colours_ = new PatientListColours(grid_, this);
    colours_->setSourceModel(model_);

    searchBox_->setObjectName(QStringLiteral("SearchBox"));
    searchBox_->setAccessibleName(QStringLiteral("Search"));
    searchBox_->setMinimumWidth(searchBox_->fontMetrics().averageCharWidth() * 24);
    searchBox_->installEventFilter(this);
    searchButton_->setObjectName(QStringLiteral("SpeedButton1"));
    searchButton_->setToolTip(kSearchHint);
    searchButton_->setStatusTip(kSearchHint);
    searchButton_->setAccessibleName(kSearchHint);
    searchButton_->setIcon(searchIcon());
    searchButton_->setIconSize(QSize(kPictureSize, kPictureSize));
    statePicture_->setObjectName(QStringLiteral("SearchState"));
    statePicture_->setFixedSize(kPictureSize, kPictureSize);
    dateExample_->setObjectName(QStringLiteral("DateExample"));

    grid_->setObjectName(QStringLiteral("PatientGrid"));
    grid_->setModel(colours_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setTabKeyNavigation(false); // Tab leaves the grid for the next control
    grid_->setWordWrap(false);
    grid_->setCornerButtonEnabled(false);
    // The "Index" column numbers the rows; every row is as high as a line of text, so the grid
    // never measures the rows it does not show.
    QHeaderView* rows = grid_->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    QHeaderView* header = grid_->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setHighlightSections(false);
    {
        // Widths for typical contents, in characters, or for the longest date of the locale, and
        // room for the header and its arrow.
        static const int chars[PatientListModel::ColumnCount] = {6, 12, 20, 7,  0,  5,
                                                                 0, 13, 30, 24, 13, 13};
        const QFontMetrics cells(grid_->font());
        const QFontMetrics titles(header->font());
        const QDate longDay(2000, 12, 28);
        for (int c = 0; c < PatientListModel::ColumnCount; ++c) {
            int content = cells.averageCharWidth() * chars[c];
            if (c == PatientListModel::BirthColumn)
                content =
                    cells.horizontalAdvance(QLocale().toString(longDay, QLocale::ShortFormat));
            if (c == PatientListModel::LatestColumn)
                content = cells.horizontalAdvance(QLocale().toString(
                    QDateTime(longDay, QTime(23, 59, 59)), QLocale::ShortFormat));
            const QString title = model_->headerData(c, Qt::Horizontal).toString();
            const int width = std::max(content, titles.horizontalAdvance(title) + titles.height());
            header->resizeSection(c, width + 12);
        }
    }

    auto* search = new QHBoxLayout;
    search->setContentsMargins(0, 0, 0, 0);
    search->addWidget(searchBox_);
    search->addWidget(searchButton_);
    search->addWidget(statePicture_);
    search->addSpacing(8);
    search->addWidget(dateExample_);
    search->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(search);
    layout->addWidget(grid_, 1);
    setTabOrder(searchBox_, searchButton_);
    setTabOrder(searchButton_, grid_);

    connect(searchBox_, &QLineEdit::textChanged, this, &PatientListView::updateSearchButton);
    connect(searchBox_, &QLineEdit::textEdited, this,
            [this] { setSearchState(SearchState::Ready); });
    connect(searchButton_, &QToolButton::clicked, this, &PatientListView::search);
    connect(header, &QHeaderView::sectionClicked, this, &PatientListView::sortByColumn);
    connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    emit currentPatientChanged(model_->patientAt(current.row()));
            });
    connect(grid_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            emit patientDoubleClicked(model_->patientAt(index.row()));
    });

    prepareSearch();
    markSortColumn();
}

PatientListView::~PatientListView() = default;

void PatientListView::setNow(PatientListModel::NowFn now) {
    now_ = now;
    model_->setNow(std::move(now));
    updateDateExample();
}

bool PatientListView::open(QString* error) {
    searchBox_->clear();
    const bool ok = model_->open(sortKey_, error);
    sortKey_ = model_->sortKey();
    prepareSearch();
    markSortColumn();
    emit countChanged(count());
    return ok;
}

bool PatientListView::refresh(QString* error) {
    const std::optional<PatientRecord> current = currentPatient();
    const bool ok = model_->refresh(error);
    emit countChanged(count());
    if (current)
        selectNumber(current->custNo);
    return ok;
}

bool PatientListView::selectNumber(const QString& custNo) {
    const std::optional<int> row = model_->rowOfNumber(custNo);
    if (row)
        setCurrentRow(*row);
    return row.has_value();
}

bool PatientListView::search() {
    const QString text = searchBox_->text().trimmed();
    if (!PatientListModel::searchable(sortKey_) || text.isEmpty())
        return false;
    const std::optional<int> row = model_->findPrefix(text);
    if (row)
        setCurrentRow(*row);
    setSearchState(row ? SearchState::Found : SearchState::NotFound);
    searchBox_->setFocus();
    emit searched(row.has_value());
    return row.has_value();
}

int PatientListView::count() const {
    return model_->rowCount();
}

int PatientListView::currentRow() const {
    const QModelIndex current = grid_->currentIndex();
    return current.isValid() ? current.row() : -1;
}

std::optional<PatientRecord> PatientListView::currentPatient() const {
    const int row = currentRow();
    if (row < 0)
        return std::nullopt;
    return model_->patientAt(row);
}

bool PatientListView::eventFilter(QObject* watched, QEvent* event) {
    // Enter searches and goes no further: in a dialog it would press the default button.
    if (watched == searchBox_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (!searchBox_->text().trimmed().isEmpty())
                search();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PatientListView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    drawPictures(); // the screen's pixel ratio is known now
}

// The header click: the new order, read again, with the patient of the row before found again
// (the row of its number, else the first number that begins with it).
void PatientListView::sortByColumn(int column) {
    const std::optional<PatientRecord> current = currentPatient();
    sortKey_ = sortKeyAfterClick(sortKey_, column);
    prepareSearch();
    model_->open(sortKey_);
    sortKey_ = model_->sortKey();
    markSortColumn();
    emit countChanged(count());
    if (!current || current->custNo.isEmpty())
        return;
    std::optional<int> row = model_->rowOfNumber(current->custNo);
    if (!row)
        row = model_->findNumberPrefix(current->custNo);
    if (row)
        setCurrentRow(*row);
}

void PatientListView::prepareSearch() {
    const bool searchable = PatientListModel::searchable(sortKey_);
    searchBox_->setEnabled(searchable);
    if (searchable) {
        searchBox_->setPalette(QPalette()); // the window's own colours
    } else {
        QPalette silver;
        silver.setColor(QPalette::Base, kNotSearchable);
        searchBox_->setPalette(silver);
    }
    updateSearchButton();
    setSearchState(searchable ? SearchState::Ready : SearchState::NotPossible);
    updateDateExample();
}

void PatientListView::updateDateExample() {
    const bool byBirth = std::abs(sortKey_) == PatientListModel::BirthColumn;
    dateExample_->setVisible(byBirth);
    if (byBirth)
        dateExample_->setText(
            QStringLiteral("Example: ") +
            QLocale().toString(jetToDate(now_() - kExampleDays), QLocale::ShortFormat));
}

void PatientListView::markSortColumn() {
    const int key = normalisedSortKey(sortKey_);
    grid_->horizontalHeader()->setSortIndicator(std::abs(key),
                                                key < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void PatientListView::setSearchState(SearchState state) {
    state_ = state;
    statePicture_->setAccessibleName(stateName(state));
    drawPictures();
}

void PatientListView::drawPictures() {
    statePicture_->setPixmap(statePicture(state_, devicePixelRatioF()));
}

void PatientListView::updateSearchButton() {
    searchButton_->setEnabled(PatientListModel::searchable(sortKey_) &&
                              !searchBox_->text().trimmed().isEmpty());
}

void PatientListView::setCurrentRow(int row) {
    const QModelIndex current = grid_->currentIndex();
    const QModelIndex index =
        colours_->index(row, current.isValid() ? current.column() : PatientListModel::NumberColumn);
    grid_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                        QItemSelectionModel::Rows);
    grid_->scrollTo(index);
}

} // namespace viro
