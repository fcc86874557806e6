#include "analysis/compute_analysis.h"
#include "analysis/report/analysis_content.h"
#include "analysis/report/reference_texts.h"
#include "analysis/report/topic_texts.h"
#include "core/text_cipher.h"
#include "records/schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace viro {
namespace {

// One SQLite file of a given kind, opened under its own connection name.
class Database {
public:
    Database(const QTemporaryDir& dir, const QString& file, DatabaseKind kind)
        : name_(QStringLiteral("content-") + file) {
        QString error;
        created_ = createDatabaseFile(dir.filePath(file), kind, &error);
        EXPECT_TRUE(created_) << error.toStdString();
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db_.setDatabaseName(dir.filePath(file));
        EXPECT_TRUE(db_.open());
    }
    ~Database() {
        db_.close();
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(name_);
    }
    const QSqlDatabase& db() const { return db_; }
    void exec(const QString& sql, const QVariantList& binds) {
        QSqlQuery q(db_);
        ASSERT_TRUE(q.prepare(sql)) << q.lastError().text().toStdString();
        for (const QVariant& b : binds)
            q.addBindValue(b);
        ASSERT_TRUE(q.exec()) << sql.toStdString() << ": " << q.lastError().text().toStdString();
    }
    void insert(const QString& table, const QStringList& fields, const QVariantList& values) {
        const QStringList marks(fields.size(), QStringLiteral("?"));
        exec(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                 .arg(table, fields.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
             values);
    }

private:
    QString name_;
    bool created_ = false;
    QSqlDatabase db_;
};

QString enciphered(const QString& text) {
    return TextCipher::encrypt(text, TextCipher::ReferenceTextKey, 17, nullptr);
}

// Entry `key` with texts that name their field and key ("MA1-3" is DtMA1 of entry 3).
void addEntry(Database& d, int key) {
    QStringList fields{QStringLiteral("MKEY")};
    QVariantList values{key};
    for (const char* group : {"DtMA", "DtMH", "DtML"})
        for (int i = 1; i <= (QLatin1String(group) == QLatin1String("DtMA") ? 3 : 5); ++i) {
            fields << QString::fromLatin1(group) + QString::number(i);
            values << enciphered(QString::fromLatin1(group).mid(2) + QString::number(i) + '-' +
                                 QString::number(key));
        }
    d.insert(QStringLiteral("ZEMTDB"), fields, values);
}

TEST(ReferenceTexts, LocateDeciphersAndKeepsTheLastEntryFound) {
    QTemporaryDir dir;
    Database d(dir, QStringLiteral("viroe.mdb"), DatabaseKind::ReferenceTexts);
    addEntry(d, 3);
    addEntry(d, 13);
    ReferenceTexts texts;
    QString error;
    ASSERT_TRUE(texts.load(d.db(), &error)) << error.toStdString();
    EXPECT_TRUE(texts.locate(99).DtMA[0].isEmpty()) << "nothing found yet";
    const ReferenceEntry& e = texts.locate(3);
    EXPECT_EQ(e.key, 3);
    EXPECT_EQ(e.DtMA[0], QLatin1String("MA1-3"));
    EXPECT_EQ(e.DtMH[4], QLatin1String("MH5-3"));
    EXPECT_EQ(e.DtML[2], QLatin1String("ML3-3"));
    EXPECT_EQ(texts.locate(7).key, 3) << "a key not found leaves the entry located before";
    EXPECT_EQ(texts.locate(13).DtMA[1], QLatin1String("MA2-13"));

    QSqlDatabase none;
    EXPECT_FALSE(texts.load(none, &error));
    EXPECT_FALSE(error.isEmpty());
}

// An entry as the tests of the text rules read it: every field names itself.
ReferenceEntry namedEntry() {
    ReferenceEntry e;
    for (int i = 0; i < 3; ++i)
        e.DtMA[size_t(i)] = QStringLiteral("MA%1").arg(i + 1);
    for (int i = 0; i < 5; ++i) {
        e.DtMH[size_t(i)] = QStringLiteral("MH%1").arg(i + 1);
        e.DtML[size_t(i)] = QStringLiteral("ML%1").arg(i + 1);
    }
    return e;
}

TEST(TopicTexts, StateTopicsByTheirClass) {
    struct Case {
        int key;
        int cls;
        QString detailed;
    };
    const QString warning = lowBodyEnergyWarning();
    const Case cases[] = {
        {kBodyEnergyTopic, 0, QStringLiteral("MA1\n\nMA2")},
        {kBodyEnergyTopic, 2, QStringLiteral("MA1\n\nMH1")},
        {kBodyEnergyTopic, -2, QStringLiteral("MA1\n\nML1")},
        {kBodyEnergyTopic, -3, QStringLiteral("MA1\n\nML1\n\n") + warning},
        {kMentalStressTopic, -3, QStringLiteral("MA1\n\nML1")},
        {kMusculoskeletalTopic, 1, QStringLiteral("MA1\n\nMH1")},
        {kMetabolismTopic, -1, QStringLiteral("MA1\n\nML1")},
        {kAutonomicTopic, 3, QStringLiteral("MA1\n\nMH1")},
    };
    for (const Case& c : cases) {
        AnalysisResult r;
        r.BodyEnergyClass = r.UpDownClass = r.LeftRightClass = r.YinYangClass = r.AnsClass = 0;
        switch (c.key) {
        case kBodyEnergyTopic: r.BodyEnergyClass = c.cls; break;
        case kMentalStressTopic: r.UpDownClass = c.cls; break;
        case kMusculoskeletalTopic: r.LeftRightClass = c.cls; break;
        case kMetabolismTopic: r.YinYangClass = c.cls; break;
        default: r.AnsClass = c.cls; break;
        }
        EXPECT_EQ(stateTopicClass(r, c.key), c.cls);
        const TopicBoxes boxes = analysisPageTexts(Topic{QStringLiteral("State"), c.key},
                                                   namedEntry(), r);
        EXPECT_EQ(boxes.detailed, c.detailed) << c.key << " class " << c.cls;
        EXPECT_TRUE(boxes.ryodoraku.isEmpty());
    }
}

TEST(TopicTexts, MeridianTopicsOnTheThreePages) {
    struct Case {
        const char* name;
        int left;
        int right;
        QString analysis;
        QString ryodoraku;
        QString protocol;
        QString dietary;
    };
    const Case cases[] = {
        {"excess", 2, 1, QStringLiteral("LU\n\nMA2\n\nMA1\n\nMH1"), QStringLiteral("MH5"),
         QStringLiteral("MH3\n\nMH2"), QStringLiteral("MA3\n\nMH4")},
        {"deficient", -1, -3, QStringLiteral("LU\n\nMA2\n\nMA1\n\nML1"), QStringLiteral("ML5"),
         QStringLiteral("ML3\n\nML2"), QStringLiteral("MA3\n\nML4")},
        // One point high and one low: only the general texts.
        {"mixed", 2, -2, QStringLiteral("LU\n\nMA2\n\nMA1\n"), QString(), QString(),
         QStringLiteral("MA3\n")},
    };
    for (const Case& c : cases) {
        AnalysisResult r;
        r.PointClass.fill(0);
        r.PointClass[size_t(leftPointOf(1) - 1)] = c.left;
        r.PointClass[size_t(rightPointOf(1) - 1)] = c.right;
        const Topic lu{QStringLiteral("LU"), 1};
        const TopicBoxes boxes = analysisPageTexts(lu, namedEntry(), r);
        EXPECT_EQ(boxes.detailed, c.analysis) << c.name;
        EXPECT_EQ(boxes.ryodoraku, c.ryodoraku) << c.name;
        EXPECT_EQ(protocolPageText(lu, namedEntry(), r), c.protocol) << c.name;
        EXPECT_EQ(dietaryPageText(lu, namedEntry(), r), c.dietary) << c.name;
    }
}

TEST(TopicTexts, StoredLineBreaksBecomeLines) {
    ReferenceEntry e = namedEntry();
    e.DtMA[0] = QStringLiteral("one\r\ntwo");
    AnalysisResult r;
    EXPECT_EQ(analysisPageTexts(Topic{QString(), kBodyEnergyTopic}, e, r).detailed,
              QStringLiteral("one\ntwo\n\nMA2"));
}

void addProtocol(Database& d, const QString& no, const QString& name, const QString& sexCode,
                 bool advice) {
    QStringList fields{QStringLiteral("ProNo"), QStringLiteral("ProName"),
                       QStringLiteral("ProData"), QStringLiteral("ProScal"),
                       QStringLiteral("ProFN"), QStringLiteral("ProPrg2"),
                       QStringLiteral("ProPict")};
    QVariantList values{no, name, QStringLiteral("Data of ") + name, true,
                        QStringLiteral("0100"), QStringLiteral("viewer"),
                        QByteArray("\x89PNG", 4)};
    if (advice) {
        fields << QStringLiteral("ProMed2") << QStringLiteral("ProHel5");
        values << QStringLiteral("Herbs of ") + name << QStringLiteral("Massage of ") + name;
    }
    d.insert(QStringLiteral("ZePro"), fields, values);
    // Position 24 holds the sex code; nothing else is asked.
    const QString cond = QString(23, QLatin1Char('0')) + sexCode;
    d.exec(QStringLiteral("INSERT INTO ZePrDt (ProNo, ProSubN, ProAnd, ProCond, ProAGL, ProAGH, "
                          "ProEng, ProFlg) VALUES (?, '1', ?, ?, 0, 0, 0, ?)"),
           {no, QString(24, QLatin1Char('0')), cond, false});
}

TEST(ProtocolTexts, ByKeyAndByNameInEitherDatabase) {
    QTemporaryDir dir;
    Database standard(dir, QStringLiteral("viroze.mdb"), DatabaseKind::StandardProtocols);
    addProtocol(standard, QStringLiteral("S2"), QStringLiteral("Calm"), QStringLiteral("1"), true);
    addProtocol(standard, QStringLiteral("S1"), QStringLiteral("Calm"), QStringLiteral("2"), true);
    ProtocolTexts texts(standard.db());
    const std::optional<ProtocolDetails> calm = texts.byName(QStringLiteral("Calm"));
    ASSERT_TRUE(calm);
    EXPECT_EQ(calm->ProNo, QLatin1String("S1")) << "the first by number";
    EXPECT_EQ(calm->ProData, QLatin1String("Data of Calm"));
    EXPECT_EQ(calm->ProMed[1], QLatin1String("Herbs of Calm"));
    EXPECT_EQ(calm->ProHel[4], QLatin1String("Massage of Calm"));
    EXPECT_TRUE(calm->ProScal);
    EXPECT_EQ(calm->links.ProFN, QLatin1String("0100"));
    EXPECT_EQ(calm->links.program[1], QLatin1String("viewer"));
    EXPECT_EQ(calm->ProPict, QByteArray("\x89PNG", 4));
    const std::optional<ProtocolDetails> again = texts.byKey(calm->MKEY);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->ProNo, QLatin1String("S1"));
    EXPECT_FALSE(texts.byName(QStringLiteral("calm'; DROP TABLE ZePro; --")));
    EXPECT_FALSE(texts.byKey(9999));

    Database user(dir, QStringLiteral("viro6.mdb"), DatabaseKind::Main);
    addProtocol(user, QStringLiteral("U1"), QStringLiteral("Mine"), QStringLiteral("1"), false);
    const std::optional<ProtocolDetails> mine = ProtocolTexts(user.db()).byName("Mine");
    ASSERT_TRUE(mine);
    EXPECT_EQ(mine->ProData, QLatin1String("Data of Mine"));
    EXPECT_TRUE(mine->ProMed[0].isEmpty());
    EXPECT_FALSE(ProtocolTexts(QSqlDatabase()).byName("Mine")) << "no database: nothing";
}

MeasurementRecord typicalRecord() {
    MeasurementRecord m;
    for (int i = 0; i < kPointCount; ++i) {
        m.values[size_t(i)] = 20 + 4 * i;
        m.quality[size_t(i)] = 90;
    }
    m.dateTime = 46000.5;
    return m;
}

TEST(AnalysisContent, AnalysesAndMatchesBothProtocolLists) {
    QTemporaryDir dir;
    Database user(dir, QStringLiteral("viro6.mdb"), DatabaseKind::Main);
    Database standard(dir, QStringLiteral("viroze.mdb"), DatabaseKind::StandardProtocols);
    addProtocol(user, QStringLiteral("U1"), QStringLiteral("For men"), QStringLiteral("1"), false);
    addProtocol(user, QStringLiteral("U2"), QStringLiteral("For women"), QStringLiteral("2"),
                false);
    addProtocol(standard, QStringLiteral("S1"), QStringLiteral("Women's"), QStringLiteral("2"),
                true);
    PatientRecord patient;
    patient.male = false;
    patient.birthDate = 30000;
    const AnalysisContent c = AnalysisContent::build(
        typicalRecord(), patient, kDefaultCorrectionFactors,
        AnalysisSources{user.db(), QSqlDatabase(), standard.db()}, 2026);
    ASSERT_TRUE(c.analysable());
    EXPECT_TRUE(c.protocolError.isEmpty()) << c.protocolError.toStdString();
    const auto expected = ComputeAnalysis(typicalRecord(), false, 30000, kDefaultCorrectionFactors);
    ASSERT_TRUE(expected);
    EXPECT_EQ(c.result->Average, expected->Average);
    EXPECT_EQ(c.topics.analysis, BuildTopicLists(*expected).analysis);
    ASSERT_EQ(c.applications.size(), 1u);
    EXPECT_EQ(c.applications[0].ProName, QLatin1String("For women"));
    ASSERT_EQ(c.integrated.size(), 1u);
    EXPECT_EQ(c.integrated[0].ProNo, QLatin1String("S1"));
}

TEST(AnalysisContent, AnUnreadableProtocolDatabaseIsSaidNotHidden) {
    QTemporaryDir dir;
    Database texts(dir, QStringLiteral("viroe.mdb"), DatabaseKind::ReferenceTexts); // no ZePro
    const AnalysisContent c =
        AnalysisContent::build(typicalRecord(), PatientRecord{}, kDefaultCorrectionFactors,
                               AnalysisSources{texts.db(), QSqlDatabase(), QSqlDatabase()}, 2026);
    ASSERT_TRUE(c.analysable());
    EXPECT_TRUE(c.applications.empty());
    EXPECT_TRUE(c.protocolError.contains(QLatin1String("user's protocols")))
        << c.protocolError.toStdString();
}

TEST(AnalysisContent, FactorsOrValuesThatCannotBeAnalysed) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad : {0.0, -1.0, nan, inf}) {
        CorrectionFactors factors = kDefaultCorrectionFactors;
        factors[4] = bad;
        const AnalysisContent c = AnalysisContent::build(typicalRecord(), PatientRecord{},
                                                         factors, AnalysisSources{}, 2026);
        EXPECT_FALSE(c.analysable()) << bad;
        EXPECT_TRUE(c.topics.analysis.empty()) << bad;
    }
    MeasurementRecord unfinished = typicalRecord();
    unfinished.values[7] = 0;
    EXPECT_FALSE(AnalysisContent::build(unfinished, PatientRecord{}, kDefaultCorrectionFactors,
                                        AnalysisSources{}, 2026)
                     .analysable());
}

TEST(AnalysisContent, RangesAndAges) {
    EXPECT_EQ(bodyEnergyRange(true), QLatin1String("(30 - 64)"));
    EXPECT_EQ(bodyEnergyRange(false), QLatin1String("(28 - 61)"));
    EXPECT_EQ(mentalStateRange(true), QLatin1String("(0.88-1.19)"));
    EXPECT_EQ(mentalStateRange(false), QLatin1String("(0.78-1.09)"));
    EXPECT_EQ(musculoskeletalRange(), QLatin1String("(0.88-1.14)"));
    EXPECT_EQ(metabolismRange(), QLatin1String("(0.82-1.24)"));
    EXPECT_EQ(autonomicRange(), QLatin1String("(1.0-1.5)"));
    EXPECT_EQ(ageText(0, 46000), QString());
    EXPECT_EQ(ageText(-5, 46000), QString());
    EXPECT_EQ(ageText(46000 - 365 * 40 - 37, 46000), QLatin1String("40.1"));
}

} // namespace
} // namespace viro
