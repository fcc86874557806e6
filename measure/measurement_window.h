#pragma once

#include "measure/measurement_engine.h"
#include "measure/point_guide.h"

#include <QColor>
#include <QDialog>
#include <QString>

#include <array>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QStatusBar;
class QTableWidget;
class QTimer;

namespace viro {

class ApplicationState;
class MeasurementJournal;
class ProbeLink;
class StabilityGraphBox;
class TickClock;
struct Settings;

// The cells of the measurement grid: what each view shows of one point.
struct GridCell {
    QString text;
    QColor colour;
};

// The grid of the measurement window: 3 rows by 13 columns, the meridians of the measuring
// order across, "Left" and "Right" down. Hand positions 1-12 fill columns 1-6, foot positions
// 13-24 columns 7-12.
struct MeasurementGrid {
    static constexpr int kRows = 3;
    static constexpr int kColumns = 13;

    struct Cell {
        int row = 0;
        int column = 0;
        friend bool operator==(const Cell&, const Cell&) = default;
    };
    static Cell cellOf(int position);
    // The position of a point cell, 0 for a heading.
    static int positionAt(int row, int column);

    static const QColor kQualityLow;    // below 60
    static const QColor kQualityMiddle; // 60 to below 80
    static const QColor kQualityHigh;   // 80 and up

    static GridCell valueCell(double value);
    static GridCell qualityCell(double value, double quality);
    // "Avg:" of the values view: the mean of the values that are not 0; empty for none.
    static QString valueAverage(const std::array<double, kPointCount>& values);
    // "Avg:" of the quality view: the shown qualities over the points that have a value.
    static QString qualityAverage(const std::array<double, kPointCount>& values,
                                  const std::array<double, kPointCount>& quality);
};

// The measurement window: the guided 24-point run with its grid, guide picture, displays,
// stability graph and options. A view over MeasurementEngine, which runs the measurement;
// the window forwards the buttons and options to it and shows what it holds.
class TZedec : public QDialog {
    Q_OBJECT
public:
    // The windows opened from here. An empty opener is a function not in this version.
    struct Services {
        using Opener = std::function<void(TZedec&)>;
        Opener openAnalysis;
        Opener openSave;
        Opener openRecall;
        Opener openManual;
        Opener openCompare;
        // Writes the settings file once the options are put into the settings; empty writes
        // nothing.
        std::function<bool(QString* error)> saveSettings;
    };

    static constexpr int kFrameMs = 40; // displays and curve repaint at 25 frames a second
    static constexpr int kBlinkMs = 200;

    TZedec(ProbeLink& probe, TickClock& clock, ApplicationState& state, Settings& settings,
           QString dataFolder, MeasurementJournal* journal, Services services,
           QWidget* parent = nullptr);
    ~TZedec() override;

    MeasurementEngine& engine() { return engine_; }
    // Runs the measurement from `fromPosition` (Start runs it from 1; a restored run goes on
    // where it was interrupted) and returns when it ends.
    void startRun(int fromPosition = 1);
    // The current time as a Jet date value, for the engine and the ages shown.
    void setNow(MeasurementEngine::NowFn now);

    bool qualityView() const { return qualityView_; }
    void setQualityView(bool quality);

    // Puts what the engine holds into the displays and repaints the graph now; the frame timer
    // does the same when the engine changed.
    void refreshDisplays();
    // The picture of the guide is on show (false while idle or when it could not be read).
    bool guidePictureShown() const;

    // Hidden while a window opened from here is up; that hiding does not end exec().
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

public slots:
    void done(int r) override;

private:
    QWidget* buildToolBar();
    QWidget* buildPatientPanel();
    QWidget* buildOptionsPanel();
    QWidget* buildGridPanel();
    QWidget* buildDisplayPanel();
    QWidget* buildGuidePanel();
    void setTabOrders();

    QPushButton* addMenuButton(const char* name, const QStringList& choices,
                               const std::function<void(int)>& chosen);
    void showChoice(QPushButton* button, int index);

    void startClicked();
    void openChild(const Services::Opener& opener, bool analysis);
    void clearClicked();
    void cellClicked(int row, int column);

    void applyShowingRules();
    void applyIdleEnabling();
    void applyRunningEnabling();
    void runStarted();
    void runEnded();
    void positionChanged(int position, int point);
    void pointCompleted(int position, int point);
    void measurementCleared();

    void showGuide(int point);
    void clearGuide();
    void redrawGrid();
    void selectPosition(int position);
    void showPatient();
    void showMeasurementDate();
    void showPotential();
    void showSex();
    void showProcedure();
    void showSensitivity(int position);
    void showLamp();

    void setSensitivityPosition(int position);
    void setProcedure(bool user);
    void setUserTimes();
    void setGuideMode(GuidePictureMode mode);
    void saveOptions();

    double now() const;

    ApplicationState& state_;
    Settings& settings_;
    QString dataFolder_;
    Services services_;
    MeasurementEngine engine_;
    MeasurementEngine::NowFn now_;
    GuidePictureMode guideMode_ = GuidePictureMode::Picture;
    bool qualityView_ = false;
    bool dirty_ = false;
    bool blinkOn_ = true;
    bool childOpen_ = false;
    bool pictureShown_ = false;
    int currentPoint_ = 0;

    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QPushButton* analyze_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* recall_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* manual_ = nullptr;
    QPushButton* compare_ = nullptr;
    QPushButton* quit_ = nullptr;
    QPushButton* pointStart_ = nullptr;
    QPushButton* viewToggle_ = nullptr;

    QPushButton* soundButton_ = nullptr;
    QPushButton* potentialButton_ = nullptr;
    QPushButton* guideButton_ = nullptr;
    QPushButton* methodButton_ = nullptr;
    QPushButton* channelButton_ = nullptr;
    QPushButton* procedureButton_ = nullptr;
    QPushButton* sexButton_ = nullptr;
    QSpinBox* sensitivitySpin_ = nullptr;
    QSlider* sensitivityTrack_ = nullptr;
    QSpinBox* measuringSpin_ = nullptr;
    QSpinBox* finalSpin_ = nullptr;

    QTableWidget* grid_ = nullptr;
    QLabel* gridTitle_ = nullptr;
    QLabel* average_ = nullptr;

    QLabel* patientNo_ = nullptr;
    QLabel* patientName_ = nullptr;
    QLabel* patientDob_ = nullptr;
    QLabel* patientTel_ = nullptr;
    QLabel* patientAge_ = nullptr;
    QLabel* measurementDate_ = nullptr;
    QLabel* measurementTime_ = nullptr;
    QLabel* measurementAge_ = nullptr;

    QLabel* picture_ = nullptr;
    QLabel* pictureLabel1_ = nullptr;
    QLabel* pictureLabel2_ = nullptr;
    QLabel* location_ = nullptr;
    QLabel* meridianName_ = nullptr;
    QLabel* pointName_ = nullptr;

    std::array<QLabel*, 7> leds_{};       // RzLEDDisplay1-7
    std::array<QProgressBar*, 4> bars_{}; // RzProgressBar1-4
    QLabel* samplingRate_ = nullptr;
    QLabel* countdown_ = nullptr;
    QWidget* lamp_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* runStatus_ = nullptr;
    StabilityGraphBox* graph_ = nullptr;

    QTimer* frameTimer_ = nullptr;
    QTimer* blinkTimer_ = nullptr;
    QualityColour shownQualityColour_ = QualityColour::Red; // forces the first styling
};

} // namespace viro
