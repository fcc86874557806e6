#pragma once

#include "cli/cli_support.h"

#include "analysis/measurement_record.h"
#include "analysis/meridian_model.h"

#include <optional>

namespace viro::cli {

// The measurement and patient of an analysis, as given on the command line.
struct AnalysisInput {
    MeasurementRecord record;
    bool male = true;
    double birthDate = 0;
    CorrectionFactors factors{};
    MeasuringSequence sequence; // the meridian order grids and charts list points in
};

// Takes the analysis options (--values, --quality, --sex, --birth, --date, --order-mode,
// --order, --factor-mode, --factors) out of `a` and checks them; other options stay in `a` for
// the command. On failure `error` names what is wrong.
std::optional<AnalysisInput> takeAnalysisOptions(Arguments& a, QString* error);

// Fails with an error text when options or arguments are left over after a command took its own.
QString leftoverArguments(const Arguments& a);

} // namespace viro::cli
