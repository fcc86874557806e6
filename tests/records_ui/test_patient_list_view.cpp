#include "analysis/jet_date.h"
#include "records/ui/patient_list_view.h"
#include "tests/records/records_fixture.h"

#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <vector>

namespace viro {
namespace {

using State = PatientListView::SearchState;

struct Row {
    const char* custNo;
    const char* name;
    bool male;
    double birth;
    double premea;
};

// Name order differs from number order; the birth dates 25000 and 30000 are unique.
const Row kPatients[] = {
    {"P01", "Carl", true, 25000, 45010},
    {"P02", "Anna", false, 0, 0},
    {"P03", "Bert", true, 30000, 45020},
    {"P04", "anton", false, 26000, 44000},
};

constexpr double kNow = 45100.5;

class PatientListViewTest : public test::MainDatabaseTest {
protected:
    void SetUp() override {
        MainDatabaseTest::SetUp();
        for (const Row& r : kPatients)
            ASSERT_TRUE(exec("INSERT INTO ZeCust (CustNo, Name, Sex, DBirth, PREMEA) VALUES (?, "
                             "?, ?, ?, ?)",
                             {r.custNo, r.name, r.male ? 1 : 0, r.birth, r.premea}));
    }
    std::unique_ptr<PatientListView> makeView(int& sortKey) {
        auto view = std::make_unique<PatientListView>(db(), sortKey);
        view->setNow([] { return kNow; });
        view->resize(900, 300);
        view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        EXPECT_TRUE(view->open());
        return view;
    }
    static void clickHeader(PatientListView& view, int column) {
        QHeaderView* header = view.grid()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    static QStringList numbers(PatientListView& view) {
        QStringList out;
        for (int r = 0; r < view.count(); ++r)
            out << view.model()->numberAt(r);
        return out;
    }
    static QToolButton* searchButton(PatientListView& view) {
        return view.findChild<QToolButton*>("SpeedButton1");
    }
    static QLabel* dateExample(PatientListView& view) {
        return view.findChild<QLabel*>("DateExample");
    }
    // The colour in the middle of the search box as drawn.
    static QColor searchBoxColour(PatientListView& view) {
        QLineEdit* box = view.searchBox();
        const QImage image = box->grab().toImage();
        return image.pixelColor(image.width() - 6, image.height() / 2);
    }
};

// A header click sorts by its column: the same column again turns the direction round, another
// keeps it, "Index" sorts by number. The key is the application's: a new view opens by it.
TEST_F(PatientListViewTest, HeaderClicksSetTheSharedSortKey) {
    int sortKey = 1;
    auto view = makeView(sortKey);
    struct Click {
        int column;
        int key;
        QStringList order;
    };
    const std::vector<Click> clicks = {
        {2, 2, {"P02", "P04", "P03", "P01"}},  {2, -2, {"P01", "P03", "P04", "P02"}},
        {4, -4, {"P03", "P04", "P01", "P02"}}, {0, -1, {"P04", "P03", "P02", "P01"}},
        {0, 1, {"P01", "P02", "P03", "P04"}},  {1, -1, {"P04", "P03", "P02", "P01"}},
        {3, -3, {"P03", "P01", "P04", "P02"}},
    };
    QHeaderView* header = view->grid()->horizontalHeader();
    for (const Click& c : clicks) {
        SCOPED_TRACE("click on column " + std::to_string(c.column));
        clickHeader(*view, c.column);
        EXPECT_EQ(sortKey, c.key);
        EXPECT_EQ(numbers(*view), c.order);
        EXPECT_EQ(header->sortIndicatorSection(), std::abs(c.key)) << "the sort column is marked";
        EXPECT_EQ(header->sortIndicatorOrder(),
                  c.key < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
    }

    sortKey = -2;
    view.reset();
    auto next = makeView(sortKey);
    EXPECT_EQ(numbers(*next), QStringList({"P01", "P03", "P04", "P02"}));
    EXPECT_EQ(next->grid()->horizontalHeader()->sortIndicatorSection(), 2);
    EXPECT_EQ(next->grid()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(next->currentRow(), -1) << "no patient is chosen by opening";

    sortKey = 0;
    auto zero = makeView(sortKey);
    EXPECT_EQ(sortKey, -1) << "0 counts as descending by number";
    EXPECT_EQ(zero->model()->numberAt(0), "P04");
}

TEST_F(PatientListViewTest, ANewOrderKeepsTheCurrentPatient) {
    int sortKey = 1;
    auto view = makeView(sortKey);
    ASSERT_TRUE(view->selectNumber("p04"));
    EXPECT_EQ(view->currentRow(), 3);
    QSignalSpy changed(view.get(), &PatientListView::currentPatientChanged);
    clickHeader(*view, 2);
    EXPECT_EQ(view->currentRow(), 1);
    ASSERT_TRUE(view->currentPatient());
    EXPECT_EQ(view->currentPatient()->custNo, "P04");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).value<PatientRecord>().custNo, "P04");
    EXPECT_FALSE(view->selectNumber("P99"));
    EXPECT_EQ(view->currentRow(), 1) << "a number not in the list leaves the row";
}

TEST_F(PatientListViewTest, SearchFoundAndNotFound) {
    int sortKey = 2;
    auto view = makeView(sortKey);
    QLineEdit* box = view->searchBox();
    QToolButton* button = searchButton(*view);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->toolTip(), "Start Searching");
    EXPECT_EQ(view->searchState(), State::Ready);
    EXPECT_FALSE(button->isEnabled()) << "nothing to search for yet";
    QSignalSpy searched(view.get(), &PatientListView::searched);

    box->setFocus();
    QTest::keyClicks(box, "  ");
    EXPECT_FALSE(button->isEnabled()) << "blanks are nothing to search for";
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(searched.count(), 0);
    box->clear();
    QTest::keyClicks(box, "ant");
    EXPECT_TRUE(button->isEnabled());
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(view->searchState(), State::Found);
    ASSERT_TRUE(view->currentPatient());
    EXPECT_EQ(view->currentPatient()->custNo, "P04");
    EXPECT_TRUE(box->hasFocus()) << "the focus goes back to the search box";
    ASSERT_EQ(searched.count(), 1);
    EXPECT_TRUE(searched.at(0).at(0).toBool());

    QTest::keyClick(box, Qt::Key_X);
    EXPECT_EQ(view->searchState(), State::Ready) << "typing makes the search ready again";
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(view->searchState(), State::NotFound);
    EXPECT_EQ(view->currentPatient()->custNo, "P04") << "not found leaves the row";
    ASSERT_EQ(searched.count(), 2);
    EXPECT_FALSE(searched.at(1).at(0).toBool());
}

TEST_F(PatientListViewTest, DateOfBirthSearchTakesShortDates) {
    int sortKey = 4;
    auto view = makeView(sortKey);
    QLabel* example = dateExample(*view);
    ASSERT_NE(example, nullptr);
    EXPECT_TRUE(example->isVisible());
    EXPECT_EQ(example->text(),
              "Example: " + QLocale().toString(jetToDate(kNow - 5000), QLocale::ShortFormat));
    QLineEdit* box = view->searchBox();
    struct Case {
        QString text;
        State state;
        const char* custNo; // the current patient after the search
    };
    const std::vector<Case> cases = {
        {QLocale().toString(jetToDate(30000), QLocale::ShortFormat), State::Found, "P03"},
        {"no date", State::NotFound, "P03"},
        {"30000", State::NotFound, "P03"},
        {QLocale().toString(jetToDate(26000), QLocale::ShortFormat), State::Found, "P04"},
        {QLocale().toString(jetToDate(26001), QLocale::ShortFormat), State::NotFound, "P04"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        box->setText(c.text);
        QTest::keyClick(box, Qt::Key_Enter);
        EXPECT_EQ(view->searchState(), c.state);
        ASSERT_TRUE(view->currentPatient());
        EXPECT_EQ(view->currentPatient()->custNo, c.custNo);
    }
}

// Gender, age and latest measurement date cannot be searched: the box is silver and disabled
// with the button, the picture says so. The date example shows only by date of birth.
TEST_F(PatientListViewTest, SearchControlsFollowTheSortColumn) {
    int sortKey = 1;
    auto view = makeView(sortKey);
    const QColor normal = searchBoxColour(*view);
    ASSERT_NE(normal, QColor(192, 192, 192));
    for (int column = 1; column <= 11; ++column) {
        SCOPED_TRACE("column " + std::to_string(column));
        clickHeader(*view, column);
        ASSERT_EQ(std::abs(sortKey), column);
        view->searchBox()->setText("P");
        const bool searchable = column != 3 && column != 5 && column != 6;
        EXPECT_EQ(view->searchBox()->isEnabled(), searchable);
        EXPECT_EQ(searchButton(*view)->isEnabled(), searchable);
        EXPECT_EQ(view->searchState(), searchable ? State::Ready : State::NotPossible);
        EXPECT_EQ(searchBoxColour(*view), searchable ? normal : QColor(192, 192, 192));
        EXPECT_EQ(dateExample(*view)->isVisible(), column == 4);
        EXPECT_EQ(view->search(), column == 1) << "P begins numbers only";
    }
}

TEST_F(PatientListViewTest, GenderAndLatestDateColours) {
    int sortKey = 1;
    auto view = makeView(sortKey);
    QAbstractItemModel* shown = view->grid()->model();
    auto colour = [&](int row, int column, int role) {
        return shown->data(shown->index(row, column), role).value<QColor>();
    };
    EXPECT_EQ(colour(0, PatientListModel::GenderColumn, Qt::ForegroundRole), QColor(0, 128, 0));
    EXPECT_EQ(colour(1, PatientListModel::GenderColumn, Qt::ForegroundRole), QColor(255, 0, 0));
    EXPECT_EQ(colour(0, PatientListModel::LatestColumn, Qt::BackgroundRole),
              view->grid()->palette().color(QPalette::Button));
    EXPECT_FALSE(
        shown->data(shown->index(0, PatientListModel::NameColumn), Qt::ForegroundRole).isValid());
    EXPECT_FALSE(
        shown->data(shown->index(0, PatientListModel::NameColumn), Qt::BackgroundRole).isValid());
    EXPECT_EQ(shown->data(shown->index(1, PatientListModel::GenderColumn)).toString(), "Female");
}

TEST_F(PatientListViewTest, KeyboardAndDoubleClickChooseAPatient) {
    int sortKey = 1;
    auto view = makeView(sortKey);
    QSignalSpy changed(view.get(), &PatientListView::currentPatientChanged);
    QSignalSpy chosen(view.get(), &PatientListView::patientDoubleClicked);
    QTableView* grid = view->grid();
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Down);
    ASSERT_GE(changed.count(), 1);
    EXPECT_EQ(changed.last().at(0).value<PatientRecord>().custNo,
              view->model()->numberAt(view->currentRow()));
    EXPECT_GT(view->currentRow(), 0);

    const QRect cell = grid->visualRect(grid->model()->index(2, PatientListModel::NameColumn));
    // A double-click is the second press of two on one cell.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(chosen.count(), 1);
    EXPECT_EQ(chosen.at(0).at(0).value<PatientRecord>().custNo, "P03");

    view->searchBox()->setFocus();
    QTest::keyClicks(view->searchBox(), "P");
    QTest::keyClick(view->searchBox(), Qt::Key_Tab);
    EXPECT_TRUE(searchButton(*view)->hasFocus());
}

TEST_F(PatientListViewTest, RefreshCountsAnAddedPatientAndKeepsTheRow) {
    int sortKey = 2;
    auto view = makeView(sortKey);
    QSignalSpy counted(view.get(), &PatientListView::countChanged);
    ASSERT_TRUE(view->selectNumber("P03"));
    ASSERT_TRUE(exec("INSERT INTO ZeCust (CustNo, Name) VALUES ('P05', 'Aaron')"));
    ASSERT_TRUE(view->refresh());
    EXPECT_EQ(view->count(), 5);
    ASSERT_EQ(counted.count(), 1);
    EXPECT_EQ(counted.at(0).at(0).toInt(), 5);
    EXPECT_EQ(view->currentPatient()->custNo, "P03");
    EXPECT_EQ(view->currentRow(), 3);
}

} // namespace
} // namespace viro
