#include "cli/analysis_args.h"

#include "analysis/compute_analysis.h"
#include "analysis/jet_date.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <vector>

namespace viro::cli {

namespace {

std::optional<int> parseInteger(const QString& option, const QString& text, QString* error) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok) {
        *error = QStringLiteral("--%1 is not an integer: '%2'").arg(option, text);
        return std::nullopt;
    }
    return v;
}

std::optional<MeasuringSequence> parseOrder(const std::optional<QString>& modeText,
                                            const std::optional<QString>& orderText,
                                            QString* error) {
    int mode = 0;
    if (modeText) {
        const std::optional<int> m = parseInteger("order-mode", *modeText, error);
        if (!m)
            return std::nullopt;
        mode = *m;
    }
    // Without a list a custom order falls back to the natural one, as missing settings do.
    std::array<int, kMeridianCount> custom = kNaturalOrder;
    if (orderText) {
        const QStringList items = orderText->split(',');
        if (items.size() != kMeridianCount) {
            *error = QStringLiteral("--order needs 12 comma-separated meridian numbers, got %1")
                         .arg(items.size());
            return std::nullopt;
        }
        for (int i = 0; i < kMeridianCount; ++i) {
            bool ok = false;
            const int m = items[i].trimmed().toInt(&ok);
            if (!ok || m < 1 || m > kMeridianCount) {
                *error = QStringLiteral("--order item %1 is not a meridian number 1-12: '%2'")
                             .arg(i + 1)
                             .arg(items[i]);
                return std::nullopt;
            }
            custom[i] = m;
        }
        // Checked whatever the mode, as the factors are: a wrong list is a mistake either way.
        if (!isValidMeridianOrder(custom)) {
            *error = QStringLiteral("--order must name each meridian 1-12 once, the hand "
                                    "meridians 1-6 in the first six places: '%1'")
                         .arg(*orderText);
            return std::nullopt;
        }
    }
    return buildMeasuringSequence(mode, custom);
}

std::optional<CorrectionFactors> parseFactors(const std::optional<QString>& modeText,
                                              const std::optional<QString>& factorText,
                                              QString* error) {
    int mode = 0;
    if (modeText) {
        const std::optional<int> m = parseInteger("factor-mode", *modeText, error);
        if (!m)
            return std::nullopt;
        mode = *m;
    }
    // A given list is always checked; only a custom mode uses it.
    CorrectionFactors custom{};
    if (factorText) {
        const auto values = parseReals("factors", *factorText, kMeridianCount, error);
        if (!values)
            return std::nullopt;
        for (int i = 0; i < kMeridianCount; ++i) {
            if (!((*values)[i] > 0)) {
                *error = QStringLiteral("--factors item %1 must be above 0").arg(i + 1);
                return std::nullopt;
            }
            custom[i] = (*values)[i];
        }
    } else if (mode != 0 && mode != 1) {
        *error = QStringLiteral("--factors is required with factor mode %1").arg(mode);
        return std::nullopt;
    }
    return buildCorrectionFactors(mode, custom);
}

bool finite(double v) {
    return std::isfinite(v);
}

template <std::size_t N> bool finite(const std::array<double, N>& values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

bool allFinite(const AnalysisResult& r) {
    for (double v :
         {r.Average, r.QualityAverage, r.BandUnit, r.ExcessNormal, r.ExcessTolerable,
          r.DeficiencyNormal, r.DeficiencyTolerable, r.DiffNormal, r.DiffTolerable, r.Yin, r.Yang,
          r.Up, r.Down, r.Left, r.Right, r.Hi, r.Low, r.IntegratedIndex, r.MeridiansIndex})
        if (!finite(v))
            return false;
    for (const auto& row : r.ElementTable)
        if (!finite(row))
            return false;
    return finite(r.Corrected) && finite(r.Deviation) && finite(r.GroupMean) &&
           finite(r.PairMean) && finite(r.PointScore);
}

} // namespace

std::optional<std::vector<double>> parseReals(const QString& option, const QString& text, int count,
                                              QString* error) {
    const QStringList items = text.split(',');
    if (items.size() != count) {
        *error = QStringLiteral("--%1 needs %2 comma-separated numbers, got %3")
                     .arg(option)
                     .arg(count)
                     .arg(items.size());
        return std::nullopt;
    }
    std::vector<double> values;
    values.reserve(size_t(count));
    for (int i = 0; i < items.size(); ++i) {
        bool ok = false;
        const double v = items[i].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v)) {
            *error = QStringLiteral("--%1 item %2 is not a number: '%3'")
                         .arg(option)
                         .arg(i + 1)
                         .arg(items[i]);
            return std::nullopt;
        }
        values.push_back(v);
    }
    return values;
}

void addAnalysisOptions(CommandLine& line) {
    line.addOption("values", "v1,...,v24", "the 24 point values in microamperes (required)");
    line.addOption("quality", "q1,...,q24", "the 24 quality scores (default all 0)");
    line.addOption("sex", "male|female", "the patient's sex (default male)");
    line.addOption("birth", "DATE", "birth date: YYYY-MM-DD or a day number (default 0, none)");
    line.addOption("date", "DATETIME",
                   "measured at: YYYY-MM-DDTHH:MM:SS or a day number (default now)");
    line.addOption("order-mode", "N",
                   "meridian order: 0 natural, 1 paired, other the --order list");
    line.addOption("order", "m1,...,m12",
                   "custom meridian order: 1-12 once each, the hand meridians 1-6 first");
    line.addOption("factor-mode", "N",
                   "correction factors: 0 standard, 1 all 1.0, other the --factors list");
    line.addOption("factors", "f1,...,f12", "custom correction factors, one per meridian");
}

std::optional<AnalysisInput> readAnalysisOptions(const CommandLine& line, QString* error) {
    const std::optional<QString> valuesText = line.value("values");
    const std::optional<QString> qualityText = line.value("quality");
    const std::optional<QString> sexText = line.value("sex");
    const std::optional<QString> birthText = line.value("birth");
    const std::optional<QString> dateText = line.value("date");
    const std::optional<QString> orderModeText = line.value("order-mode");
    const std::optional<QString> orderText = line.value("order");
    const std::optional<QString> factorModeText = line.value("factor-mode");
    const std::optional<QString> factorsText = line.value("factors");

    AnalysisInput in;
    if (!valuesText) {
        *error = QStringLiteral("--values is required");
        return std::nullopt;
    }
    const auto values = parseReals("values", *valuesText, kPointCount, error);
    if (!values)
        return std::nullopt;
    for (int k = 0; k < kPointCount; ++k) {
        if (!((*values)[k] > 0)) {
            *error = QStringLiteral("incomplete record: value %1 is not above 0").arg(k + 1);
            return std::nullopt;
        }
        in.record.values[k] = (*values)[k];
    }
    if (qualityText) {
        const auto quality = parseReals("quality", *qualityText, kPointCount, error);
        if (!quality)
            return std::nullopt;
        std::copy(quality->begin(), quality->end(), in.record.quality.begin());
    }

    if (sexText) {
        if (*sexText == "male") {
            in.male = true;
        } else if (*sexText == "female") {
            in.male = false;
        } else {
            *error = QStringLiteral("unknown sex '%1' (use male or female)").arg(*sexText);
            return std::nullopt;
        }
    }

    if (birthText) {
        const std::optional<double> birth = parseJetDate(*birthText);
        if (!birth) {
            *error = QStringLiteral("--birth is not a date (YYYY-MM-DD or a day number): '%1'")
                         .arg(*birthText);
            return std::nullopt;
        }
        in.birthDate = *birth;
    }
    if (dateText) {
        const std::optional<double> date = parseJetDateTime(*dateText);
        if (!date) {
            *error = QStringLiteral(
                         "--date is not a date-time (YYYY-MM-DDTHH:MM:SS or a day number): '%1'")
                         .arg(*dateText);
            return std::nullopt;
        }
        in.record.dateTime = *date;
    } else {
        in.record.dateTime = jetFromDateTime(QDateTime::currentDateTime());
    }

    const std::optional<MeasuringSequence> sequence = parseOrder(orderModeText, orderText, error);
    if (!sequence)
        return std::nullopt;
    in.sequence = *sequence;
    const std::optional<CorrectionFactors> factors =
        parseFactors(factorModeText, factorsText, error);
    if (!factors)
        return std::nullopt;
    in.factors = *factors;
    return in;
}

std::optional<AnalysisResult> analyse(const AnalysisInput& in, QString* error) {
    std::optional<AnalysisResult> result =
        ComputeAnalysis(in.record, in.male, in.birthDate, in.factors);
    if (!result) {
        *error = QStringLiteral("the measurement cannot be analysed");
        return std::nullopt;
    }
    if (!allFinite(*result)) {
        *error = QStringLiteral("the values are too large to analyse");
        return std::nullopt;
    }
    return result;
}

} // namespace viro::cli
