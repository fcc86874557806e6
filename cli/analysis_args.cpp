#include "cli/analysis_args.h"

#include "analysis/jet_date.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <vector>

namespace viro::cli {

namespace {

// Parses "a,b,c" into exactly `count` finite reals; names the option and the item on failure.
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

} // namespace

std::optional<AnalysisInput> takeAnalysisOptions(Arguments& a, QString* error) {
    const std::optional<QString> valuesText = a.option("values");
    const std::optional<QString> qualityText = a.option("quality");
    const std::optional<QString> sexText = a.option("sex");
    const std::optional<QString> birthText = a.option("birth");
    const std::optional<QString> dateText = a.option("date");
    const std::optional<QString> orderModeText = a.option("order-mode");
    const std::optional<QString> orderText = a.option("order");
    const std::optional<QString> factorModeText = a.option("factor-mode");
    const std::optional<QString> factorsText = a.option("factors");
    if (!a.error().isEmpty()) {
        *error = a.error();
        return std::nullopt;
    }

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

QString leftoverArguments(const Arguments& a) {
    if (!a.error().isEmpty())
        return a.error();
    if (const QString unknown = a.unknownOptions(); !unknown.isEmpty())
        return unknown;
    if (!a.rest().isEmpty())
        return "unexpected argument " + a.rest().first();
    return {};
}

} // namespace viro::cli
