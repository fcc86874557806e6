#pragma once

#include "cli/cli_support.h"

#include "analysis/analysis_result.h"
#include "analysis/measurement_record.h"
#include "analysis/meridian_model.h"

#include <optional>
#include <vector>

namespace viro::cli {

// The measurement and patient of an analysis, as given on the command line.
struct AnalysisInput {
    MeasurementRecord record;
    bool male = true;
    double birthDate = 0;
    CorrectionFactors factors{};
    MeasuringSequence sequence; // the meridian order grids and charts list points in
};

// Parses "a,b,c" into exactly `count` finite reals; names the option (--NAME) and the item on
// failure.
std::optional<std::vector<double>> parseReals(const QString& option, const QString& text, int count,
                                              QString* error);

// The analysis options (--values, --quality, --sex, --birth, --date, --order-mode, --order,
// --factor-mode, --factors), shared by every command that analyses a measurement.
void addAnalysisOptions(CommandLine& line);

// Reads and checks the analysis options of a parsed line. On failure `error` names what is
// wrong.
std::optional<AnalysisInput> readAnalysisOptions(const CommandLine& line, QString* error);

// The analysis of the input. Fails when the measurement is incomplete or when a number of the
// result leaves the range of a double (values near 1e308), which no output could show.
std::optional<AnalysisResult> analyse(const AnalysisInput& in, QString* error);

} // namespace viro::cli
