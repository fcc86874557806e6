#include "cli_runner.h"

#include <QJsonArray>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// A man born 1955-07-14, measured 2024-05-01 10:30 with the standard factors.
const QString kValuesA = "48.2,39.5,35.1,52.7,44.0,61.3,45.9,41.2,30.4,55.0,47.8,58.6,"
                         "33.3,28.7,41.9,37.5,26.4,39.0,35.6,24.9,44.2,40.1,29.8,36.7";
const QString kQualityA = "92.5,88.0,95.1,90.0,85.5,97.2,91.0,89.9,93.3,87.6,94.4,96.8,"
                          "82.1,90.5,88.8,91.7,86.0,93.9,89.2,84.7,92.0,90.6,87.3,95.5";
const QString kValuesB = "22.5,18.0,25.3,30.1,19.7,27.4,24.8,16.2,21.9,28.3,23.5,31.0,"
                         "14.6,20.3,12.8,17.5,22.0,15.9,13.1,19.4,11.7,18.8,24.6,16.3";
const QString kValuesC = "88.0,95.5,102.3,79.4,84.6,91.2,85.3,99.1,97.8,82.0,88.8,94.5,"
                         "70.2,65.8,75.4,81.9,68.3,72.6,73.5,62.1,79.9,77.7,71.0,69.4";
const QString kFactorsC = "1.1,0.9,1.05,0.95,1.2,0.85,1.0,1.15,0.8,1.25,0.9,1.1";

QString repeated(const QString& item, int count) {
    QStringList items;
    for (int i = 0; i < count; ++i)
        items << item;
    return items.join(',');
}

QJsonObject analyzeOk(const QStringList& args) {
    const CliRun run = runCli(QStringList{"analyze"} + args);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    EXPECT_TRUE(run.out.endsWith('\n'));
    EXPECT_EQ(run.out.count('\n'), 1) << "one JSON object on one line";
    const QJsonDocument doc = run.json();
    EXPECT_TRUE(doc.isObject()) << run.out.toStdString();
    return doc.object();
}

TEST(AnalyzeCli, PrintsExactlyTheResultFields) {
    const QJsonObject o = analyzeOk({"--values", kValuesA, "--quality", kQualityA, "--sex", "male",
                                     "--birth", "1955-07-14", "--date", "2024-05-01T10:30:00"});
    QStringList expected{"Average",
                         "QualityAverage",
                         "Corrected",
                         "Deviation",
                         "PointClass",
                         "BandUnit",
                         "ExcessNormal",
                         "ExcessTolerable",
                         "DeficiencyNormal",
                         "DeficiencyTolerable",
                         "DiffNormal",
                         "DiffTolerable",
                         "GroupMean",
                         "Yin",
                         "Yang",
                         "Up",
                         "Down",
                         "Left",
                         "Right",
                         "Hi",
                         "Low",
                         "PairMean",
                         "ElementTable",
                         "MeridianClass",
                         "SideDiffClass",
                         "PairClass",
                         "PairDiffClass",
                         "ElementClass",
                         "BodyEnergyClass",
                         "UpDownClass",
                         "LeftRightClass",
                         "YinYangClass",
                         "AnsClass",
                         "IntegratedIndex",
                         "PointScore",
                         "MeridiansIndex",
                         "LowEnergy",
                         "Sentences",
                         "AnalysisTopics",
                         "DietaryTopics",
                         "ProtocolTopics"};
    QStringList keys = o.keys();
    std::sort(keys.begin(), keys.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(keys, expected);

    const std::vector<std::pair<const char*, int>> lengths{
        {"Corrected", 24},     {"Deviation", 24},     {"PointClass", 24},    {"GroupMean", 8},
        {"PairMean", 12},      {"MeridianClass", 12}, {"SideDiffClass", 12}, {"PairClass", 12},
        {"PairDiffClass", 12}, {"PointScore", 24},    {"ElementTable", 7},   {"ElementClass", 7},
    };
    for (const auto& [key, length] : lengths) {
        SCOPED_TRACE(key);
        ASSERT_TRUE(o.value(key).isArray());
        EXPECT_EQ(o.value(key).toArray().size(), length);
    }
    for (const char* key : {"ElementTable", "ElementClass"})
        for (const QJsonValue row : o.value(key).toArray())
            EXPECT_EQ(row.toArray().size(), 3) << key;
    EXPECT_TRUE(o.value("LowEnergy").isBool());
    EXPECT_TRUE(o.value("AnsClass").isDouble());
}

// Reals are printed so that they read back to the same double. The expected values come from
// an exact model of the analysis (extended intermediates, double results).
TEST(AnalyzeCli, RealsReadBackExactly) {
    const QJsonObject o = analyzeOk({"--values", kValuesA, "--quality", kQualityA, "--birth",
                                     "1955-07-14", "--date", "2024-05-01T10:30:00"});
    EXPECT_EQ(o.value("Average").toDouble(), 40.74166666666667);
    EXPECT_EQ(o.value("QualityAverage").toDouble(), 90.56666666666666);
    EXPECT_EQ(o.value("Corrected").toArray().at(0).toDouble(), 41.16762); // 48.2 * 0.8541
    EXPECT_EQ(o.value("BandUnit").toDouble(), 0.9218828125);
    const QJsonArray fire = o.value("ElementTable").toArray().at(6).toArray();
    EXPECT_EQ(fire.at(0).toDouble(), 40.24121125);
    EXPECT_EQ(fire.at(2).toDouble(), 43.538219999999995);
    EXPECT_EQ(o.value("IntegratedIndex").toDouble(), 92.13177083333333);
    EXPECT_EQ(o.value("PointScore").toArray().at(1).toDouble(), 9.7);
    EXPECT_EQ(o.value("MeridiansIndex").toDouble(), 9.583333333333334);
    EXPECT_EQ(o.value("PointClass").toArray().at(19).toInt(), -1);
    EXPECT_FALSE(o.value("LowEnergy").toBool());
}

// Lung with one point up and one down, Heart both up, Kidney both down; average 50.
TEST(AnalyzeCli, SentencesAndTopicLists) {
    QStringList values;
    for (int k = 1; k <= 24; ++k)
        values << (k == 1 ? "80" : k == 7 ? "20" : k == 3 || k == 9 ? "75"
                                        : k == 15 || k == 21 ? "25" : "50");
    const QJsonObject o = analyzeOk({"--values", values.join(','), "--factor-mode", "1"});
    const QJsonArray sentences = o.value("Sentences").toArray();
    ASSERT_EQ(sentences.size(), 5);
    EXPECT_EQ(sentences.at(0).toString(), "Body energy and primordial Qi are normal.");
    // Hi/Low = (80 + 50 + 75) / (50 + 50 + 25) = 1.64.
    EXPECT_EQ(sentences.at(4).toString(), "Autonomic nervous system is slightly imbalanced.");

    auto codes = [&o](const char* key) {
        QList<int> out;
        for (const QJsonValue t : o.value(key).toArray()) {
            EXPECT_FALSE(t.toObject().value("text").toString().isEmpty()) << key;
            out << t.toObject().value("code").toInt();
        }
        return out;
    };
    EXPECT_EQ(codes("AnalysisTopics"), (QList<int>{13, 14, 15, 16, 17, 1, 3, 9}));
    EXPECT_EQ(codes("DietaryTopics"), (QList<int>{1, 3, 9}));
    EXPECT_EQ(codes("ProtocolTopics"), (QList<int>{3, 9}));
    EXPECT_EQ(o.value("ProtocolTopics").toArray().at(0).toObject().value("text").toString(),
              "[Heart Meridian Atypical]");
}

struct OptionCase {
    const char* name;
    QStringList args;
    double integratedIndex;
    const char* classKey;
    int classValue;
};

TEST(AnalyzeCli, OptionsReachTheAnalysis) {
    const std::vector<OptionCase> cases{
        {"woman without birth date",
         {"--values", kValuesB, "--sex", "female", "--date", "2024-05-01"},
         75.9190824468085,
         "BodyEnergyClass",
         -2},
        {"woman 34 with custom factors",
         {"--values", kValuesC, "--sex", "female", "--birth", "1990-03-15", "--date",
          "2024-05-01T16:45:00", "--factor-mode", "2", "--factors", kFactorsC},
         79.66435325903412,
         "UpDownClass",
         2},
        // Jet day numbers work as dates; factor mode 1 sets every factor to 1.
        {"boy 14 given as day numbers, factors 1",
         {"--values", repeated("40", 6) + "," + repeated("1", 18), "--birth", "40179", "--date",
          "45413.385416666664", "--factor-mode", "1"},
         5,
         "AnsClass",
         3},
        // An unknown birth date means 40 years whatever today is.
        {"flat 50, unknown birth, date now",
         {"--values", repeated("50", 24), "--birth", "-1", "--factor-mode", "1"},
         85.86206896551724,
         "UpDownClass",
         0},
        // The meridian order only arranges the charts; it leaves the numbers alone.
        {"custom meridian order",
         {"--values", kValuesA, "--birth", "1955-07-14", "--date", "2024-05-01T10:30:00",
          "--order-mode", "2", "--order", "6,5,4,3,2,1,12,11,10,9,8,7"},
         92.13177083333333,
         "PointClass",
         0},
        {"paired meridian order",
         {"--values", kValuesA, "--birth", "1955-07-14", "--date=2024-05-01T10:30:00",
          "--order-mode=1"},
         92.13177083333333,
         "YinYangClass",
         0},
    };
    for (const OptionCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QJsonObject o = analyzeOk(c.args);
        EXPECT_EQ(o.value("IntegratedIndex").toDouble(), c.integratedIndex);
        const QJsonValue cls = o.value(c.classKey);
        EXPECT_EQ(cls.isArray() ? cls.toArray().at(0).toInt() : cls.toInt(), c.classValue);
    }
}

// Large values are fine as long as every result stays within a double.
TEST(AnalyzeCli, LargeValuesWithinRange) {
    const QJsonObject o = analyzeOk(
        {"--values", repeated("1e300", 24), "--factor-mode", "1", "--date", "2024-05-01"});
    EXPECT_EQ(o.value("Average").toDouble(), 1e300);
    EXPECT_EQ(o.value("Deviation").toArray().at(0).toDouble(), 0);
    EXPECT_EQ(o.value("PointScore").toArray().at(23).toDouble(), 10);
}

struct ErrorCase {
    const char* name;
    QStringList args;
    const char* message;
};

TEST(AnalyzeCli, BadInputExitsWithStatusTwo) {
    const QString v23 = repeated("50", 23);
    const QString v24 = repeated("50", 24);
    const std::vector<ErrorCase> cases{
        {"no values", {"--sex", "male"}, "--values is required"},
        {"too few values", {"--values", v23}, "--values needs 24 comma-separated numbers, got 23"},
        {"too many values", {"--values", v24 + ",1"}, "got 25"},
        {"value not a number",
         {"--values", "50,50,50,50,abc," + v23.section(',', 4)},
         "--values item 5 is not a number"},
        {"value NaN", {"--values", "nan," + v23}, "--values item 1 is not a number"},
        {"zero value",
         {"--values", "50,50,0," + v23.section(',', 2)},
         "incomplete record: value 3 is not above 0"},
        {"negative value", {"--values", v23 + ",-2"}, "incomplete record: value 24"},
        {"option without its value", {"--values"}, "--values needs a value"},
        {"short quality", {"--values", v24, "--quality", "1,2,3"}, "--quality needs 24"},
        {"quality not a number",
         {"--values", v24, "--quality", "x," + v23},
         "--quality item 1 is not a number"},
        {"unknown sex", {"--values", v24, "--sex", "m"}, "unknown sex 'm'"},
        {"unknown option", {"--values", v24, "--verbose"}, "unknown option --verbose"},
        {"stray argument", {"--values", v24, "extra"}, "unexpected argument extra"},
        {"malformed birth", {"--values", v24, "--birth", "1990-02-30"}, "--birth is not a date"},
        {"birth with a time",
         {"--values", v24, "--birth", "1990-02-03T10:00:00"},
         "--birth is not a date"},
        {"malformed date",
         {"--values", v24, "--date", "2024-05-01T25:00:00"},
         "--date is not a date-time"},
        {"date words", {"--values", v24, "--date", "today"}, "--date is not a date-time"},
        {"order mode not a number",
         {"--values", v24, "--order-mode", "x"},
         "--order-mode is not an integer"},
        {"order with a bad meridian",
         {"--values", v24, "--order-mode", "2", "--order", "1,2,13,4,5,6,7,8,9,10,11,12"},
         "--order item 3 is not a meridian number"},
        {"short order", {"--values", v24, "--order", "1,2,3"}, "--order needs 12"},
        {"order with a meridian twice",
         {"--values", v24, "--order-mode", "2", "--order", "1,2,3,4,5,6,7,8,9,10,11,11"},
         "--order must name each meridian 1-12 once"},
        {"order with a foot meridian among the hands",
         {"--values", v24, "--order-mode", "2", "--order", "7,2,3,4,5,6,1,8,9,10,11,12"},
         "the hand meridians 1-6 in the first six places"},
        {"order checked in the natural mode too",
         {"--values", v24, "--order", "12,11,10,9,8,7,6,5,4,3,2,1"},
         "--order must name each meridian 1-12 once"},
        {"factor mode not a number",
         {"--values", v24, "--factor-mode", "1.5"},
         "--factor-mode is not an integer"},
        {"custom factors missing",
         {"--values", v24, "--factor-mode", "2"},
         "--factors is required with factor mode 2"},
        {"short factors",
         {"--values", v24, "--factor-mode", "3", "--factors", "1,1"},
         "--factors needs 12"},
        {"zero factor",
         {"--values", v24, "--factor-mode", "2", "--factors", "1,1,1,0,1,1,1,1,1,1,1,1"},
         "--factors item 4 must be above 0"},
        {"factor not a number",
         {"--values", v24, "--factor-mode", "2", "--factors", "1,1,1,1,1,1,1,1,1,1,1,one"},
         "--factors item 12 is not a number"},
        {"factors checked in the standard mode too",
         {"--values", v24, "--factors", "abc"},
         "--factors needs 12"},
        // Numbers beyond a double, or results that would leave its range, never reach the
        // output as inf or nan.
        {"value beyond a double", {"--values", "1e400," + v23}, "--values item 1 is not a number"},
        {"values whose corrected values overflow",
         {"--values", repeated("1.5e308", 24)},
         "the values are too large to analyse"},
        {"factors that overflow",
         {"--values", v24, "--factor-mode", "2", "--factors", repeated("1e307", 12)},
         "the values are too large to analyse"},
        {"quality beyond a double",
         {"--values", v24, "--quality", "inf," + v23},
         "--quality item 1 is not a number"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun run = runCli(QStringList{"analyze"} + c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
    }
}

} // namespace
