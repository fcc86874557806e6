#include "analysis/charts/composite_charts.h"

#include "analysis/charts/chart_background.h"
#include "analysis/charts/chart_painter.h"
#include "analysis/charts/chart_parts.h"
#include "analysis/compute_analysis.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

namespace viro {

namespace cc = chart_colors;
using namespace chart_parts;

namespace {

const QString kTahoma = QStringLiteral("Tahoma");
const QString kTimes = QStringLiteral("Times New Roman");

double rad(double degrees) {
    return degrees * std::numbers::pi / 180.0;
}

// The polar frame of the pie charts: a region, its radii and centre.
struct Polar {
    Polar(double l, double t, double r, double b)
        : left(l), top(t), right(r), bottom(b), rx((r - l) / 2), ry((b - t) / 2), cx(rnd(l + rx)),
          cy(rnd(t + ry)) {}
    double left, top, right, bottom, rx, ry, cx, cy;
    double labelTop(double phi) const { return cy - 1.1 * ry * std::sin(rad(phi)) - 5; }
};

void sector(ChartPainter& cp, const Polar& p, double from, double to, double factor,
            const QColor& color) {
    cp.pen(color, 1);
    cp.brush(color);
    cp.pie(p.cx, p.cy, factor * p.rx, factor * p.ry, from, to);
    cp.noBrush();
    cp.pen(cc::kLightGrey, 2);
    cp.pie(p.cx, p.cy, p.rx, p.ry, from, to);
}

void outerAndInner(ChartPainter& cp, const Polar& p) {
    cp.pen(cc::kGrey, 3);
    cp.noBrush();
    cp.ellipse(p.left, p.top, p.right, p.bottom);
    cp.pen(cc::kLightGrey, 2);
    cp.brush(cc::kInnerFill);
    const double ix = p.rx * 3 / 14, iy = p.ry * 3 / 14;
    cp.ellipse(p.cx - ix, p.cy - iy, p.cx + ix, p.cy + iy);
    cp.noBrush();
}

void valueLabel(ChartPainter& cp, const Polar& p, double phi, const QString& text) {
    cp.textCentred(p.cx - p.rx / 2 * std::cos(rad(phi)), p.cy - p.ry / 2 * std::sin(rad(phi)), text,
                   cc::kBlack);
}

QColor scoreClassColor(double v) {
    return v >= 8 ? cc::kNormal : v >= 7 ? cc::kTolerable : cc::kPoor;
}
QColor scoreTextColor(double v) {
    return v >= 8 ? QColor(53, 210, 45) : v >= 7 ? cc::kOlive : cc::kRed;
}

// Green, yellow or red marker of a gauge: class 0, moderate, beyond the tolerable.
QColor gaugeColor(int cls, int redFrom) {
    const int a = std::abs(cls);
    return a == 0 ? QColor(0, 255, 0) : a >= redFrom ? cc::kRed : cc::kYellow;
}

} // namespace

void DrawEciPie(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                const MeasuringSequence& order) {
    ChartPainter cp(painter, area.style);
    const int W = area.width, H = area.height;
    const Polar p(rnd(W / 14.0), 30, rnd(W / 14.0 * 8.3), H - 30);

    std::array<double, 12> values{};
    for (int i = 1; i <= 12; ++i) {
        const double v = (r.PointScore[size_t(order.pairLeft[size_t(i - 1)] - 1)] +
                          r.PointScore[size_t(order.pairRight[size_t(i - 1)] - 1)]) /
                         2;
        values[size_t(i - 1)] = v;
        const double from = 90 + 30 * (i - 1);
        sector(cp, p, from, from + 30, (v + 4) / 14, scoreClassColor(v));
    }
    outerAndInner(cp, p);
    for (int i = 1; i <= 12; ++i) {
        const double phi = 105 + 30 * (i - 1);
        const QString label = meridian(order.order[size_t(i - 1)]).code;
        const double tw = cp.textWidth(label);
        const double c = std::cos(rad(phi));
        const double x =
            i <= 6 ? p.cx - (1.1 * p.rx - tw / 2) * c : p.cx - (tw / 2 + 1.1 * p.rx) * c;
        cp.text(x, p.labelTop(phi), label, cc::kBlack);
        valueLabel(cp, p, phi, fixed(values[size_t(i - 1)], 3, 1));
    }

    const bool onPaper = area.style.printPointSize.has_value();
    cp.font(23, 4, onPaper, kTimes);
    cp.textCentred(p.cx, p.cy, fixed(r.IntegratedIndex, 3, 1), cc::kBlue);
    cp.font(10, 0, false, kTahoma);
    cp.textCentred(p.cx, p.cy - 20, QStringLiteral("Integrated Index"), cc::kBlack);
    cp.font(8, 0);

    const int X = rnd(W - W / 3.0 - 50);
    const int Y = rnd(H - H / 3.0);
    const double T = W - X - 80;
    const auto col = [X, T](double c) { return X + T / 7 * c; };
    const double rowX = X + T / 7 - 5;
    cp.textCentred(col(4.5), Y - 40, QStringLiteral("Energetic Composite Index"), cc::kBlue);
    cp.pen(cc::kBlack, 2);
    cp.line(rowX, Y - 20, X + T + 15, Y - 20);
    cp.line(rowX, Y + 130, X + T + 15, Y + 130);
    cp.pen(cc::kBlack, 1);
    cp.line(rowX, Y + 50, X + T + 15, Y + 50);
    cp.text(rowX, Y + 10, QStringLiteral("Left"), cc::kMaroon);
    cp.text(rowX, Y + 30, QStringLiteral("Right"), cc::kMaroon);
    cp.text(rowX, Y + 80, QStringLiteral("Left"), cc::kMaroon);
    cp.text(rowX, Y + 100, QStringLiteral("Right"), cc::kMaroon);

    double leftSum = 0, rightSum = 0;
    for (int i = 1; i <= 12; ++i) {
        const bool hand = i <= 6;
        const double x = col(hand ? i + 1 : i - 5);
        const int base = hand ? Y - 10 : Y + 60;
        const double ls = r.PointScore[size_t(order.pairLeft[size_t(i - 1)] - 1)];
        const double rs = r.PointScore[size_t(order.pairRight[size_t(i - 1)] - 1)];
        leftSum += ls;
        rightSum += rs;
        cp.bold(false);
        cp.textCentred(x, base, meridian(order.order[size_t(i - 1)]).code, cc::kNavy);
        cp.bold(true);
        cp.textCentred(x, base + 20, fixed(ls, 2, 1), scoreTextColor(ls));
        cp.textCentred(x, base + 40, fixed(rs, 2, 1), scoreTextColor(rs));
    }
    cp.bold(false);
    cp.textCentred(col(4), Y + 140, QStringLiteral("Left"), cc::kBlue);
    cp.textCentred(col(5), Y + 140, QStringLiteral("Right"), cc::kBlue);
    cp.textCentred(col(7), Y + 140, QStringLiteral("AVG."), cc::kBlue);
    cp.bold(true);
    cp.text(rowX, Y + 160, QStringLiteral("Average"), cc::kNavy);
    const double leftMean = leftSum / 12, rightMean = rightSum / 12;
    cp.textCentred(col(4), Y + 160, fixed(leftMean, 2, 1), scoreTextColor(leftMean));
    cp.textCentred(col(5), Y + 160, fixed(rightMean, 2, 1), scoreTextColor(rightMean));
    cp.font(14, 4, true);
    cp.textCentred(col(7), Y + 160, fixed(r.MeridiansIndex, 2, 1),
                   scoreTextColor(r.MeridiansIndex));
    cp.font();
}

void DrawAnsAnalysis(QPainter& painter, const ChartArea& area, const AnalysisResult& r) {
    ChartPainter cp(painter, area.style);
    const int W = area.width, H = area.height;
    cp.font(8, 0);
    const Polar p(rnd(W / 12.0 * 2.5) + 30, 30, rnd(W / 12.0 * 9.5) - 30, H - 30);

    struct Group {
        int group;
        const char* label;
    };
    static const std::array<Group, 8> kGroups{{{3, "Tri.Yin-RH"},
                                               {4, "Tri.Yang-RH"},
                                               {7, "Tri.Yin-RF"},
                                               {8, "Tri.Yang-RF"},
                                               {6, "Tri.Yang-LF"},
                                               {5, "Tri.Yin-LF"},
                                               {2, "Tri.Yang-LH"},
                                               {1, "Tri.Yin-LH"}}};
    const double hi = r.Hi;
    const auto factor = [hi](double g) { return (3 * hi / 14 + g) / (17 * hi / 14); };
    QString hiLabel, lowLabel;
    for (int i = 1; i <= 8; ++i) {
        const Group& g = kGroups[size_t(i - 1)];
        const double mean = r.GroupMean[size_t(g.group - 1)];
        QColor color = cc::kNormal;
        // The Hi colour wins a sector that is both; the legend names both groups all the same.
        if (mean == r.Hi)
            color = QColor(62, 62, 255);
        else if (mean == r.Low)
            color = QColor(255, 146, 64);
        if (mean == r.Hi)
            hiLabel = QString::fromLatin1(g.label);
        if (mean == r.Low)
            lowLabel = QString::fromLatin1(g.label);
        const double from = 90 + 45 * (i - 1);
        sector(cp, p, from, from + 45, factor(mean), color);
    }
    for (int i = 1; i <= 8; ++i) {
        const Group& g = kGroups[size_t(i - 1)];
        const double phi = 112 + 45 * (i - 1);
        const QString label = QString::fromLatin1(g.label);
        const double c = std::cos(rad(phi));
        const double x =
            i <= 4 ? p.cx - 1.1 * p.rx * c : p.cx - (cp.textWidth(label) + 1.1 * p.rx) * c;
        cp.text(x, p.labelTop(phi), label, cc::kNavy);
        valueLabel(cp, p, phi, fixed(r.GroupMean[size_t(g.group - 1)], 3, 1));
    }

    const double fa = factor(r.Average);
    cp.pen(cc::kRed, 1, Qt::DotLine);
    cp.ellipse(p.cx - fa * p.rx, p.cy - fa * p.ry, p.cx + fa * p.rx, p.cy + fa * p.ry);
    outerAndInner(cp, p);

    const double ratio = meanRatio(r.Hi, r.Low);
    const QColor ratioColor = r.AnsClass == 0   ? cc::kGreen
                              : r.AnsClass == 3 ? cc::kRed
                                                : cc::kAmber;
    cp.font(23, 4, true, kTimes);
    cp.textCentred(p.cx, p.cy - 20, fixed(ratio, 1, 2), ratioColor);
    cp.font(8, -2, false, kTahoma);
    cp.textCentred(p.cx, p.cy + 25, "Avg: " + fixed(r.Average, 3, 1), cc::kBlack);
    cp.font(8, 0);

    const int lx = rnd(W - W / 8.0);
    const int ly = rnd(H - H / 5.0);
    cp.text(lx, ly, "Average: " + fixed(r.Average, 3, 1), cc::kBlue);
    cp.text(lx, ly + 20, "Hi: " + hiLabel + " " + fixed(r.Hi, 3, 1), cc::kBlue);
    cp.text(lx, ly + 40, "Low: " + lowLabel + " " + fixed(r.Low, 3, 1), cc::kBlue);
    cp.text(lx, ly + 60, "Value: " + fixed(ratio, 1, 2) + "  (1~1.5)", cc::kBlue);
    cp.font();
}

void DrawMeasurementQuality(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                            const MeasurementRecord& record, const MeasuringSequence& order) {
    ChartPainter cp(painter, area.style);
    const int W = area.width, H = area.height;
    const ColumnLayout cols(W);
    const double w = cols.w;
    const int h = H - 50;
    const auto yOf = [h](double q) { return 50 + h - rnd(h / 100.0 * q); };

    cp.pen(cc::kBlack, 3);
    cp.line(50, 50, 50, h + 50);
    cp.pen(cc::kBlack, 2);
    cp.line(50, h, 50 + w, h);

    const int avgY = yOf(r.QualityAverage);
    cp.pen(cc::kBlue, 2);
    cp.line(50, avgY, 50 + w, avgY);
    cp.font(0, 0, true);
    cp.text(8, avgY - 6, fixed(r.QualityAverage, 3, 1), cc::kRed);
    cp.font();

    for (int s = 2; s <= kPointCount; s += 2) {
        const int x = cols.slotRight(s);
        if (s == 12)
            cp.pen(cc::kGrey, 2);
        else
            cp.pen(cc::kBlue, 1, Qt::DotLine);
        cp.line(x, h / 16 + 50, x, H);
    }

    for (int q = 0; q <= 100; q += 10) {
        const int y = yOf(q);
        cp.pen(cc::kBlack);
        cp.line(50, y, 50 + cols.tickLength(), y);
        cp.text(12, y - 6, QString::asprintf("%3d", q), cc::kNavy);
    }

    for (int i = 1; i <= kMeridianCount; ++i)
        cp.textCentred(cols.centre(i), h + 20, meridian(order.order[size_t(i - 1)]).code,
                       cc::kGreen);
    handFootLabels(cp, cols, h + 35);
    legend(cp, cols, 57, 7, 15,
           {QStringLiteral("Good"), QStringLiteral("Tolerable"), QStringLiteral("Poor")});

    cp.pen(cc::kRed, 1, Qt::DotLine);
    cp.line(50, yOf(60), 50 + w, yOf(60));
    cp.pen(cc::kOlive, 1, Qt::DotLine);
    cp.line(50, yOf(80), 50 + w, yOf(80));

    for (int s = 1; s <= kPointCount; ++s) {
        const int k = slotPoint(order, s);
        const double q = record.quality[size_t(k - 1)];
        QColor fill = cc::kTolerable, textColor = cc::kOlive;
        if (q < 60) {
            fill = cc::kPoor;
            textColor = cc::kRed;
        } else if (q >= 80) {
            fill = cc::kNormal;
            textColor = cc::kGreen;
        }
        const int y = std::max(yOf(q), 55);
        cp.pen(cc::kBlack);
        cp.brush(fill);
        cp.rect(cols.slotLeft(s) + 2, y - 5, cols.slotRight(s) - 1, y + 5);
        cp.noBrush();
        cp.font(0, -2);
        const QString label = fixed(q, 3, 1);
        // Centred in the slot: neighbouring scores of 100.0 would run into each other.
        cp.textCentred((cols.slotLeft(s) + cols.slotRight(s)) / 2, h + 4, label, textColor);
        cp.font();
    }
}

bool DrawBodyEnergyBalance(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                           bool male, const QString& dataFolder, QString* error) {
    const std::optional<QImage> image =
        loadChartBackground(dataFolder, QString::fromLatin1(kBodyEnergyBackground), error);
    if (!image)
        return false;
    ChartPainter cp(painter, area.style);
    const double W = area.width, H = area.height;
    const double PW = W / 5 * 4, PH = H / 8 * 7;
    const double SX = PW - 60, SY = PH - 60;
    const double ax = 30 + SX / 2, ay = 30 + SY / 2;
    const auto xOf = [SX](double ratio) { return 30 + SX - SX * (ratio - 0.3) / 1.4; };
    const auto yOf = [SY](double ratio) { return 30 + SY - SY * (ratio - 0.3) / 1.4; };

    cp.image(ax - image->width() / 2.0, ay + 10 - image->height() / 2.0, *image);

    cp.pen(cc::kPanelOrange, 3);
    cp.rect(1, 1, PW - 1, PH - 1);
    cp.pen(cc::kBlack, 2);
    cp.rect(1, 1, PW - 1, PH - 1);
    cp.line(ax, 30, ax, PH - 30);
    cp.line(30, ay, PW - 30, ay);

    const double udNormalLow = male ? 0.87 : 0.77, udNormalHigh = male ? 1.2 : 1.1;
    const double udTolLow = male ? 0.73 : 0.64, udTolHigh = male ? 1.4 : 1.25;
    cp.pen(cc::kOlive, 1, Qt::DotLine);
    cp.rect(xOf(1.15), yOf(udNormalHigh), xOf(0.87), yOf(udNormalLow));
    cp.pen(cc::kRed, 1, Qt::DotLine);
    cp.rect(xOf(1.35), yOf(udTolHigh), xOf(0.67), yOf(udTolLow));

    cp.text(ax - 9, PH - 20, QStringLiteral("-Down-"), cc::kBlue);
    cp.text(ax - 9, 10, QStringLiteral("-Up-"), cc::kBlue);
    cp.text(5, ay - 9, QStringLiteral("-L-"), cc::kBlue);
    cp.text(PW - 25, ay - 9, QStringLiteral("-R-"), cc::kBlue);
    cp.font(18, 2);
    cp.text(PW - 36, 30, QStringLiteral("I"), cc::kGreen);
    cp.text(30, 30, QStringLiteral("II"), cc::kGreen);
    cp.text(30, PH - 60, QStringLiteral("III"), cc::kGreen);
    cp.text(PW - 50, PH - 60, QStringLiteral("IV"), cc::kGreen);
    cp.font(8, 0);

    for (int k = 0; k <= 14; ++k) {
        const double ratio = 0.3 + k / 10.0;
        const double x = xOf(ratio), y = yOf(ratio);
        if (k != 7) {
            cp.pen(cc::kBlack);
            cp.line(ax - 6, y, ax + 6, y);
            cp.line(x, ay - 6, x, ay + 6);
            const QString label = fixed(ratio, 1, 1);
            cp.text(ax + 8, y - 6, label, cc::kMaroon);
            cp.text(x - 6, ay + 8, label, cc::kMaroon);
        }
        if (k < 14) {
            const double half = 0.35 + k / 10.0;
            cp.pen(cc::kGrey);
            cp.line(ax - 4, yOf(half), ax + 4, yOf(half));
            cp.line(xOf(half), ay - 4, xOf(half), ay + 4);
        }
    }

    const double lr = meanRatio(r.Left, r.Right);
    const double ud = meanRatio(r.Up, r.Down);
    const double yy = meanRatio(r.Yin, r.Yang);
    const double hiLow = meanRatio(r.Hi, r.Low);
    {
        const double mx = std::clamp(xOf(lr), 5.0, PW - 5);
        const double my = std::clamp(yOf(ud), 5.0, PH - 5);
        QColor fill = cc::kYellow;
        if (r.UpDownClass == 0 && r.LeftRightClass == 0)
            fill = QColor(0, 255, 0);
        else if (std::abs(r.UpDownClass) > 2 || std::abs(r.LeftRightClass) > 2)
            fill = cc::kRed;
        cp.pen(cc::kBlack, 2);
        cp.brush(fill);
        cp.ellipse(mx - 12, my - 12, mx + 12, my + 12);
        cp.noBrush();
        cp.line(mx + 3, my, mx + 23, my);
        cp.line(mx - 3, my, mx - 23, my);
        cp.line(mx, my + 3, mx, my + 23);
        cp.line(mx, my - 3, mx, my - 23);
        cp.pen(cc::kPanelOrange, 2);
        cp.ellipse(mx - 19, my - 19, mx + 19, my + 19);
    }

    // Yin-Yang gauge under the panel.
    cp.noPen();
    cp.brush(cc::kSilver);
    cp.rect(30, PH + 10, PW / 2, PH + 30);
    cp.brush(cc::kWhite);
    cp.rect(PW / 2, PH + 10, PW - 30, PH + 30);
    cp.noBrush();
    cp.pen(cc::kPanelOrange, 3);
    cp.rect(30, PH + 10, PW - 30, PH + 30);
    cp.pen(cc::kBlack, 3);
    cp.line(PW / 2 - 1, PH + 6, PW / 2 - 1, PH + 34);
    for (auto [ratio, color] : {std::pair{1.25, cc::kOlive}, std::pair{0.81, cc::kOlive},
                                std::pair{1.45, cc::kRed}, std::pair{0.61, cc::kRed}}) {
        cp.pen(color, 1, Qt::DotLine);
        cp.line(xOf(ratio), PH + 10, xOf(ratio), PH + 30);
    }
    cp.text(7, PH + 15, QStringLiteral("Yin"), cc::kBlue);
    cp.text(PW - 18, PH + 15, QStringLiteral("Yang"), cc::kBlue);
    cp.pen(cc::kBlack, 2);
    cp.line(30, PH + 45, PW - 30, PH + 45);
    for (int k = 0; k <= 14; ++k) {
        const double x = xOf(0.3 + k / 10.0);
        cp.pen(cc::kBlack);
        cp.line(x, PH + 45, x, PH + 55);
        if (k < 14) {
            cp.pen(cc::kGrey);
            cp.line(xOf(0.35 + k / 10.0), PH + 45, xOf(0.35 + k / 10.0), PH + 52);
        }
        cp.textCentred(x, PH + 57, fixed(0.3 + k / 10.0, 1, 1), cc::kBlue);
    }
    {
        const double x = std::clamp(xOf(yy), 30.0, PW - 30);
        cp.pen(cc::kBlack);
        cp.brush(gaugeColor(r.YinYangClass, 3));
        cp.rect(x - 6, PH + 9, x + 6, PH + 31);
        cp.noBrush();
        cp.pen(cc::kPanelOrange, 2);
        cp.rect(x - 10, PH + 5, x + 11, PH + 36);
        cp.pen(cc::kBlack, 2);
        cp.line(x, PH + 5, x, PH + 2);
        cp.line(x, PH + 36, x, PH + 38);
    }

    // Vertical gauges right of the panel: a column of class bands, its scale and a marker.
    struct Band {
        double from;
        double to;
        QColor color;
    };
    const auto column = [&](double x0, double maxValue, const std::vector<Band>& bands) {
        const auto yv = [&](double v) { return 30 + SY - SY * v / maxValue; };
        cp.noPen();
        for (const Band& b : bands) {
            cp.brush(b.color);
            cp.rect(x0, yv(b.to), x0 + 20, yv(b.from));
        }
        cp.noBrush();
        cp.pen(cc::kPanelOrange, 3);
        cp.rect(x0, 30, x0 + 20, PH - 30);
        cp.pen(cc::kBlack, 1);
        cp.rect(x0, 30, x0 + 20, PH - 30);
    };
    const auto marker = [&](double x0, double y, const QColor& fill) {
        const double yc = std::clamp(y, 30.0, PH - 30);
        cp.pen(cc::kBlack);
        cp.brush(fill);
        cp.rect(x0 - 1, yc - 6, x0 + 21, yc + 6);
        cp.noBrush();
        cp.pen(cc::kPanelOrange, 2);
        cp.rect(x0 - 5, yc - 9, x0 + 26, yc + 9);
        cp.pen(cc::kBlack, 2);
        cp.line(x0 - 5, yc, x0 - 9, yc);
        cp.line(x0 + 26, yc, x0 + 28, yc);
    };

    // Body energy, 0 to 140.
    const double bx = PW + 10;
    const auto yEnergy = [SY](double v) { return 30 + SY - SY * v / 140; };
    column(bx, 140,
           {{0, 140, cc::kPoor},
            {male ? 19.0 : 18.0, male ? 75.0 : 72.0, cc::kTolerable},
            {male ? 30.0 : 28.0, male ? 65.0 : 62.0, cc::kNormal}});
    cp.pen(cc::kBlack, 2);
    cp.line(PW + 45, 30, PW + 45, PH - 30);
    for (int v = 0; v <= 140; v += 10) {
        cp.pen(cc::kBlack);
        cp.line(PW + 45, yEnergy(v), PW + 53, yEnergy(v));
        cp.text(PW + 60, yEnergy(v) - 6, QString::asprintf("%3d", v), cc::kBlue);
        if (v < 140) {
            cp.pen(cc::kGrey);
            cp.line(PW + 45, yEnergy(v + 5), PW + 50, yEnergy(v + 5));
        }
    }
    cp.text(PW + 10, PH - 20, QStringLiteral("Body Energy"), cc::kBlue);
    marker(bx, yEnergy(r.Average), gaugeColor(r.BodyEnergyClass, 3));

    // Autonomic balance, Hi/Low from 0 to 5.
    const double nx = PW + 110;
    const auto yAns = [SY](double v) { return 30 + SY - SY * v / 5; };
    column(nx, 5, {{0, 5, cc::kPoor}, {0, 2.0, cc::kTolerable}, {0, 1.5, cc::kNormal}});
    cp.pen(cc::kBlack, 2);
    cp.line(PW + 145, 30, PW + 145, PH - 30);
    cp.noPen();
    cp.brush(cc::kGrey);
    cp.rect(PW + 145, yAns(1.0), PW + 150, yAns(0));
    cp.noBrush();
    for (int k = 0; k <= 8; ++k) {
        const double v = 1.0 + k * 0.5;
        cp.pen(cc::kBlack);
        cp.line(PW + 145, yAns(v), PW + 153, yAns(v));
        cp.text(PW + 160, yAns(v) - 6, fixed(v, 1, 1), cc::kBlue);
    }
    cp.text(PW + 110, PH - 20, QStringLiteral("Auto.Nervous"), cc::kBlue);
    marker(nx, yAns(hiLow), gaugeColor(r.AnsClass, 3));

    cp.text(PW + 20, PH + 15, "Up/Dn : " + fixed(ud, 1, 2), cc::kNavy);
    cp.text(PW + 20, PH + 32, "L/R : " + fixed(lr, 1, 2), cc::kNavy);
    cp.text(PW + 20, PH + 49, "Yin/Yang : " + fixed(yy, 1, 2), cc::kNavy);
    cp.text(PW + 100, PH + 15, "Energy : " + fixed(r.Average, 3, 1), cc::kNavy);
    cp.text(PW + 100, PH + 32, "A.Nervous : " + fixed(hiLow, 1, 2), cc::kNavy);
    cp.font();
    return true;
}

} // namespace viro
