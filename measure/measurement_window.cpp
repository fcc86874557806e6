#include "measure/measurement_window.h"

#include "analysis/jet_date.h"
#include "core/application_state.h"
#include "core/settings.h"
#include "core/user_prompts.h"
#include "measure/log.h"
#include "measure/stability_graph.h"

#include <QActionGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QShowEvent>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <numeric>

namespace viro {

const QColor MeasurementGrid::kQualityLow(255, 0, 0);
const QColor MeasurementGrid::kQualityMiddle(128, 128, 0);
const QColor MeasurementGrid::kQualityHigh(53, 210, 45);

MeasurementGrid::Cell MeasurementGrid::cellOf(int position) {
    if (position <= 6)
        return {1, position};
    if (position <= 12)
        return {2, position - 6};
    if (position <= 18)
        return {1, position - 6};
    return {2, position - 12};
}

int MeasurementGrid::positionAt(int row, int column) {
    if (column < 1 || column > 12 || row < 1 || row > 2)
        return 0;
    const bool hand = column <= 6;
    if (row == 1)
        return hand ? column : column + 6;
    return hand ? column + 6 : column + 12;
}

GridCell MeasurementGrid::valueCell(double value) {
    return {value != 0 ? QString::asprintf("%3.0f", value) : QString(), QColor(Qt::black)};
}

GridCell MeasurementGrid::qualityCell(double value, double quality) {
    if (value == 0)
        return {QString(), QColor(Qt::black)};
    const double shown = quality > 0 ? quality : 0;
    const QColor colour = shown < 60 ? kQualityLow : shown < 80 ? kQualityMiddle : kQualityHigh;
    return {quality > 0 ? QString::asprintf("%3.1f", quality) : QStringLiteral("0.0"), colour};
}

QString MeasurementGrid::valueAverage(const std::array<double, kPointCount>& values) {
    double sum = 0;
    int n = 0;
    for (double v : values)
        if (v != 0) {
            sum += v;
            ++n;
        }
    return n > 0 ? QString::asprintf("%3.1f", sum / n) : QString();
}

QString MeasurementGrid::qualityAverage(const std::array<double, kPointCount>& values,
                                        const std::array<double, kPointCount>& quality) {
    double sum = 0;
    int n = 0;
    for (int i = 0; i < kPointCount; ++i)
        if (values[i] != 0) {
            sum += quality[i] > 0 ? quality[i] : 0;
            ++n;
        }
    return n > 0 ? QString::asprintf("%3.1f", sum / n) : QString();
}

namespace {

const QString kNotAvailable = QStringLiteral("This function is not available in this version.");
const QColor kLedGreen(0, 230, 0);
const QColor kLedYellow(255, 230, 0);
const QColor kLedRed(255, 40, 40);
const QColor kBarGreen(0, 128, 0);
const QColor kBarYellow(255, 193, 64);
const QColor kBarRed(255, 0, 0);
const QColor kFixedCell(228, 232, 240);

constexpr int kSensitivityDefaultPosition = 10;

// An up-down control that shows its position in tenths (sensitivity, seconds).
class TenthsSpinBox : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QString textFromValue(int value) const override {
        return QString::asprintf("%1.1f", value / 10.0);
    }
    int valueFromText(const QString& text) const override {
        bool ok = false;
        const double v = QString(text).trimmed().replace(',', '.').toDouble(&ok);
        return ok ? int(std::nearbyint(v * 10)) : value();
    }
    QValidator::State validate(QString& text, int&) const override {
        const QString s = QString(text).trimmed().replace(',', '.');
        if (s.isEmpty() || s == QStringLiteral("."))
            return QValidator::Intermediate;
        bool ok = false;
        const double v = s.toDouble(&ok);
        if (!ok)
            return QValidator::Invalid;
        const int position = int(std::nearbyint(v * 10));
        return position >= minimum() && position <= maximum() ? QValidator::Acceptable
                                                              : QValidator::Intermediate;
    }
};

// The lamp `ALed1`: off, green or red; its state is also kept in the property "lamp".
class Lamp : public QWidget {
public:
    explicit Lamp(QWidget* parent) : QWidget(parent) {
        setObjectName("ALed1");
        setFixedSize(22, 22);
        setState(QStringLiteral("off"));
    }
    void setState(const QString& state) {
        if (property("lamp").toString() == state)
            return;
        setProperty("lamp", state);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const QString state = property("lamp").toString();
        QColor fill(70, 70, 70);
        if (state == QLatin1String("green"))
            fill = QColor(0, 220, 0);
        else if (state == QLatin1String("red"))
            fill = QColor(235, 0, 0);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(40, 40, 40), 1.5));
        QRadialGradient shine(QPointF(8, 8), 12);
        shine.setColorAt(0, fill.lighter(160));
        shine.setColorAt(1, fill);
        p.setBrush(shine);
        p.drawEllipse(QRectF(2, 2, 18, 18));
    }
};

QLabel* makeLed(QWidget* parent, const char* name, int minWidth) {
    auto* led = new QLabel(parent);
    led->setObjectName(name);
    led->setAutoFillBackground(true);
    led->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    led->setLineWidth(2);
    led->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    led->setMinimumWidth(minWidth);
    led->setMargin(2);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(15);
    font.setBold(true);
    led->setFont(font);
    QPalette pal = led->palette();
    pal.setColor(QPalette::Window, Qt::black);
    led->setPalette(pal);
    return led;
}

void setLedColour(QLabel* led, const QColor& colour) {
    QPalette pal = led->palette();
    if (pal.color(QPalette::WindowText) == colour)
        return;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::WindowText, colour);
    led->setPalette(pal);
}

void setBarColour(QProgressBar* bar, const QColor& colour) {
    QPalette pal = bar->palette();
    if (pal.color(QPalette::Highlight) == colour)
        return;
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::Highlight, colour);
    bar->setPalette(pal);
}

void setText(QLabel* label, const QString& text) {
    if (label->text() != text)
        label->setText(text);
}

QProgressBar* makeBar(QWidget* parent, const char* name) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(true);
    bar->setFormat(QStringLiteral("%p%"));
    bar->setMinimumWidth(90);
    setBarColour(bar, kBarGreen);
    return bar;
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QLabel* valueLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setMinimumWidth(60);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void setHint(QWidget* w, const QString& hint) {
    w->setToolTip(hint);
    w->setStatusTip(hint);
}

QString shortDate(double jet) {
    return QLocale().toString(jetToDate(jet), QLocale::ShortFormat);
}

// The long time of the locale without its time zone, as a clock on the wall shows it.
QString longTime(double jet) {
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b")));
    return QLocale().toString(jetToDateTime(jet).time(), format.trimmed());
}

bool hasBirthDate(double birth) {
    return birth > 4000;
}

QIcon viewToggleIcon() {
    QPixmap pixmap(40, 40);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 60, 110), 2));
    p.setBrush(QColor(250, 250, 255));
    p.drawRect(QRectF(3, 7, 34, 26));
    p.setPen(QPen(QColor(40, 60, 110), 1.5));
    for (int x : {14, 26})
        p.drawLine(QPointF(x, 7), QPointF(x, 33));
    p.drawLine(QPointF(3, 16), QPointF(37, 16));
    p.drawLine(QPointF(3, 25), QPointF(37, 25));
    p.setPen(Qt::NoPen);
    p.setBrush(MeasurementGrid::kQualityHigh);
    p.drawRect(QRectF(15, 17, 10, 7));
    p.setBrush(MeasurementGrid::kQualityLow);
    p.drawRect(QRectF(27, 26, 9, 6));
    return QIcon(pixmap);
}

int soundIndex(int mode) {
    return mode == 2 ? 1 : mode == 0 ? 2 : 0;
}
int soundMode(int index) {
    return index == 1 ? 2 : index == 2 ? 0 : 1;
}

} // namespace

TZedec::TZedec(ProbeLink& probe, TickClock& clock, ApplicationState& state, Settings& settings,
               QString dataFolder, MeasurementJournal* journal, Services services, QWidget* parent)
    : QDialog(parent), state_(state), settings_(settings), dataFolder_(std::move(dataFolder)),
      services_(std::move(services)), engine_(probe, clock, state, settings, this) {
    setObjectName("TZedec");
    setWindowTitle(QStringLiteral("Meridian Measurement"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    // The engine takes its options from the settings; a damaged line gives its default.
    engine_.setJournal(journal);
    guideMode_ = guidePictureModeFrom(settings.guidePictureMode);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 0);
    layout->setSpacing(6);
    layout->addWidget(buildToolBar());

    auto* body = new QHBoxLayout;
    body->setSpacing(8);
    // The left column keeps its width whatever the patient's name: long texts are cut.
    auto* leftColumn = new QWidget(this);
    leftColumn->setFixedWidth(270);
    auto* left = new QVBoxLayout(leftColumn);
    left->setContentsMargins(0, 0, 0, 0);
    left->addWidget(buildPatientPanel());
    left->addWidget(buildOptionsPanel());
    left->addStretch(1);
    auto* centre = new QVBoxLayout;
    centre->addWidget(buildGridPanel());
    graph_ = new StabilityGraphBox(engine_, this);
    centre->addWidget(graph_, 1);
    centre->addWidget(buildDisplayPanel());
    body->addWidget(leftColumn);
    body->addLayout(centre, 1);
    body->addWidget(buildGuidePanel());
    layout->addLayout(body, 1);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName("StatusBar1");
    statusBar_->setSizeGripEnabled(false);
    runStatus_ = new QLabel(statusBar_);
    runStatus_->setObjectName("StatusLabel");
    statusBar_->addWidget(runStatus_, 1);
    layout->addWidget(statusBar_);

    connect(&engine_, &MeasurementEngine::runStarted, this, &TZedec::runStarted);
    connect(&engine_, &MeasurementEngine::runFinished, this, &TZedec::runEnded);
    connect(&engine_, &MeasurementEngine::positionChanged, this, &TZedec::positionChanged);
    connect(&engine_, &MeasurementEngine::pointCompleted, this, &TZedec::pointCompleted);
    connect(&engine_, &MeasurementEngine::measurementCleared, this, &TZedec::measurementCleared);
    // Both come very often during a run: only noted here, drawn at the frame rate.
    connect(&engine_, &MeasurementEngine::displayChanged, this, [this] { dirty_ = true; });
    connect(&engine_, &MeasurementEngine::curveRestarted, this, [this] { dirty_ = true; });

    frameTimer_ = new QTimer(this);
    frameTimer_->setObjectName("FrameTimer");
    frameTimer_->setInterval(kFrameMs);
    connect(frameTimer_, &QTimer::timeout, this, [this] {
        if (dirty_)
            refreshDisplays();
    });
    blinkTimer_ = new QTimer(this);
    blinkTimer_->setObjectName("Timer1");
    blinkTimer_->setInterval(kBlinkMs);
    connect(blinkTimer_, &QTimer::timeout, this, [this] {
        blinkOn_ = !blinkOn_;
        showLamp();
    });

    setTabOrders();
    applyShowingRules();

    // The window fits a 1366 x 768 screen with room for the title bar and a panel.
    resize(QSize(1240, 680).boundedTo(sizeHint().expandedTo(QSize(1180, 640))));
}

TZedec::~TZedec() = default;

QWidget* TZedec::buildToolBar() {
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
        row->addWidget(button);
        return button;
    };
    const auto gap = [&] { row->addSpacing(12); };
    start_ = add("ToolButton9", "  Start  ", "Begin measurements");
    stop_ = add("ToolButton7", "  Stop  ", "Stop measurements");
    gap();
    analyze_ = add("ToolButton1", "Analyze", "Perform meridian energy analysis");
    save_ = add("ToolButton3", "  Save  ", "Save measurement data");
    recall_ = add("ToolButton4", "  Recall  ", "Recall measurement data from database");
    clear_ = add("ToolButton2", "  Clear  ", "Clear table values");
    gap();
    manual_ = add("ToolButton5", "  Manual  ", "Manually enter meridian energy values");
    compare_ = add("ToolButton6", "Compare", "Compare this measurement record with another record");
    row->addStretch(1);
    quit_ = add("ToolButton8", "Quit", "Exit Meridian Measurement menu");
    start_->setDefault(true);

    connect(start_, &QPushButton::clicked, this, [this] { startRun(1); });
    connect(stop_, &QPushButton::clicked, &engine_, &MeasurementEngine::requestStop);
    connect(analyze_, &QPushButton::clicked, this,
            [this] { openChild(services_.openAnalysis, true); });
    connect(save_, &QPushButton::clicked, this, [this] {
        setQualityView(false);
        openChild(services_.openSave, false);
    });
    connect(recall_, &QPushButton::clicked, this, [this] {
        state_.recallFromMainWindow = false;
        openChild(services_.openRecall, false);
        // A recalled record brings its own potential.
        engine_.setHighPotential(state_.measurement.highPotential);
        showPotential();
    });
    connect(clear_, &QPushButton::clicked, this, &TZedec::clearClicked);
    connect(manual_, &QPushButton::clicked, this, [this] {
        openChild(services_.openManual, false);
        engine_.setHighPotential(state_.measurement.highPotential);
        showPotential();
    });
    connect(compare_, &QPushButton::clicked, this,
            [this] { openChild(services_.openCompare, false); });
    connect(quit_, &QPushButton::clicked, this, &QWidget::close);
    return bar;
}

QWidget* TZedec::buildPatientPanel() {
    auto* box = new QGroupBox(QStringLiteral("Patient"), this);
    box->setObjectName("PatientPanel");
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(3);
    patientNo_ = valueLabel("PatientNoLabel", box);
    patientName_ = valueLabel("PatientNameLabel", box);
    patientDob_ = valueLabel("PatientDobLabel", box);
    patientTel_ = valueLabel("PatientTelLabel", box);
    patientAge_ = valueLabel("PatientAgeLabel", box);
    measurementDate_ = valueLabel("MeasurementDateLabel", box);
    measurementTime_ = valueLabel("MeasurementTimeLabel", box);
    measurementAge_ = valueLabel("MeasurementAgeLabel", box);
    sexButton_ = addMenuButton("RzMenuButton7", {QStringLiteral("Male"), QStringLiteral("Female")},
                               [this](int i) { state_.patient.male = i == 0; });
    const std::pair<const char*, QWidget*> rows[] = {
        {"No:", patientNo_},
        {"Name:", patientName_},
        {"DOB:", patientDob_},
        {"Tel No:", patientTel_},
        {"Age:", patientAge_},
        {"Sex:", sexButton_},
        {"Measurement Date:", measurementDate_},
        {"Measurement Time:", measurementTime_},
        {"Measurement Age:", measurementAge_},
    };
    int r = 0;
    for (const auto& [text, widget] : rows) {
        grid->addWidget(caption(QString::fromLatin1(text), box), r, 0);
        grid->addWidget(widget, r, 1);
        ++r;
    }
    grid->setColumnStretch(1, 1);
    return box;
}

QPushButton* TZedec::addMenuButton(const char* name, const QStringList& choices,
                                   const std::function<void(int)>& chosen) {
    auto* button = new QPushButton(this);
    button->setObjectName(name);
    auto* menu = new QMenu(button);
    menu->setObjectName(QString::fromLatin1(name) + QStringLiteral("Menu"));
    auto* group = new QActionGroup(menu);
    for (int i = 0; i < choices.size(); ++i) {
        QAction* action = menu->addAction(choices[i]);
        action->setCheckable(true);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, button, i, chosen] {
            chosen(i);
            showChoice(button, i);
        });
    }
    button->setMenu(menu);
    showChoice(button, 0);
    return button;
}

void TZedec::showChoice(QPushButton* button, int index) {
    const QList<QAction*> actions = button->menu()->actions();
    if (index < 0 || index >= actions.size())
        return;
    actions[index]->setChecked(true);
    button->setText(actions[index]->text());
}

QWidget* TZedec::buildOptionsPanel() {
    auto* box = new QGroupBox(QStringLiteral("Options"), this);
    box->setObjectName("OptionsPanel");
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(3);
    const MeasuringOptions& o = engine_.options();

    soundButton_ = addMenuButton(
        "RzMenuButton1",
        {QStringLiteral("Standard"), QStringLiteral("Single"), QStringLiteral("Mute")},
        [this](int i) { engine_.setSoundMode(soundMode(i)); });
    potentialButton_ = addMenuButton(
        "RzMenuButton2", {QStringLiteral("NRM Potential"), QStringLiteral("Hi Potential")},
        [this](int i) { engine_.setHighPotential(i == 1); });
    guideButton_ = addMenuButton(
        "RzMenuButton3",
        {QStringLiteral("Picture"), QStringLiteral("Outline"), QStringLiteral("Combined")},
        [this](int i) { setGuideMode(GuidePictureMode(i + 1)); });
    methodButton_ = addMenuButton(
        "RzMenuButton4", {QStringLiteral("Auto"), QStringLiteral("Manual")}, [this](int i) {
            engine_.setMethod(i == 0 ? MeasuringMethod::Automatic : MeasuringMethod::Manual);
            dirty_ = true;
        });
    channelButton_ = addMenuButton("RzMenuButton5",
                                   {QStringLiteral("CPDM"), QStringLiteral("Channel 1"),
                                    QStringLiteral("Channel 2"), QStringLiteral("Channel 3"),
                                    QStringLiteral("Channel 4")},
                                   [this](int i) { engine_.setChannel(i); });
    procedureButton_ =
        addMenuButton("RzMenuButton6", {QStringLiteral("Default"), QStringLiteral("User Defined")},
                      [this](int i) { setProcedure(i == 1); });

    sensitivitySpin_ = new TenthsSpinBox(box);
    sensitivitySpin_->setObjectName("UpDown1");
    sensitivitySpin_->setRange(1, 50);
    sensitivityTrack_ = new QSlider(Qt::Horizontal, box);
    sensitivityTrack_->setObjectName("RzTrackBar1");
    sensitivityTrack_->setRange(1, 50);
    sensitivityTrack_->setPageStep(5);
    measuringSpin_ = new TenthsSpinBox(box);
    measuringSpin_->setObjectName("UpDown2");
    measuringSpin_->setRange(5, 100);
    finalSpin_ = new TenthsSpinBox(box);
    finalSpin_->setObjectName("UpDown3");
    finalSpin_->setRange(1, 100);
    leds_[3] = makeLed(box, "RzLEDDisplay4", 120);
    leds_[5] = makeLed(box, "RzLEDDisplay6", 60);
    leds_[6] = makeLed(box, "RzLEDDisplay7", 60);
    setLedColour(leds_[3], kLedGreen);

    int r = 0;
    const auto addRow = [&](const QString& text, QWidget* a, QWidget* b = nullptr) {
        grid->addWidget(caption(text, box), r, 0);
        if (b) {
            grid->addWidget(a, r, 1);
            grid->addWidget(b, r, 2);
        } else {
            grid->addWidget(a, r, 1, 1, 2);
        }
        ++r;
    };
    addRow(QStringLiteral("Sound:"), soundButton_);
    addRow(QStringLiteral("Potential:"), potentialButton_);
    addRow(QStringLiteral("Guide Picture:"), guideButton_);
    addRow(QStringLiteral("Method:"), methodButton_);
    addRow(QStringLiteral("Channel:"), channelButton_);
    addRow(QStringLiteral("Sensitivity:"), leds_[3]);
    addRow(QString(), sensitivitySpin_, sensitivityTrack_);
    addRow(QStringLiteral("Procedure:"), procedureButton_);
    addRow(QStringLiteral("Measuring Time:"), measuringSpin_, leds_[5]);
    addRow(QStringLiteral("Final Window:"), finalSpin_, leds_[6]);
    grid->setColumnStretch(2, 1);

    showChoice(soundButton_, soundIndex(o.soundMode));
    showChoice(guideButton_, int(guideMode_) - 1);
    showChoice(methodButton_, o.method == MeasuringMethod::Automatic ? 0 : 1);
    showChoice(channelButton_, o.channel);
    showChoice(procedureButton_, o.userProcedure ? 1 : 0);
    measuringSpin_->setValue(o.userMeasuringMs / 100);
    finalSpin_->setValue(o.userFinalWindowMs / 100);
    showSensitivity(int(std::nearbyint(o.sensitivity * 10)));
    sensitivitySpin_->setValue(int(std::nearbyint(o.sensitivity * 10)));
    sensitivityTrack_->setValue(sensitivitySpin_->value());

    connect(sensitivitySpin_, &QSpinBox::valueChanged, this, &TZedec::setSensitivityPosition);
    connect(sensitivityTrack_, &QSlider::valueChanged, this, &TZedec::setSensitivityPosition);
    connect(measuringSpin_, &QSpinBox::valueChanged, this, &TZedec::setUserTimes);
    connect(finalSpin_, &QSpinBox::valueChanged, this, &TZedec::setUserTimes);
    return box;
}

QWidget* TZedec::buildGridPanel() {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto* head = new QHBoxLayout;
    gridTitle_ = new QLabel(panel);
    gridTitle_->setObjectName("GridTitleLabel");
    QFont titleFont = gridTitle_->font();
    titleFont.setBold(true);
    gridTitle_->setFont(titleFont);
    viewToggle_ = new QPushButton(panel);
    viewToggle_->setObjectName("RzToolButton1");
    viewToggle_->setIcon(viewToggleIcon());
    viewToggle_->setIconSize(QSize(24, 24));
    viewToggle_->setAccessibleName(QStringLiteral("Values or quality scores"));
    viewToggle_->setCheckable(true);
    connect(viewToggle_, &QPushButton::clicked, this, [this] { setQualityView(!qualityView_); });
    head->addWidget(viewToggle_);
    head->addWidget(gridTitle_);
    head->addStretch(1);
    head->addWidget(new QLabel(QStringLiteral("Avg:"), panel));
    average_ = new QLabel(panel);
    average_->setObjectName("AverageLabel");
    average_->setMinimumWidth(50);
    average_->setFont(titleFont);
    head->addWidget(average_);
    layout->addLayout(head);

    grid_ = new QTableWidget(MeasurementGrid::kRows, MeasurementGrid::kColumns, panel);
    grid_->setObjectName("AdvStringGrid1");
    grid_->horizontalHeader()->hide();
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    grid_->horizontalHeader()->setMinimumSectionSize(36);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setDefaultSectionSize(26);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid_->setFixedHeight(3 * 26 + 2 * grid_->frameWidth());
    // Disabled between runs, yet as readable as during one.
    QPalette pal = grid_->palette();
    for (auto role : {QPalette::Base, QPalette::Text, QPalette::Window})
        pal.setColor(QPalette::Disabled, role, pal.color(QPalette::Active, role));
    grid_->setPalette(pal);
    QFont cellFont = grid_->font();
    cellFont.setBold(true);
    for (int r = 0; r < MeasurementGrid::kRows; ++r)
        for (int c = 0; c < MeasurementGrid::kColumns; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignCenter);
            if (r == 0 || c == 0) {
                item->setFlags(Qt::ItemIsEnabled);
                item->setBackground(kFixedCell);
                item->setFont(cellFont);
            } else {
                item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            }
            grid_->setItem(r, c, item);
        }
    grid_->item(1, 0)->setText(QStringLiteral("Left"));
    grid_->item(2, 0)->setText(QStringLiteral("Right"));
    for (int c = 1; c <= 12; ++c)
        grid_->item(0, c)->setText(meridian(settings_.sequence.order[size_t(c - 1)]).code);
    connect(grid_, &QTableWidget::cellClicked, this, &TZedec::cellClicked);
    connect(grid_, &QTableWidget::activated, this,
            [this](const QModelIndex& index) { cellClicked(index.row(), index.column()); });
    layout->addWidget(grid_);
    return panel;
}

QWidget* TZedec::buildDisplayPanel() {
    auto* panel = new QWidget(this);
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    leds_[0] = makeLed(panel, "RzLEDDisplay1", 80);
    leds_[1] = makeLed(panel, "RzLEDDisplay2", 80);
    leds_[2] = makeLed(panel, "RzLEDDisplay3", 80);
    leds_[4] = makeLed(panel, "RzLEDDisplay5", 80);
    for (int i : {0, 1, 4})
        setLedColour(leds_[size_t(i)], kLedGreen);
    bars_[0] = makeBar(panel, "RzProgressBar1");
    bars_[1] = makeBar(panel, "RzProgressBar2");
    bars_[2] = makeBar(panel, "RzProgressBar3");
    bars_[3] = makeBar(panel, "RzProgressBar4");
    samplingRate_ = new QLabel(QStringLiteral("0"), panel);
    samplingRate_->setObjectName("SamplingRateLabel");
    samplingRate_->setMinimumWidth(50);

    grid->addWidget(caption(QStringLiteral("Meridian Value:"), panel), 0, 0);
    grid->addWidget(leds_[0], 0, 1);
    grid->addWidget(bars_[1], 0, 2);
    grid->addWidget(caption(QStringLiteral("Compensated Value:"), panel), 0, 3);
    grid->addWidget(leds_[1], 0, 4);
    grid->addWidget(bars_[2], 0, 5);
    grid->addWidget(caption(QStringLiteral("Value Quality:"), panel), 1, 0);
    grid->addWidget(leds_[2], 1, 1);
    grid->addWidget(bars_[3], 1, 2);
    grid->addWidget(caption(QStringLiteral("Remaining Time:"), panel), 1, 3);
    grid->addWidget(leds_[4], 1, 4);
    auto* rate = new QHBoxLayout;
    rate->setSpacing(6);
    rate->addWidget(caption(QStringLiteral("Sampling Rate:"), panel));
    rate->addWidget(samplingRate_, 1);
    grid->addLayout(rate, 1, 5);
    grid->addWidget(caption(QStringLiteral("Progress:"), panel), 2, 0);
    grid->addWidget(bars_[0], 2, 1, 1, 5);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(5, 1);
    return panel;
}

QWidget* TZedec::buildGuidePanel() {
    auto* box = new QGroupBox(QStringLiteral("Measuring Point"), this);
    box->setObjectName("GuidePanel");
    box->setFixedWidth(236);
    auto* layout = new QVBoxLayout(box);
    layout->setSpacing(4);

    picture_ = new QLabel(box);
    picture_->setObjectName("Image1");
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    // The guides are drawn 200 x 250: shown as they are, inside the frame.
    const int frame = 2 * picture_->frameWidth();
    picture_->setFixedSize(200 + frame, 250 + frame);
    auto* over = new QVBoxLayout(picture_);
    over->setContentsMargins(4, 4, 4, 4);
    const auto pictureText = [&](const char* name) {
        auto* label = new QLabel(picture_);
        label->setObjectName(name);
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        label->setStyleSheet(
            QStringLiteral("QLabel { color: rgb(0, 0, 128); background: rgba(255, 255, 255, 200); "
                           "font-weight: bold; padding: 1px 3px; }"));
        label->hide();
        return label;
    };
    pictureLabel1_ = pictureText("PictureLabel1");
    pictureLabel2_ = pictureText("PictureLabel2");
    over->addWidget(pictureLabel1_);
    over->addStretch(1);
    over->addWidget(pictureLabel2_);
    layout->addWidget(picture_, 0, Qt::AlignHCenter);

    auto* texts = new QGridLayout;
    texts->setVerticalSpacing(2);
    location_ = valueLabel("LocationLabel", box);
    meridianName_ = valueLabel("MeridianNameLabel", box);
    pointName_ = valueLabel("PointNameLabel", box);
    meridianName_->setWordWrap(true);
    meridianName_->setMinimumHeight(2 * meridianName_->fontMetrics().height());
    meridianName_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    texts->addWidget(caption(QStringLiteral("Location:"), box), 0, 0);
    texts->addWidget(location_, 0, 1);
    texts->addWidget(caption(QStringLiteral("Meridian Name:"), box), 1, 0, 1, 2);
    texts->addWidget(meridianName_, 2, 0, 1, 2);
    texts->addWidget(caption(QStringLiteral("Point Name:"), box), 3, 0);
    texts->addWidget(pointName_, 3, 1);
    texts->setColumnStretch(1, 1);
    layout->addLayout(texts);
    layout->addStretch(1);

    auto* run = new QHBoxLayout;
    lamp_ = new Lamp(box);
    countdown_ = new QLabel(box);
    countdown_->setObjectName("CountdownLabel");
    QFont countdownFont = countdown_->font();
    countdownFont.setBold(true);
    countdown_->setFont(countdownFont);
    countdown_->setMinimumWidth(60);
    countdown_->hide();
    pointStart_ = new QPushButton(QStringLiteral("Start"), box);
    pointStart_->setObjectName("RzBitBtn1");
    setHint(pointStart_, QStringLiteral("Start measurement sequence"));
    pointStart_->setEnabled(false);
    connect(pointStart_, &QPushButton::clicked, &engine_, &MeasurementEngine::requestPointStart);
    run->addWidget(lamp_);
    run->addWidget(countdown_, 1);
    run->addWidget(pointStart_);
    layout->addLayout(run);
    return box;
}

void TZedec::setTabOrders() {
    QWidget* order[] = {start_,
                        stop_,
                        analyze_,
                        save_,
                        recall_,
                        clear_,
                        manual_,
                        compare_,
                        quit_,
                        viewToggle_,
                        grid_,
                        pointStart_,
                        sexButton_,
                        soundButton_,
                        potentialButton_,
                        guideButton_,
                        methodButton_,
                        channelButton_,
                        sensitivitySpin_,
                        sensitivityTrack_,
                        procedureButton_,
                        measuringSpin_,
                        finalSpin_};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void TZedec::setNow(MeasurementEngine::NowFn now) {
    now_ = now;
    engine_.setNow(std::move(now));
    showPatient();
    showMeasurementDate();
}

double TZedec::now() const {
    return now_ ? now_() : jetFromDateTime(QDateTime::currentDateTime());
}

void TZedec::startRun(int fromPosition) {
    if (engine_.running())
        return;
    viewToggle_->setEnabled(false);
    setQualityView(false);
    engine_.start(fromPosition);
    runEnded();
}

void TZedec::openChild(const Services::Opener& opener, bool analysis) {
    if (engine_.running())
        return;
    if (!opener) {
        messageBox(kInfoOk, kNotAvailable);
        return;
    }
    childOpen_ = true;
    hide();
    childOpen_ = false;
    opener(*this);
    show();
    if (analysis)
        engine_.analysisShown();
}

void TZedec::setVisible(bool visible) {
    // Hidden while a window opened from here is up, without ending this window's own run.
    if (!visible && childOpen_) {
        QWidget::setVisible(false);
        return;
    }
    QDialog::setVisible(visible);
}

void TZedec::clearClicked() {
    if (engine_.running())
        return;
    engine_.clear(); // asks; the window follows through measurementCleared
}

void TZedec::measurementCleared() {
    setQualityView(false);
    redrawGrid();
    showPatient();
    showSex();
    showMeasurementDate();
    showPotential();
    if (!engine_.running())
        applyIdleEnabling();
}

void TZedec::cellClicked(int row, int column) {
    const int position = MeasurementGrid::positionAt(row, column);
    if (position > 0 && engine_.running())
        engine_.choosePosition(position);
}

void TZedec::setQualityView(bool quality) {
    qualityView_ = quality;
    viewToggle_->setChecked(quality);
    redrawGrid();
}

void TZedec::redrawGrid() {
    const MeasurementRecord& m = state_.measurement;
    for (int p = 1; p <= kPointCount; ++p) {
        const int point = settings_.sequence.position[size_t(p - 1)];
        const double value = m.values[size_t(point - 1)];
        const GridCell cell =
            qualityView_ ? MeasurementGrid::qualityCell(value, m.quality[size_t(point - 1)])
                         : MeasurementGrid::valueCell(value);
        const MeasurementGrid::Cell at = MeasurementGrid::cellOf(p);
        QTableWidgetItem* item = grid_->item(at.row, at.column);
        item->setText(cell.text);
        item->setForeground(cell.colour);
    }
    gridTitle_->setText(qualityView_ ? QStringLiteral("Data Quality Score")
                                     : QStringLiteral("Meridian Energy Values"));
    average_->setText(qualityView_ ? MeasurementGrid::qualityAverage(m.values, m.quality)
                                   : MeasurementGrid::valueAverage(m.values));
}

void TZedec::selectPosition(int position) {
    const MeasurementGrid::Cell at = MeasurementGrid::cellOf(position);
    grid_->setCurrentCell(at.row, at.column);
}

void TZedec::showPatient() {
    const PatientRecord& p = state_.patient;
    patientNo_->setText(p.custNo);
    patientName_->setText(p.name);
    patientName_->setToolTip(p.name); // the whole name where the label cuts it
    patientTel_->setText(p.tel);
    if (hasBirthDate(p.birthDate)) {
        patientDob_->setText(shortDate(p.birthDate));
        patientAge_->setText(
            QString::asprintf("%3.1f", (std::floor(now()) - p.birthDate) / 365.0).trimmed());
    } else {
        patientDob_->clear();
        patientAge_->clear();
    }
}

void TZedec::showMeasurementDate() {
    const MeasurementRecord& m = state_.measurement;
    const double sum = std::accumulate(m.values.begin(), m.values.end(), 0.0);
    if (sum == 0 || m.dateTime == 0) {
        measurementDate_->clear();
        measurementTime_->clear();
        measurementAge_->clear();
        return;
    }
    measurementDate_->setText(shortDate(m.dateTime));
    measurementTime_->setText(longTime(m.dateTime));
    const double birth = state_.patient.birthDate;
    measurementAge_->setText(
        hasBirthDate(birth) ? QString::asprintf("%3.1f", (m.dateTime - birth) / 365.0).trimmed()
                            : QString());
}

void TZedec::showPotential() {
    showChoice(potentialButton_, engine_.options().highPotential);
}

void TZedec::showSex() {
    showChoice(sexButton_, state_.patient.male ? 0 : 1);
}

void TZedec::showProcedure() {
    const MeasuringOptions& o = engine_.options();
    if (o.userProcedure) {
        leds_[5]->setText(QString::asprintf("%2.1f", o.userMeasuringMs / 1000.0));
        leds_[6]->setText(QString::asprintf("%2.1f", o.userFinalWindowMs / 1000.0));
    } else {
        leds_[5]->setText(QStringLiteral("2.0"));
        leds_[6]->setText(QStringLiteral("0.5"));
    }
    for (int i : {5, 6})
        setLedColour(leds_[size_t(i)], o.userProcedure ? kLedGreen : kLedYellow);
    const bool adjustable = o.userProcedure && !engine_.running();
    measuringSpin_->setEnabled(adjustable);
    finalSpin_->setEnabled(adjustable);
}

void TZedec::showSensitivity(int position) {
    leds_[3]->setText(position == kSensitivityDefaultPosition
                          ? QStringLiteral("default (1.0)")
                          : QString::asprintf("%1.1f", position / 10.0));
}

void TZedec::setSensitivityPosition(int position) {
    // Each control moves the other; the engine recomputes the contact threshold.
    const QSignalBlocker a(sensitivitySpin_);
    const QSignalBlocker b(sensitivityTrack_);
    sensitivitySpin_->setValue(position);
    sensitivityTrack_->setValue(position);
    engine_.setSensitivity(position / 10.0);
    showSensitivity(position);
}

void TZedec::setProcedure(bool user) {
    MeasuringOptions o = engine_.options();
    o.userProcedure = user;
    if (!engine_.setOptions(o))
        qCWarning(lcMeasure) << "The procedure cannot change now";
    showChoice(procedureButton_, engine_.options().userProcedure ? 1 : 0);
    showProcedure();
}

void TZedec::setUserTimes() {
    MeasuringOptions o = engine_.options();
    o.userMeasuringMs = measuringSpin_->value() * 100;
    o.userFinalWindowMs = finalSpin_->value() * 100;
    if (!engine_.setOptions(o))
        qCWarning(lcMeasure) << "The measuring times cannot change now";
    showProcedure();
}

void TZedec::setGuideMode(GuidePictureMode mode) {
    guideMode_ = mode;
    if (engine_.running() && currentPoint_ > 0)
        showGuide(currentPoint_);
}

void TZedec::showGuide(int point) {
    currentPoint_ = point;
    const PointGuide guide = pointGuide(point, guideMode_);
    location_->setText(guide.location);
    meridianName_->setText(guide.meridianName);
    pointName_->setText(guide.pointName);
    pictureLabel1_->setText(guide.pictureLabel1);
    pictureLabel2_->setText(guide.pictureLabel2);
    pictureLabel1_->show();
    pictureLabel2_->show();
    const auto image = loadGuidePicture(guidePicturePath(dataFolder_, guide.pictureFile), nullptr);
    if (image) {
        picture_->setPixmap(QPixmap::fromImage(image->scaled(
            picture_->contentsRect().size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    } else {
        picture_->clear();
    }
    pictureShown_ = image.has_value();
}

void TZedec::clearGuide() {
    currentPoint_ = 0;
    pictureShown_ = false;
    picture_->clear();
    for (QLabel* label : {location_, meridianName_, pointName_, pictureLabel1_, pictureLabel2_})
        label->clear();
    pictureLabel1_->hide();
    pictureLabel2_->hide();
}

bool TZedec::guidePictureShown() const {
    return pictureShown_;
}

void TZedec::applyShowingRules() {
    showSex();
    grid_->setEnabled(false);
    setQualityView(false);
    MeasurementRecord& m = state_.measurement;
    if (std::accumulate(m.values.begin(), m.values.end(), 0.0) != 0)
        state_.measurementHoldsData = true;
    showMeasurementDate();
    showPatient();
    showPotential();
    showProcedure();
    clearGuide();
    applyIdleEnabling();
    refreshDisplays();
}

void TZedec::applyIdleEnabling() {
    const MeasurementRecord& m = state_.measurement;
    const bool allValues =
        std::all_of(m.values.begin(), m.values.end(), [](double v) { return v != 0; });
    for (QPushButton* b : {start_, recall_, manual_, quit_})
        b->setEnabled(true);
    stop_->setEnabled(false);
    analyze_->setEnabled(allValues);
    compare_->setEnabled(allValues);
    save_->setEnabled(state_.measurementHoldsData);
    clear_->setEnabled(state_.measurementHoldsData);
    viewToggle_->setEnabled(true);
    pointStart_->setEnabled(false);
    potentialButton_->setEnabled(true);
    procedureButton_->setEnabled(true);
    grid_->setEnabled(false);
    showProcedure();
    start_->setDefault(true);
}

void TZedec::applyRunningEnabling() {
    for (QPushButton* b : {start_, analyze_, save_, recall_, clear_, manual_, compare_, quit_})
        b->setEnabled(false);
    stop_->setEnabled(true);
    viewToggle_->setEnabled(false);
    potentialButton_->setEnabled(false);
    procedureButton_->setEnabled(false);
    measuringSpin_->setEnabled(false);
    finalSpin_->setEnabled(false);
    grid_->setEnabled(true);
    grid_->setFocus();
}

void TZedec::runStarted() {
    applyRunningEnabling();
    dirty_ = true;
    refreshDisplays();
}

void TZedec::runEnded() {
    if (engine_.running())
        return;
    clearGuide();
    grid_->setCurrentCell(1, 1);
    grid_->clearSelection();
    statusBar_->clearMessage();
    redrawGrid();
    showMeasurementDate();
    showPotential();
    applyIdleEnabling();
    refreshDisplays();
    if (isVisible())
        start_->setFocus();
}

void TZedec::positionChanged(int position, int point) {
    showGuide(point);
    selectPosition(position);
    redrawGrid();
    dirty_ = true;
}

void TZedec::pointCompleted(int, int) {
    redrawGrid();
    showMeasurementDate();
    dirty_ = true;
}

void TZedec::refreshDisplays() {
    dirty_ = false;
    const MeasurementDisplay& d = engine_.display();
    const auto f51 = [](double v) { return QString::asprintf("%5.1f", v); };
    if (d.running) {
        setText(leds_[0], f51(d.value));
        setText(leds_[1], f51(d.compensated));
        setText(leds_[2], d.quality > 0 ? f51(d.quality) : QStringLiteral("0.0"));
        setText(leds_[4], d.remainingSeconds ? f51(*d.remainingSeconds) : QStringLiteral("off"));
    } else {
        for (int i : {0, 1, 2})
            setText(leds_[size_t(i)], QStringLiteral("0.0"));
        setText(leds_[4], QStringLiteral("off"));
    }
    const QualityColour colour = d.running ? d.qualityColour : QualityColour::Green;
    if (colour != shownQualityColour_) {
        shownQualityColour_ = colour;
        setLedColour(leds_[2], colour == QualityColour::Green    ? kLedGreen
                               : colour == QualityColour::Yellow ? kLedYellow
                                                                 : kLedRed);
        setBarColour(bars_[3], colour == QualityColour::Green    ? kBarGreen
                               : colour == QualityColour::Yellow ? kBarYellow
                                                                 : kBarRed);
    }
    const int values[] = {d.progressPercent, d.valueBar, d.compensatedBar, d.qualityBar};
    for (size_t i = 0; i < bars_.size(); ++i) {
        const int v = d.running ? std::clamp(values[i], 0, 100) : 0;
        if (bars_[i]->value() != v)
            bars_[i]->setValue(v);
    }
    setText(samplingRate_, QString::number(d.running ? d.samplingRate : 0));
    countdown_->setVisible(d.running && d.countdownVisible);
    setText(countdown_, d.countdownText);
    setText(runStatus_, d.running ? d.status : QString());
    pointStart_->setEnabled(d.running && d.pointStartEnabled);
    showLamp();
    graph_->update();
}

void TZedec::showLamp() {
    const MeasurementLamp lamp =
        engine_.display().running ? engine_.display().lamp : MeasurementLamp::Off;
    auto* l = static_cast<Lamp*>(lamp_);
    switch (lamp) {
    case MeasurementLamp::Off:
        l->setState(QStringLiteral("off"));
        break;
    case MeasurementLamp::GreenBlinking:
        l->setState(blinkOn_ ? QStringLiteral("green") : QStringLiteral("off"));
        break;
    case MeasurementLamp::RedSteady:
        l->setState(QStringLiteral("red"));
        break;
    case MeasurementLamp::Green:
        l->setState(QStringLiteral("green"));
        break;
    }
}

void TZedec::saveOptions() {
    const MeasuringOptions& o = engine_.options();
    state_.measurement.highPotential = o.highPotential;
    o.writeTo(settings_);
    settings_.guidePictureMode = int(guideMode_);
    if (!services_.saveSettings)
        return;
    QString error;
    if (!services_.saveSettings(&error))
        qCWarning(lcMeasure).noquote() << "The measuring options were not saved:" << error;
}

void TZedec::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    applyShowingRules();
    frameTimer_->start();
    blinkTimer_->start();
    start_->setFocus();
}

bool TZedec::event(QEvent* event) {
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

void TZedec::done(int r) {
    // Escape, Quit or the window's close during a run stop the run, not the window.
    if (engine_.running()) {
        engine_.requestStop();
        return;
    }
    frameTimer_->stop();
    blinkTimer_->stop();
    saveOptions();
    QDialog::done(r);
}

} // namespace viro
