#include "core/text_cipher.h"
#include "data/src/installation_data.h"
#include "data/src/pictures.h"
#include "data/src/reference_texts.h"
#include "data/src/standard_protocols.h"
#include "records/schema.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <map>
#include <vector>

namespace viro {
namespace {

const QString kShare = QStringLiteral(VIRO_BUILT_SHARE_DIR);

// Opens one built database read-only for the duration of a test.
class BuiltDatabase {
public:
    explicit BuiltDatabase(const QString& fileName) : name_(QStringLiteral("built-") + fileName) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(QDir(kShare).filePath(fileName));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        open_ = db.open();
    }
    ~BuiltDatabase() {
        QSqlDatabase::database(name_).close();
        QSqlDatabase::removeDatabase(name_);
    }
    bool isOpen() const { return open_; }
    QSqlQuery query(const QString& sql) const {
        QSqlQuery q(QSqlDatabase::database(name_));
        q.exec(sql);
        return q;
    }
    QStringList tables() const { return QSqlDatabase::database(name_).tables(); }

private:
    QString name_;
    bool open_ = false;
};

TEST(BuiltFiles, EveryInstallationFileIsThere) {
    const QStringList names = installationFileNames();
    EXPECT_EQ(names.size(), 3 + kGuideCount + kBackgroundCount);
    for (const QString& name : names)
        EXPECT_TRUE(QFile::exists(QDir(kShare).filePath(name))) << name.toStdString();
#ifndef Q_OS_WIN
    // Lower-case names on case-sensitive systems, inside the "Data" folder.
    EXPECT_TRUE(QFile::exists(kShare + "/viroe.mdb"));
    EXPECT_TRUE(QFile::exists(kShare + "/Data/plh1.bmp"));
    EXPECT_TRUE(QFile::exists(kShare + "/Data/crf6.bmp"));
    EXPECT_TRUE(QFile::exists(kShare + "/Data/zebkmg.msi"));
#endif
    EXPECT_TRUE(QDir(kShare).entryList({"*.part"}, QDir::Files).isEmpty());
}

TEST(BuiltReferenceTexts, EveryKeyDeciphersToItsSourceText) {
    std::vector<ReferenceEntry> entries;
    SourceError error;
    ASSERT_TRUE(loadReferenceEntries(VIRO_DATA_SOURCE_DIR "/texts", &entries, &error));
    BuiltDatabase db(referenceDatabaseName());
    ASSERT_TRUE(db.isOpen());
    QSqlQuery q = db.query("SELECT * FROM ZEMTDB ORDER BY MKEY");
    std::vector<int> keys;
    while (q.next()) {
        const int key = q.value("MKEY").toInt();
        keys.push_back(key);
        SCOPED_TRACE(key);
        ASSERT_TRUE(key >= 1 && key <= 17);
        const ReferenceEntry& source = entries[size_t(key - 1)];
        const QStringList read = requiredReferenceFields(key);
        for (const QString& field : referenceTextFields()) {
            const QString hex = q.value(field).toString();
            bool ok = false;
            const QString plain = TextCipher::decrypt(hex, TextCipher::ReferenceTextKey, &ok);
            EXPECT_TRUE(ok) << field.toStdString();
            if (read.contains(field)) {
                EXPECT_FALSE(plain.isEmpty()) << field.toStdString();
                EXPECT_EQ(plain, source.texts.value(field)) << field.toStdString();
                // Stored enciphered, not as the plain text.
                EXPECT_NE(hex, plain);
                EXPECT_TRUE(QRegularExpression("^[0-9A-F]+$").match(hex).hasMatch());
            } else {
                EXPECT_TRUE(hex.isEmpty()) << field.toStdString();
            }
        }
    }
    EXPECT_EQ(keys, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}));
}

TEST(BuiltReferenceTexts, MeridiansCarryAChartPicture) {
    BuiltDatabase db(referenceDatabaseName());
    ASSERT_TRUE(db.isOpen());
    QSqlQuery q = db.query("SELECT MKEY, DtGpM FROM ZEMTDB ORDER BY MKEY");
    while (q.next()) {
        const int key = q.value(0).toInt();
        SCOPED_TRACE(key);
        const QByteArray bytes = q.value(1).toByteArray();
        if (key > 12) {
            EXPECT_TRUE(bytes.isEmpty());
            continue;
        }
        QImage chart;
        ASSERT_TRUE(chart.loadFromData(bytes));
        EXPECT_GE(chart.width(), 300);
        EXPECT_LE(chart.width(), 1000);
        EXPECT_GE(chart.height(), 300);
        EXPECT_LE(chart.height(), 1000);
        // The course is drawn in the meridian's colour: count its pixels.
        const QRgb course = meridianCourseColour(key).rgb();
        int hits = 0;
        for (int y = 0; y < chart.height(); ++y)
            for (int x = 0; x < chart.width(); ++x)
                hits += (chart.pixel(x, y) & 0xFFFFFF) == (course & 0xFFFFFF);
        EXPECT_GT(hits, 200);
    }
}

// The valid codes of each condition position, from the matching rules.
int highestCode(int position) {
    if (position == 1)
        return 6;
    if (position == 24)
        return 2;
    return 3;
}

TEST(BuiltStandardProtocols, ConditionTextsAreValidCodesForTheirPositions) {
    BuiltDatabase db(protocolDatabaseName());
    ASSERT_TRUE(db.isOpen());
    std::map<QString, int> conditionsOf;
    QSqlQuery pro = db.query("SELECT * FROM ZePro ORDER BY ProNo");
    while (pro.next()) {
        const QString number = pro.value("ProNo").toString();
        SCOPED_TRACE(number.toStdString());
        conditionsOf[number] = 0;
        EXPECT_FALSE(pro.value("ProName").toString().isEmpty());
        EXPECT_LE(pro.value("ProName").toString().size(), 24);
        EXPECT_FALSE(pro.value("ProData").toString().isEmpty());
        for (const char* field : {"ProMed1", "ProMed2", "ProMed3", "ProHel1", "ProHel2", "ProHel3",
                                  "ProHel4", "ProHel5"})
            EXPECT_FALSE(pro.value(field).toString().trimmed().isEmpty()) << field;
        EXPECT_EQ(pro.value("ProFN").toString(), QStringLiteral("0000"));
    }
    EXPECT_GE(conditionsOf.size(), 30u);

    QSqlQuery dt = db.query("SELECT * FROM ZePrDt ORDER BY MKEY");
    while (dt.next()) {
        const QString number = dt.value("ProNo").toString();
        SCOPED_TRACE((number + " " + dt.value("ProSubN").toString()).toStdString());
        ASSERT_TRUE(conditionsOf.count(number)) << "condition of no protocol";
        ++conditionsOf[number];
        const QString codes = dt.value("ProCond").toString();
        const QString required = dt.value("ProAnd").toString();
        ASSERT_EQ(codes.size(), 24);
        ASSERT_EQ(required.size(), 24);
        bool canHold = false;
        for (int p = 1; p <= 24; ++p) {
            const QChar c = codes.at(p - 1);
            ASSERT_TRUE(c.isDigit()) << "position " << p;
            EXPECT_LE(c.digitValue(), highestCode(p)) << "position " << p;
            const QChar r = required.at(p - 1);
            EXPECT_TRUE(r == '0' || r == '1') << "position " << p;
            if (p >= 23) {
                EXPECT_EQ(r, QChar('0')) << "position " << p;
            }
            canHold = canHold || c != '0' || r == '1';
        }
        EXPECT_TRUE(canHold);
        if (codes.at(0).digitValue() >= 4) {
            EXPECT_GT(dt.value("ProEng").toDouble(), 0);
        }
        const int ageCode = codes.at(22).digitValue();
        if (ageCode == 1 || ageCode == 3) {
            EXPECT_GT(dt.value("ProAGL").toInt(), 0);
        }
        if (ageCode == 2 || ageCode == 3) {
            EXPECT_GE(dt.value("ProAGH").toInt(), dt.value("ProAGL").toInt());
        }
    }
    for (const auto& [number, count] : conditionsOf)
        EXPECT_GT(count, 0) << number.toStdString();
}

TEST(BuiltStandardProtocols, CoverEveryMeridianStateAndTheGeneralStates) {
    BuiltDatabase db(protocolDatabaseName());
    ASSERT_TRUE(db.isOpen());
    QStringList codes;
    QSqlQuery dt = db.query("SELECT ProCond FROM ZePrDt");
    while (dt.next())
        codes << dt.value(0).toString();
    auto someRowHas = [&](int position, int code) {
        for (const QString& c : codes)
            if (c.at(position - 1).digitValue() == code)
                return true;
        return false;
    };
    for (int p = 6; p <= 17; ++p) {
        SCOPED_TRACE(p);
        EXPECT_TRUE(someRowHas(p, 1)) << "no protocol for the deficient state";
        EXPECT_TRUE(someRowHas(p, 2)) << "no protocol for the excess state";
    }
    EXPECT_TRUE(someRowHas(1, 1)) << "low body energy";
    EXPECT_TRUE(someRowHas(2, 2)) << "mental stress";
    EXPECT_TRUE(someRowHas(3, 1)) << "left-right imbalance";
    EXPECT_TRUE(someRowHas(4, 1) && someRowHas(4, 2)) << "yin-yang imbalance";
    EXPECT_TRUE(someRowHas(5, 1)) << "autonomic imbalance";
}

TEST(BuiltStandardProtocols, HoldTheSourceProtocolsUnchanged) {
    std::vector<ReferenceEntry> entries;
    std::vector<StandardProtocol> protocols;
    SourceError error;
    ASSERT_TRUE(loadReferenceEntries(VIRO_DATA_SOURCE_DIR "/texts", &entries, &error));
    ASSERT_TRUE(
        loadStandardProtocols(VIRO_DATA_SOURCE_DIR "/protocols.txt", entries, &protocols, &error));
    BuiltDatabase db(protocolDatabaseName());
    ASSERT_TRUE(db.isOpen());
    for (const StandardProtocol& p : protocols) {
        SCOPED_TRACE(p.number.toStdString());
        QSqlQuery q =
            db.query(QStringLiteral("SELECT * FROM ZePro WHERE ProNo = '%1'").arg(p.number));
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value("ProName").toString(), p.name);
        EXPECT_EQ(q.value("ProData").toString(), p.text); // plain, not enciphered
        EXPECT_EQ(q.value("ProHel1").toString(), p.advice[3]);
        QSqlQuery c = db.query(
            QStringLiteral("SELECT * FROM ZePrDt WHERE ProNo = '%1' ORDER BY MKEY").arg(p.number));
        for (const StandardCondition& sc : p.conditions) {
            ASSERT_TRUE(c.next());
            EXPECT_EQ(c.value("ProSubN").toString(), sc.subName);
            EXPECT_EQ(c.value("ProCond").toString(), sc.codes);
            EXPECT_EQ(c.value("ProAnd").toString(), sc.required);
            EXPECT_EQ(c.value("ProFlg").toBool(), sc.must);
            EXPECT_EQ(c.value("ProAGL").toInt(), sc.ageLow);
            EXPECT_DOUBLE_EQ(c.value("ProEng").toDouble(), sc.energy);
        }
        EXPECT_FALSE(c.next());
    }
}

TEST(BuiltTemplate, HoldsTheMainTablesAndNoRows) {
    BuiltDatabase db(templateDatabaseName());
    ASSERT_TRUE(db.isOpen());
    QStringList tables = db.tables();
    tables.removeAll("sqlite_sequence");
    tables.sort(Qt::CaseInsensitive);
    EXPECT_EQ(tables, (QStringList{"ZeCust", "ZeData", "ZePrDt", "ZePro", "ZeRaw"}));
    for (const QString& table : tables) {
        QSqlQuery q = db.query("SELECT COUNT(*) FROM " + table);
        ASSERT_TRUE(q.next());
        EXPECT_EQ(q.value(0).toInt(), 0) << table.toStdString();
    }
    // The template's protocol table is the main database's, without the advice texts.
    QSqlQuery q = db.query("SELECT * FROM ZePro");
    EXPECT_EQ(q.record().indexOf("ProMed1"), -1);
    EXPECT_GE(q.record().indexOf("ProParm4"), 0);
}

} // namespace
} // namespace viro
