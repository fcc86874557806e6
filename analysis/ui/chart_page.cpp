#include "analysis/ui/chart_page.h"

#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace viro {

// The drawing area shows the page's chart picture; repainting never redraws or clears it.
class ChartCanvas : public QWidget {
public:
    ChartCanvas(const QImage& image, QWidget* parent) : QWidget(parent), image_(image) {
        setObjectName("ChartArea");
        setFixedSize(965, 554);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.drawImage(0, 0, image_);
    }

private:
    const QImage& image_;
};

namespace {

// Which kind of little picture a chart button shows.
enum class Glyph { Bars, Markers, Lines, Pie, Panel, Clock };

Glyph glyphOf(int imageIndex) {
    switch (imageIndex) {
    case 6:
        return Glyph::Panel;
    case 7:
    case 8:
    case 21:
    case 22:
    case 23:
        return Glyph::Pie;
    case 9:
    case 12:
        return Glyph::Markers;
    case 11:
    case 13:
    case 14:
    case 17:
    case 18:
        return Glyph::Lines;
    case 24:
    case 25:
        return Glyph::Clock;
    default:
        return Glyph::Bars;
    }
}

} // namespace

QIcon chartButtonIcon(int imageIndex) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor normal(145, 255, 113), tolerable(254, 249, 141), poor(255, 70, 70);
    p.setPen(QPen(Qt::black, 1));
    switch (glyphOf(imageIndex)) {
    case Glyph::Bars: {
        const int heights[] = {8, -5, 12, -10, 4, 7};
        const QColor fills[] = {normal, normal, tolerable, poor, normal, tolerable};
        p.drawLine(2, 16, 30, 16);
        for (int i = 0; i < 6; ++i) {
            p.setBrush(fills[i]);
            const int h = heights[i] + (imageIndex % 3) - 1;
            p.drawRect(QRect(3 + i * 4 + (i / 3) * 2, h > 0 ? 16 - h : 16, 4, std::abs(h)));
        }
        break;
    }
    case Glyph::Markers:
        for (int i = 0; i < 6; ++i) {
            p.setBrush(i == 3 ? poor : i == 1 ? tolerable : normal);
            p.drawRect(3 + i * 4 + (i / 3) * 2, 10 + (i * 7 + imageIndex) % 12, 4, 3);
        }
        p.setPen(QPen(QColor(0, 0, 255), 1, Qt::DotLine));
        p.drawLine(2, 17, 30, 17);
        break;
    case Glyph::Lines:
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawPolyline(QPolygon({{4, 20}, {11, 12}, {18, 18}, {25, 9}}));
        p.setPen(QPen(QColor(0, 0, 255), 1.5));
        p.drawPolyline(QPolygon({{4, 12}, {11, 22}, {18, 14}, {25, 21}}));
        p.setPen(Qt::black);
        p.setBrush(poor);
        p.drawRect(24, 7, 4, 4);
        p.setBrush(normal);
        p.drawRect(24, 19, 4, 4);
        break;
    case Glyph::Pie: {
        const QColor fills[] = {normal, tolerable, normal, poor, normal, normal};
        const int parts = imageIndex == 8 ? 8 : imageIndex == 7 ? 12 : 6;
        for (int i = 0; i < parts; ++i) {
            const int r = 8 + (i * 5 + imageIndex) % 7;
            p.setBrush(fills[i % 6]);
            p.setPen(QPen(fills[i % 6].darker(130), 1));
            p.drawPie(QRect(16 - r, 16 - r, 2 * r, 2 * r), 90 * 16 - i * 5760 / parts,
                      -5760 / parts);
        }
        p.setPen(QPen(QColor(128, 128, 128), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRect(1, 1, 30, 30));
        p.setBrush(QColor(221, 222, 255));
        p.drawEllipse(QRect(12, 12, 8, 8));
        break;
    }
    case Glyph::Panel:
        p.setPen(QPen(QColor(255, 128, 0), 2));
        p.drawRect(2, 2, 24, 22);
        p.setPen(QPen(Qt::black, 1));
        p.drawLine(14, 4, 14, 22);
        p.drawLine(4, 13, 24, 13);
        p.setBrush(QColor(0, 255, 0));
        p.drawEllipse(QPointF(17, 10), 3.5, 3.5);
        p.setBrush(poor);
        p.drawRect(28, 4, 3, 20);
        break;
    case Glyph::Clock:
        p.setBrush(QColor(255, 246, 230));
        p.drawEllipse(QRect(3, 3, 26, 26));
        p.setPen(QPen(QColor(233, 122, 22), 2));
        p.drawLine(16, 16, 16, 7);
        p.drawLine(16, 16, imageIndex == 24 ? 23 : 9, 19);
        break;
    }
    return QIcon(pixmap);
}

ChartPage::ChartPage(int& chartCategory, std::array<int, kChartFamilyCount>& chartNumbers,
                     QWidget* parent)
    : QWidget(parent), category_(chartCategory), charts_(chartNumbers) {
    installChartFonts();
    setObjectName("ChartPage");
    image_ = QImage(965, 554, QImage::Format_RGB32);
    image_.fill(Qt::white);

    auto* buttons = new QHBoxLayout;
    const auto& families = chartFamilies();
    for (int f = 0; f < kChartFamilyCount; ++f) {
        auto* b = new QToolButton(this);
        b->setObjectName(QStringLiteral("CategoryButton%1").arg(f + 1));
        b->setCheckable(true);
        b->setAutoRaise(true);
        b->setIconSize(QSize(32, 32));
        b->setToolTip(families[size_t(f)].hint);
        b->setStatusTip(families[size_t(f)].hint);
        b->setIcon(chartButtonIcon(families[size_t(f)].buttons[0].imageIndex));
        connect(b, &QToolButton::clicked, this, [this, f] { familyClicked(f + 1); });
        familyButtons_[size_t(f)] = b;
        buttons->addWidget(b);
    }
    buttons->addSpacing(24);
    for (int c = 0; c < 4; ++c) {
        auto* b = new QToolButton(this);
        b->setObjectName(QStringLiteral("ChartButton%1").arg(c + 1));
        b->setCheckable(true);
        b->setAutoRaise(true);
        b->setIconSize(QSize(32, 32));
        connect(b, &QToolButton::clicked, this, [this, c] { chartClicked(c + 1); });
        chartButtons_[size_t(c)] = b;
        buttons->addWidget(b);
    }
    buttons->addStretch();
    energyLow_ = new QLabel(QStringLiteral("Energy Low"), this);
    energyLow_->setObjectName("EnergyLowLabel");
    energyLow_->setStyleSheet("color: rgb(255, 0, 0); font-weight: bold;");
    lamp_ = new QLabel(this);
    lamp_->setObjectName("EnergyLowLamp");
    lamp_->setFixedSize(14, 14);
    buttons->addWidget(lamp_);
    buttons->addWidget(energyLow_);

    title_ = new QLabel(this);
    title_->setObjectName("ChartTitle");
    QFont titleFont(QStringLiteral("Tahoma"), 10);
    titleFont.setBold(true);
    title_->setFont(titleFont);
    title_->setStyleSheet("color: rgb(0, 0, 128);");

    area_ = new ChartCanvas(image_, this);
    area_->setFont(QFont(QStringLiteral("Tahoma"), 8));
    error_ = new QLabel(area_);
    error_->setObjectName("ChartError");
    error_->setStyleSheet("color: rgb(255, 0, 0); background: transparent;");
    error_->setGeometry(20, 20, 925, 40);
    error_->setWordWrap(true);
    error_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(title_);
    layout->addWidget(area_);
    layout->addStretch();

    blinkTimer_ = new QTimer(this);
    blinkTimer_->setInterval(500);
    connect(blinkTimer_, &QTimer::timeout, this, &ChartPage::blink);
    energyLow_->hide();
    lamp_->hide();
}

void ChartPage::setAnalysis(const AnalysisResult& result, const MeasurementRecord& record,
                            const MeasuringSequence& order, bool male, const QString& dataFolder) {
    result_ = result;
    record_ = record;
    order_ = order;
    male_ = male;
    dataFolder_ = dataFolder;
}

void ChartPage::clearAnalysis() {
    result_.reset();
}

QString ChartPage::title() const {
    return title_->text();
}

QString ChartPage::errorText() const {
    return error_->isHidden() ? QString() : error_->text();
}

void ChartPage::familyClicked(int family) {
    category_ = family;
    emit chartCommand();
    ShowChart(true);
}

void ChartPage::chartClicked(int chart) {
    charts_[size_t(std::clamp(category_, 1, kChartFamilyCount) - 1)] = chart;
    emit chartCommand();
    ShowChart(true);
}

void ChartPage::blink() {
    lampLit_ = !lampLit_;
    lamp_->setStyleSheet(lampLit_ ? "background: rgb(255, 0, 0); border-radius: 7px;"
                                  : "background: rgb(128, 0, 0); border-radius: 7px;");
}

void ChartPage::ShowChart(bool clearFirst) {
    for (QToolButton* b : chartButtons_)
        b->setChecked(false);

    const bool low = result_ && result_->LowEnergy;
    energyLow_->setVisible(low);
    lamp_->setVisible(low);
    if (low && !blinkTimer_->isActive()) {
        blink();
        blinkTimer_->start();
    } else if (!low) {
        blinkTimer_->stop();
    }

    if (clearFirst)
        image_.fill(Qt::white);

    // A selection outside the table (state from elsewhere) falls back to the first chart.
    if (category_ < 1 || category_ > kChartFamilyCount)
        category_ = 1;
    const ChartFamily& family = chartFamilies()[size_t(category_ - 1)];
    for (int f = 0; f < kChartFamilyCount; ++f)
        familyButtons_[size_t(f)]->setChecked(f + 1 == category_);
    for (int c = 0; c < 4; ++c) {
        const ChartButton& button = family.buttons[size_t(c)];
        QToolButton* b = chartButtons_[size_t(c)];
        b->setToolTip(button.hint);
        b->setStatusTip(button.hint);
        b->setProperty("imageIndex", button.imageIndex);
        b->setIcon(button.chart ? chartButtonIcon(button.imageIndex) : QIcon());
        b->setVisible(button.chart.has_value());
    }
    int& chosen = charts_[size_t(category_ - 1)];
    if (chosen < 1 || chosen > 4 || !family.buttons[size_t(chosen - 1)].chart)
        chosen = 1;
    const ChartButton& button = family.buttons[size_t(chosen - 1)];
    chartButtons_[size_t(chosen - 1)]->setChecked(true);
    status_ = button.status;
    emit statusTextChanged(status_);
    title_->setText(chartInfo(*button.chart).caption);

    error_->hide();
    error_->clear();
    if (result_) {
        QString error;
        bool drawn = false;
        {
            QPainter painter(&image_);
            painter.setFont(area_->font());
            const ChartInput input{*result_, record_, order_, male_, dataFolder_};
            drawn = drawChart(*button.chart, painter,
                              ChartArea{image_.width(), image_.height(), {}}, input, &error);
        }
        if (!drawn) {
            image_.fill(Qt::white);
            error_->setText(error);
            error_->show();
        }
    }
    area_->update();
}

} // namespace viro
