#include "analysis/charts/balance_charts.h"

#include "analysis/charts/chart_background.h"
#include "analysis/charts/chart_painter.h"
#include "analysis/charts/chart_parts.h"

#include <cmath>
#include <optional>

namespace viro {

namespace cc = chart_colors;
using namespace chart_parts;

namespace {

// Element order of these charts: Yin-Zang members and their Yang-Fu partners.
constexpr std::array<int, 6> kYinZang{8, 3, 2, 7, 1, 9};
constexpr std::array<int, 6> kYangFu{11, 4, 5, 12, 6, 10};

double pointDeviation(const AnalysisResult& r, int point) {
    return r.Deviation[size_t(point - 1)];
}
double meridianDeviation(const AnalysisResult& r, int m) {
    return (pointDeviation(r, leftPointOf(m)) + pointDeviation(r, rightPointOf(m))) / 2;
}
// Yin-Zang and Yang-Fu point of element e (0-based) on one side.
double sideDeviation(const AnalysisResult& r, int m, bool left) {
    return pointDeviation(r, left ? leftPointOf(m) : rightPointOf(m));
}
double pairDeviation(const AnalysisResult& r, int e, bool left) {
    return r.PairMean[size_t(e + (left ? 0 : 6))] - r.Average;
}
QString elementCaption(int e) {
    return "- " + meridian(kYinZang[size_t(e)]).element + " -";
}
QString code(int m) {
    return meridian(m).code;
}

// Warning level 1 (yellow) or 2 (red) of a column, 0 for none.
int levelOf(int cls) {
    return cls == 0 ? 0 : std::abs(cls) == 1 ? 1 : 2;
}

struct Balance {
    int columns = 6;
    std::vector<double> first;
    std::vector<double> second;
    std::vector<int> warnings;
    QString firstName;
    QString secondName;
    std::function<void(ChartPainter&, const ColumnLayout&, const std::vector<int>&)> labels;
};

std::vector<int> columnCentres(const ColumnLayout& cols, int columns) {
    std::vector<int> c;
    for (int i = 1; i <= columns; ++i)
        c.push_back(columns == 6 ? 50 + rnd(cols.w / 6 * i) - rnd(cols.w / 12)
                                 : 50 + rnd(cols.w / 24) + rnd(cols.w / 12 * (i - 1)));
    return c;
}

void drawSeries(ChartPainter& cp, const std::vector<int>& centres, const std::vector<int>& ys,
                const QColor& fill, const QColor& lineColor, Qt::PenStyle lineStyle) {
    for (size_t i = 0; i < centres.size(); ++i) {
        cp.pen(cc::kBlack);
        cp.brush(fill);
        cp.rect(centres[i] - 6, ys[i] - 6, centres[i] + 6, ys[i] + 6);
        cp.noBrush();
        if (i > 0) {
            cp.pen(lineColor, 1, lineStyle);
            cp.line(centres[i - 1], ys[i - 1], centres[i], ys[i]);
        }
    }
}

void drawBalance(ChartPainter& cp, const ChartArea& area, const AnalysisResult& r,
                 const QImage* background, const Balance& b) {
    const int H = area.height;
    const ColumnLayout cols(area.width);
    const double w = cols.w;
    const int y0 = H / 2;
    const auto yOf = [H, y0](double d) { return rnd(y0 - H / 100.0 * d); };
    const std::vector<int> centres = columnCentres(cols, b.columns);

    if (background)
        centredBackground(cp, cols, *background);
    cp.pen(cc::kBlack, 3);
    cp.line(50, 0, 50, H);
    cp.line(50, y0, 50 + w, y0);
    cp.text(10, y0 - 8, fixed(r.Average, 3, 1), cc::kRed);
    cp.pen(cc::kGrey, 1, Qt::DotLine);
    for (int c : centres)
        cp.line(c, H / 20, c, H - H / 10);
    if (b.columns == 12) {
        cp.pen(cc::kBlack, 2);
        cp.line(cols.divider(), H, cols.divider(), H / 20);
    }

    std::vector<int> y1, y2;
    for (size_t i = 0; i < centres.size(); ++i) {
        y1.push_back(yOf(b.first[i]));
        y2.push_back(yOf(b.second[i]));
    }
    drawSeries(cp, centres, y1, cc::kPoor, cc::kBlack, Qt::DotLine);
    drawSeries(cp, centres, y2, cc::kNormal, cc::kBlue, Qt::SolidLine);

    cp.noPen();
    for (size_t i = 0; i < centres.size(); ++i) {
        if (b.warnings[i] == 0)
            continue;
        const int c = centres[i];
        cp.brush(b.warnings[i] == 1 ? cc::kWarnYellow : cc::kRed);
        cp.rect(c - 8, 19, c + 9, 23);
        cp.polygon({{double(c + 8), 17}, {double(c), 3}, {double(c - 8), 17}});
    }
    cp.noBrush();

    const double u = r.BandUnit;
    struct Band {
        double y;
        QColor color;
    };
    const std::array<Band, 4> bands{{{y0 - H / 100.0 * 21 * u, cc::kRed},
                                     {y0 + H / 100.0 * 20 * u, cc::kRed},
                                     {y0 - H / 100.0 * 11.5 * u, cc::kOlive},
                                     {y0 + H / 100.0 * 10.5 * u, cc::kOlive}}};
    for (const Band& band : bands) {
        cp.pen(band.color, 1, Qt::DotLine);
        cp.line(50, band.y, 50 + w, band.y);
    }

    for (int j = 1; j <= 9; ++j) {
        if (j == 5)
            continue;
        const int y = rnd(H / 10.0 * j);
        cp.pen(cc::kBlack);
        cp.line(50, y, 50 + cols.tickLength(), y);
        const QString label = j < 5 ? "+" + QString::asprintf("%4d", 50 - 10 * j)
                                    : "-" + QString::asprintf("%4d", 10 * j - 50);
        cp.text(5, rnd(H / 10.0 * j - 8), label, cc::kBlack);
    }

    if (b.labels)
        b.labels(cp, cols, centres);

    cp.pen(cc::kBlack, 1, Qt::DotLine);
    cp.line(w - 135, 45, w - 95, 45);
    cp.pen(cc::kBlack);
    cp.brush(cc::kPoor);
    cp.rect(w - 121, 38, w - 109, 52);
    cp.text(w - 80, 39, b.firstName, cc::kRed);
    cp.pen(cc::kBlue);
    cp.line(w - 135, 80, w - 95, 80);
    cp.pen(cc::kBlack);
    cp.brush(cc::kNormal);
    cp.rect(w - 121, 73, w - 109, 87);
    cp.noBrush();
    cp.text(w - 80, 74, b.secondName, cc::kGreen);
}

std::optional<QImage> background(const char* name, const QString& dataFolder, QString* error) {
    return loadChartBackground(dataFolder, QString::fromLatin1(name), error);
}

} // namespace

void DrawYinYangBalanceA(QPainter& painter, const ChartArea& area, const AnalysisResult& r) {
    Balance b;
    b.columns = 6;
    for (int e = 0; e < 6; ++e) {
        const double first = meridianDeviation(r, kYinZang[size_t(e)]);
        const double second = meridianDeviation(r, kYangFu[size_t(e)]);
        b.first.push_back(first);
        b.second.push_back(second);
        const double gap = std::fabs(first - second);
        b.warnings.push_back(gap >= r.DiffTolerable ? 2 : gap >= r.DiffNormal ? 1 : 0);
    }
    b.firstName = QStringLiteral("Yin-Zang");
    b.secondName = QStringLiteral("Yang-Fu");
    b.labels = [H = area.height](ChartPainter& cp, const ColumnLayout&, const std::vector<int>& c) {
        for (int e = 0; e < 6; ++e) {
            cp.textCentred(c[size_t(e)], H - 46, code(kYinZang[size_t(e)]) + "-(LR)", cc::kRed);
            cp.textCentred(c[size_t(e)], H - 30, code(kYangFu[size_t(e)]) + "-(LR)", cc::kGreen);
            cp.textCentred(c[size_t(e)], H - 15, elementCaption(e), cc::kBlue);
        }
    };
    ChartPainter cp(painter, area.style);
    drawBalance(cp, area, r, nullptr, b);
}

void DrawQiBloodBalanceA(QPainter& painter, const ChartArea& area, const AnalysisResult& r) {
    Balance b;
    b.columns = 6;
    for (int e = 0; e < 6; ++e) {
        const double first = pairDeviation(r, e, true);
        const double second = pairDeviation(r, e, false);
        b.first.push_back(first);
        b.second.push_back(second);
        const double gap = std::fabs(first - second);
        b.warnings.push_back(gap >= r.DiffTolerable ? 2 : gap >= r.DiffNormal ? 1 : 0);
    }
    b.firstName = QStringLiteral("Left Side");
    b.secondName = QStringLiteral("Right Side");
    b.labels = [H = area.height](ChartPainter& cp, const ColumnLayout&, const std::vector<int>& c) {
        for (int e = 0; e < 6; ++e) {
            const QString both = code(kYinZang[size_t(e)]) + "+" + code(kYangFu[size_t(e)]);
            cp.textCentred(c[size_t(e)], H - 46, both + "-L", cc::kRed);
            cp.textCentred(c[size_t(e)], H - 30, both + "-R", cc::kGreen);
            cp.textCentred(c[size_t(e)], H - 15, elementCaption(e), cc::kBlue);
        }
    };
    ChartPainter cp(painter, area.style);
    drawBalance(cp, area, r, nullptr, b);
}

bool DrawYinYangBalanceB(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                         const QString& dataFolder, QString* error) {
    const std::optional<QImage> image = background(kYinYangBackground, dataFolder, error);
    if (!image)
        return false;
    Balance b;
    b.columns = 12;
    for (int i = 0; i < 12; ++i) {
        const int e = i % 6;
        const bool left = i < 6;
        b.first.push_back(sideDeviation(r, kYinZang[size_t(e)], left));
        b.second.push_back(sideDeviation(r, kYangFu[size_t(e)], left));
        b.warnings.push_back(levelOf(r.PairDiffClass[size_t(i)]));
    }
    b.firstName = QStringLiteral("Yin-Zang");
    b.secondName = QStringLiteral("Yang-Fu");
    b.labels = [H = area.height](ChartPainter& cp, const ColumnLayout& cols,
                                 const std::vector<int>& c) {
        for (int i = 0; i < 12; ++i) {
            const int e = i % 6;
            cp.textCentred(c[size_t(i)], H - 46, code(kYinZang[size_t(e)]), cc::kRed);
            cp.textCentred(c[size_t(i)], H - 30, code(kYangFu[size_t(e)]), cc::kGreen);
            cp.textCentred(c[size_t(i)], H - 15, elementCaption(e), cc::kBlue);
        }
        cp.textCentred(rnd(cols.w / 4) + 50, 0, QStringLiteral("Left"), cc::kBlue);
        cp.textCentred(rnd(3 * cols.w / 4) + 50, 0, QStringLiteral("Right"), cc::kBlue);
    };
    ChartPainter cp(painter, area.style);
    drawBalance(cp, area, r, &*image, b);
    return true;
}

bool DrawQiBloodBalanceB(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                         const QString& dataFolder, QString* error) {
    const std::optional<QImage> image = background(kQiBloodBackground, dataFolder, error);
    if (!image)
        return false;
    Balance b;
    b.columns = 12;
    for (int i = 0; i < 12; ++i) {
        const int m = i < 6 ? kYinZang[size_t(i)] : kYangFu[size_t(i - 6)];
        b.first.push_back(sideDeviation(r, m, true));
        b.second.push_back(sideDeviation(r, m, false));
        b.warnings.push_back(levelOf(r.SideDiffClass[size_t(m - 1)]));
    }
    b.firstName = QStringLiteral("Left Side");
    b.secondName = QStringLiteral("Right Side");
    b.labels = [H = area.height](ChartPainter& cp, const ColumnLayout& cols,
                                 const std::vector<int>& c) {
        for (int i = 0; i < 12; ++i) {
            const int m = i < 6 ? kYinZang[size_t(i)] : kYangFu[size_t(i - 6)];
            cp.textCentred(c[size_t(i)], H - 46, code(m), cc::kGreen);
            cp.textCentred(c[size_t(i)], H - 30, elementCaption(i % 6), cc::kBlue);
        }
        cp.textCentred(rnd(cols.w / 4) + 50, H - 15, QStringLiteral("Yin-Zang"), cc::kRed);
        cp.textCentred(rnd(3 * cols.w / 4) + 50, H - 15, QStringLiteral("Yang-Fu"), cc::kGreen);
    };
    ChartPainter cp(painter, area.style);
    drawBalance(cp, area, r, &*image, b);
    return true;
}

namespace {

// "Left" / "Right" (or the Yin-Zang / Yang-Fu halves) under columns 4 and 10.
void halfLabels(ChartPainter& cp, const ColumnLayout& cols, int y, const QString& first,
                const QString& second) {
    cp.textCentred(cols.centre(4), y, first, cc::kNavy);
    cp.textCentred(cols.centre(10), y, second, cc::kOrange);
}

} // namespace

bool DrawYinYangExcessDeficiencyA(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                                  const QString& dataFolder, QString* error) {
    const std::optional<QImage> image = background(kYinYangBackground, dataFolder, error);
    if (!image)
        return false;
    ColumnBars bars;
    for (int i = 0; i < 12; ++i) {
        bars.deviations.push_back(pairDeviation(r, i % 6, i < 6));
        bars.classes.push_back(r.PairClass[size_t(i)]);
        bars.arrows[size_t(i)] = r.PairDiffClass[size_t(i)];
    }
    bars.dividerTop = area.height / 12;
    bars.labels = [H = area.height](ChartPainter& cp, const ColumnLayout& cols) {
        for (int i = 1; i <= 12; ++i) {
            const int e = (i - 1) % 6;
            cp.textCentred(cols.centre(i), H - 46,
                           code(kYinZang[size_t(e)]) + "-" + code(kYangFu[size_t(e)]), cc::kGreen);
            cp.textCentred(cols.centre(i), H - 30, meridian(kYinZang[size_t(e)]).element,
                           cc::kBlue);
        }
        halfLabels(cp, cols, H - 15, QStringLiteral("Left"), QStringLiteral("Right"));
    };
    ChartPainter cp(painter, area.style);
    drawColumnBars(cp, area, r, *image, bars);
    return true;
}

bool DrawYinYangExcessDeficiencyB(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                                  const QString& dataFolder, QString* error) {
    const std::optional<QImage> image = background(kYinYangBackground, dataFolder, error);
    if (!image)
        return false;
    ColumnBars bars;
    for (int i = 0; i < 12; ++i) {
        const int e = i % 6;
        const bool left = i < 6;
        for (int m : {kYinZang[size_t(e)], kYangFu[size_t(e)]}) {
            const int k = left ? leftPointOf(m) : rightPointOf(m);
            bars.deviations.push_back(r.Deviation[size_t(k - 1)]);
            bars.classes.push_back(r.PointClass[size_t(k - 1)]);
        }
        bars.arrows[size_t(i)] = r.PairDiffClass[size_t(i)];
    }
    bars.dividerTop = area.height / 12;
    bars.labels = [H = area.height](ChartPainter& cp, const ColumnLayout& cols) {
        for (int i = 1; i <= 12; ++i) {
            const int e = (i - 1) % 6;
            const double left = cols.w / 12 * (i - 1);
            cp.textCentred(rnd(left + cols.w / 48) + 50, H - 46, code(kYinZang[size_t(e)]),
                           cc::kGreen);
            cp.textCentred(rnd(left + cols.w / 16) + 50, H - 46, code(kYangFu[size_t(e)]),
                           cc::kGreen);
            cp.textCentred(cols.centre(i), H - 30, meridian(kYinZang[size_t(e)]).element,
                           cc::kBlue);
        }
        cp.textCentred(cols.centre(1), H - 15, QStringLiteral("Yin  Yang"), cc::kRed);
        cp.textCentred(cols.centre(7), H - 15, QStringLiteral("Yin  Yang"), cc::kRed);
        halfLabels(cp, cols, H - 15, QStringLiteral("Left"), QStringLiteral("Right"));
    };
    ChartPainter cp(painter, area.style);
    drawColumnBars(cp, area, r, *image, bars);
    return true;
}

bool DrawQiBloodExcessDeficiencyA(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                                  const QString& dataFolder, QString* error) {
    const std::optional<QImage> image = background(kQiBloodBackground, dataFolder, error);
    if (!image)
        return false;
    ColumnBars bars;
    for (int i = 0; i < 12; ++i) {
        const int m = i < 6 ? kYinZang[size_t(i)] : kYangFu[size_t(i - 6)];
        bars.deviations.push_back(meridianDeviation(r, m));
        bars.classes.push_back(r.MeridianClass[size_t(m - 1)]);
        bars.arrows[size_t(i)] = r.SideDiffClass[size_t(m - 1)];
    }
    bars.dividerTop = area.height / 12;
    bars.labels = [H = area.height](ChartPainter& cp, const ColumnLayout& cols) {
        for (int i = 1; i <= 12; ++i) {
            const int m = i <= 6 ? kYinZang[size_t(i - 1)] : kYangFu[size_t(i - 7)];
            cp.textCentred(cols.centre(i), H - 46, code(m), cc::kGreen);
            cp.textCentred(cols.centre(i), H - 30, meridian(m).element, cc::kBlue);
        }
        halfLabels(cp, cols, H - 15, QStringLiteral("Yin-Zang"), QStringLiteral("Yang-Fu"));
    };
    ChartPainter cp(painter, area.style);
    drawColumnBars(cp, area, r, *image, bars);
    return true;
}

bool DrawQiBloodExcessDeficiencyB(QPainter& painter, const ChartArea& area, const AnalysisResult& r,
                                  const QString& dataFolder, QString* error) {
    const std::optional<QImage> image = background(kQiBloodBackground, dataFolder, error);
    if (!image)
        return false;
    ColumnBars bars;
    for (int i = 0; i < 12; ++i) {
        const int m = i < 6 ? kYinZang[size_t(i)] : kYangFu[size_t(i - 6)];
        for (int k : {leftPointOf(m), rightPointOf(m)}) {
            bars.deviations.push_back(r.Deviation[size_t(k - 1)]);
            bars.classes.push_back(r.PointClass[size_t(k - 1)]);
        }
        bars.arrows[size_t(i)] = r.SideDiffClass[size_t(m - 1)];
    }
    bars.dividerTop = area.height / 12;
    bars.labels = [H = area.height](ChartPainter& cp, const ColumnLayout& cols) {
        for (int i = 1; i <= 12; ++i) {
            const int m = i <= 6 ? kYinZang[size_t(i - 1)] : kYangFu[size_t(i - 7)];
            cp.textCentred(cols.centre(i), H - 46, code(m), cc::kGreen);
            cp.textCentred(cols.centre(i), H - 30, meridian(m).element, cc::kBlue);
        }
        cp.textCentred(cols.centre(1), H - 15, QStringLiteral("L    R"), cc::kRed);
        cp.textCentred(cols.centre(7), H - 15, QStringLiteral("L    R"), cc::kRed);
        halfLabels(cp, cols, H - 15, QStringLiteral("Yin-Zang"), QStringLiteral("Yang-Fu"));
    };
    ChartPainter cp(painter, area.style);
    drawColumnBars(cp, area, r, *image, bars);
    return true;
}

} // namespace viro
