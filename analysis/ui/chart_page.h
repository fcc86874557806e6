#pragma once

#include "analysis/analysis_result.h"
#include "analysis/charts/chart_catalog.h"
#include "analysis/measurement_record.h"
#include "analysis/meridian_model.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <optional>

class QLabel;
class QTimer;
class QToolButton;

namespace viro {

class ChartCanvas;

// The "Charts" page of the analysis window: six family buttons, up to four chart buttons, the
// title line, the drawing area and the blinking "Energy Low" indicator. The chosen family and
// the chart chosen in each family live in the application-wide state passed in.
class ChartPage : public QWidget {
    Q_OBJECT
public:
    ChartPage(int& chartCategory, std::array<int, kChartFamilyCount>& chartNumbers,
              QWidget* parent = nullptr);

    // The analysed measurement to draw; the page keeps its own copy.
    void setAnalysis(const AnalysisResult& result, const MeasurementRecord& record,
                     const MeasuringSequence& order, bool male, const QString& dataFolder);
    void clearAnalysis();

    // Sets the buttons, title and status text for the current selection and draws its chart;
    // with `clearFirst` the drawing area is erased first.
    void ShowChart(bool clearFirst);

    QString title() const;
    QString statusText() const { return status_; }
    QString errorText() const;
    const QImage& chartImage() const { return image_; }

signals:
    // The text for the first panel of the window's status bar.
    void statusTextChanged(const QString& text);
    // A family or chart button was used (the window hides its history overlay).
    void chartCommand();

private:
    void familyClicked(int family);
    void chartClicked(int chart);
    void blink();

    int& category_;
    std::array<int, kChartFamilyCount>& charts_;
    std::array<QToolButton*, kChartFamilyCount> familyButtons_{};
    std::array<QToolButton*, 4> chartButtons_{};
    QLabel* title_ = nullptr;
    QLabel* energyLow_ = nullptr;
    QLabel* lamp_ = nullptr;
    QLabel* error_ = nullptr;
    ChartCanvas* area_ = nullptr;
    QTimer* blinkTimer_ = nullptr;
    bool lampLit_ = false;

    std::optional<AnalysisResult> result_;
    MeasurementRecord record_;
    MeasuringSequence order_;
    bool male_ = true;
    QString dataFolder_;
    QString status_;
    QImage image_;
};

// A small picture of our own for a chart button, by its image index (6 to 25).
QIcon chartButtonIcon(int imageIndex);

} // namespace viro
