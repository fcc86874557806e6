#include "measure/measurement_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <limits>

#include <sys/resource.h>

namespace viro {
namespace {

JournalHeader sampleHeader() {
    JournalHeader h;
    h.started = 45123.4375;
    h.highPotential = true;
    h.channel = 3;
    h.key = 812;
    h.custNo = QStringLiteral("O'Neil-7");
    h.patientName = QStringLiteral("Zoë \"Jo\" Łukasiewicz\t日本");
    return h;
}

JournalPoint samplePoint(int position, int point, int readings = 4) {
    JournalPoint p;
    p.position = position;
    p.point = point;
    p.value = 61.25 + position / 3.0; // not exact in decimal: must come back bit for bit
    p.compensated = p.value * 0.97;
    p.quality = 87.5 - position;
    p.dateTime = 45123.4375 + position / 86400.0;
    p.samples = readings / 2;
    for (int i = 0; i < readings; ++i)
        p.trace.push_back({static_cast<quint32>(i * 5), static_cast<quint16>(1000 + i % 300)});
    return p;
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The checksum the format puts after each record (CRC-32 as zlib computes it), so a test can
// make records that are whole but say something wrong.
quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char ch : bytes) {
        crc ^= static_cast<quint8>(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return crc ^ 0xFFFFFFFFu;
}

QByteArray record(const QJsonObject& o) {
    const QByteArray json = QJsonDocument(o).toJson(QJsonDocument::Compact);
    return json + '\t' + QByteArray::number(crc32(json), 16).rightJustified(8, '0') + '\n';
}

// The offsets just past each record's newline, the header's first.
std::vector<qsizetype> recordEnds(const QByteArray& bytes) {
    std::vector<qsizetype> ends;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\n')
            ends.push_back(i + 1);
    return ends;
}

// Holds the file size limit of the process for as long as it lives; writes beyond it fail with
// EFBIG as on a full disk (SIGXFSZ is ignored meanwhile, so the process is not killed).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    bool active() const { return active_; }

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
    bool active_ = false;
};

class JournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = MeasurementJournal::pathIn(dir_.path());
    }
    // A journal of the sample header and `points`, written through the class.
    void writeJournal(const std::vector<JournalPoint>& points) {
        MeasurementJournal journal(path_);
        QString error;
        ASSERT_TRUE(journal.begin(sampleHeader(), &error)) << error.toStdString();
        for (const JournalPoint& p : points)
            ASSERT_TRUE(journal.append(p, &error)) << error.toStdString();
    }
    JournalContents readBack() {
        const std::optional<JournalContents> c = MeasurementJournal::read(path_);
        EXPECT_TRUE(c.has_value());
        return c.value_or(JournalContents{});
    }

    QTemporaryDir dir_;
    QString path_;
};

TEST_F(JournalTest, FileIsOurOwnInTheDataFolder) {
    EXPECT_EQ(QFileInfo(path_).absolutePath(), QDir(dir_.path()).absolutePath());
#ifndef Q_OS_WIN
    EXPECT_EQ(QFileInfo(path_).fileName(), "measure.journal");
#endif
    EXPECT_EQ(MeasurementJournal::pathIn(dir_.path() + "/"), path_);
}

// Everything appended comes back exactly, in order, a point measured twice included.
TEST_F(JournalTest, PointsComeBackAsAppended) {
    std::vector<JournalPoint> points{samplePoint(1, 1), samplePoint(2, 13, 0),
                                     samplePoint(3, 2, 2500), samplePoint(3, 2, 7)};
    points[1].value = std::numeric_limits<double>::denorm_min();
    points[1].trace = {{std::numeric_limits<quint32>::max(), 65535}};
    writeJournal(points);
    const JournalContents c = readBack();
    EXPECT_EQ(c.header, sampleHeader());
    EXPECT_EQ(c.points, points);
    EXPECT_EQ(c.damage, "");
    EXPECT_LT(QFileInfo(path_).size(), 60 * 1024) << "2,500 readings stay a few tens of KB";
}

TEST_F(JournalTest, EachLineIsJsonATabAndItsCrc) {
    writeJournal({samplePoint(1, 1), samplePoint(2, 13)});
    const QList<QByteArray> lines = fileBytes(path_).split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines.back(), "") << "the file ends with a newline";
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const qsizetype tab = lines[i].lastIndexOf('\t');
        ASSERT_GT(tab, 0);
        const QByteArray json = lines[i].first(tab);
        EXPECT_EQ(lines[i].sliced(tab + 1),
                  QByteArray::number(crc32(json), 16).rightJustified(8, '0'));
        EXPECT_TRUE(QJsonDocument::fromJson(json).isObject());
    }
    const QJsonObject header =
        QJsonDocument::fromJson(lines[0].first(lines[0].indexOf('\t'))).object();
    EXPECT_EQ(header.value("format").toString(), "viro measurement journal");
    EXPECT_EQ(header.value("version").toInt(), 1);
    const QJsonObject point =
        QJsonDocument::fromJson(lines[2].first(lines[2].indexOf('\t'))).object();
    EXPECT_EQ(point.value("point").toInt(), 13);
    EXPECT_EQ(point.value("trace").toArray().size(), 8) << "(ms, counts) pairs, flat";
}

TEST(JournalContentsTest, NextPositionFollowsTheLastPointTaken) {
    struct Case {
        std::vector<int> positions;
        int next;
    };
    const std::vector<Case> cases = {
        {{}, 1}, {{1}, 2}, {{1, 2, 3, 4, 5}, 6}, {{23}, 24}, {{24}, 0}, {{1, 12, 5}, 6},
    };
    for (const Case& c : cases) {
        JournalContents contents;
        for (int p : c.positions)
            contents.points.push_back(samplePoint(p, p));
        EXPECT_EQ(contents.nextPosition(), c.next) << "after " << c.positions.size() << " points";
    }
}

TEST_F(JournalTest, BeginReplacesAnEarlierJournal) {
    writeJournal({samplePoint(1, 1), samplePoint(2, 2)});
    JournalHeader other;
    other.custNo = "B2";
    MeasurementJournal journal(path_);
    QString error;
    ASSERT_TRUE(journal.begin(other, &error)) << error.toStdString();
    const JournalContents c = readBack();
    EXPECT_EQ(c.header, other);
    EXPECT_TRUE(c.points.empty());
    EXPECT_EQ(c.damage, "");
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"measure.journal"})
        << "no temporary file is left";
}

TEST_F(JournalTest, RemoveLeavesNoJournal) {
    MeasurementJournal journal(path_);
    QString error;
    EXPECT_FALSE(MeasurementJournal::read(path_).has_value()) << "no file, no journal";
    EXPECT_TRUE(journal.remove(&error)) << "nothing to remove is fine";
    ASSERT_TRUE(journal.begin(sampleHeader(), &error));
    ASSERT_TRUE(journal.append(samplePoint(1, 1), &error));
    EXPECT_TRUE(journal.remove(&error)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path_));
    EXPECT_FALSE(MeasurementJournal::read(path_).has_value());
    EXPECT_FALSE(journal.append(samplePoint(2, 2), &error)) << "a removed journal takes no more";
    EXPECT_FALSE(QFile::exists(path_)) << "and is not made again by an append";
}

TEST_F(JournalTest, WhatCannotBeKeptIsRefused) {
    QString error;
    MeasurementJournal journal(path_);
    EXPECT_FALSE(journal.append(samplePoint(1, 1), &error)) << "not begun";
    EXPECT_TRUE(error.contains(path_)) << error.toStdString();

    ASSERT_TRUE(journal.begin(sampleHeader(), &error));
    const QByteArray before = fileBytes(path_);
    struct Case {
        const char* name;
        JournalPoint point;
    };
    std::vector<Case> cases;
    for (int position : {0, 25})
        cases.push_back({"position out of range", samplePoint(position, 1)});
    for (int point : {0, 25})
        cases.push_back({"point index out of range", samplePoint(1, point)});
    JournalPoint nan = samplePoint(1, 1);
    nan.quality = std::numeric_limits<double>::quiet_NaN();
    cases.push_back({"quality not a number", nan});
    JournalPoint infinite = samplePoint(1, 1);
    infinite.value = std::numeric_limits<double>::infinity();
    cases.push_back({"infinite value", infinite});
    JournalPoint negative = samplePoint(1, 1);
    negative.samples = -1;
    cases.push_back({"negative sample count", negative});
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(journal.append(c.point, &error)) << c.name;
        EXPECT_TRUE(error.contains(path_)) << c.name << ": " << error.toStdString();
    }
    EXPECT_EQ(fileBytes(path_), before) << "nothing refused reached the file";
    EXPECT_TRUE(journal.append(samplePoint(1, 1), &error)) << "the journal goes on";
}

TEST_F(JournalTest, BeginInAMissingFolderFails) {
    const QString path = MeasurementJournal::pathIn(dir_.filePath("gone"));
    MeasurementJournal journal(path);
    QString error;
    EXPECT_FALSE(journal.begin(sampleHeader(), &error));
    EXPECT_TRUE(error.contains(dir_.filePath("gone"))) << error.toStdString();
    EXPECT_FALSE(journal.append(samplePoint(1, 1), &error));
}

// Cut at any byte, a journal gives exactly the whole records before the cut: with no damage
// when the cut falls between records, with a damage text everywhere else.
TEST_F(JournalTest, CutAtEveryByte) {
    const std::vector<JournalPoint> points{samplePoint(1, 1, 3), samplePoint(2, 13, 2),
                                           samplePoint(3, 2, 1)};
    writeJournal(points);
    const QByteArray whole = fileBytes(path_);
    const std::vector<qsizetype> ends = recordEnds(whole);
    ASSERT_EQ(ends.size(), 4u);
    // From the whole file down, one byte shorter each time.
    for (qsizetype cut = whole.size(); cut >= 0; --cut) {
        SCOPED_TRACE(cut);
        ASSERT_TRUE(QFile::resize(path_, cut));
        ASSERT_EQ(fileBytes(path_), whole.first(cut));
        const JournalContents c = readBack();
        const auto wholeRecords =
            std::count_if(ends.begin(), ends.end(), [&](qsizetype end) { return end <= cut; });
        const bool atBoundary = std::find(ends.begin(), ends.end(), cut) != ends.end();
        if (wholeRecords == 0) {
            EXPECT_EQ(c.header, JournalHeader{});
            EXPECT_TRUE(c.points.empty());
            EXPECT_NE(c.damage, "");
            continue;
        }
        EXPECT_EQ(c.header, sampleHeader());
        EXPECT_EQ(c.points,
                  std::vector<JournalPoint>(points.begin(), points.begin() + (wholeRecords - 1)));
        EXPECT_EQ(c.damage.isEmpty(), atBoundary) << c.damage.toStdString();
        if (!atBoundary) {
            const QString expected =
                wholeRecords == 1
                    ? QString("the journal is cut short after its header")
                    : QString("the journal is cut short after point %1").arg(wholeRecords - 1);
            EXPECT_EQ(c.damage.toStdString(), expected.toStdString());
        }
    }
}

TEST_F(JournalTest, DamagedFiles) {
    writeJournal({samplePoint(1, 1), samplePoint(2, 2), samplePoint(3, 3)});
    const QByteArray good = fileBytes(path_);
    const std::vector<qsizetype> ends = recordEnds(good);
    const QByteArray header = good.first(ends[0]);
    auto flipped = [&](qsizetype at) {
        QByteArray b = good;
        b[at] = char(b[at] ^ 0x04);
        return b;
    };
    QJsonObject wrongPoint =
        QJsonDocument::fromJson(good.sliced(ends[1], ends[2] - ends[1]).split('\t')[0]).object();
    wrongPoint["point"] = 30;
    QJsonObject newer = QJsonDocument::fromJson(header.split('\t')[0]).object();
    newer["version"] = 2;
    QJsonObject otherFile{{"format", "something else"}, {"version", 1}};
    QByteArray torn; // bytes of no record, without a newline
    for (int i = 0; i < 3000; ++i)
        torn += char((i * 7919) % 251 == '\n' ? 0 : (i * 7919) % 251);
    const QByteArray garbage = torn + '\n' + torn + '\n';
    struct Case {
        const char* name;
        QByteArray bytes;
        int points;         // good points read
        const char* damage; // the damage text
    };
    const std::vector<Case> cases = {
        {"header only", header, 0, ""},
        {"empty", "", 0, "the journal is empty"},
        {"garbage", garbage, 0, "the journal's header is damaged"},
        {"a byte changed in the header", flipped(ends[0] / 2), 0,
         "the journal's header is damaged"},
        {"a byte changed in the middle of point 2", flipped((ends[1] + ends[2]) / 2), 1,
         "a record after point 1 is damaged; the 1 record after it could not be read"},
        {"a checksum digit changed", flipped(ends[1] - 3), 0,
         "a record after its header is damaged; the 2 records after it could not be read"},
        {"a newline lost between points 1 and 2", good.first(ends[1] - 1) + good.sliced(ends[1]), 0,
         "a record after its header is damaged; the 1 record after it could not be read"},
        {"an empty line after point 2", good.first(ends[2]) + "\n" + good.sliced(ends[2]), 2,
         "a record after point 2 is damaged; the 1 record after it could not be read"},
        {"a whole record with a bad point index",
         good.first(ends[1]) + record(wrongPoint) + good.sliced(ends[2]), 1,
         "a record after point 1 is damaged; the 1 record after it could not be read"},
        {"a torn record after the last point", good + torn, 3,
         "the journal is cut short after point 3"},
        {"garbage after the last point", good + garbage, 3,
         "a record after point 3 is damaged; the 1 record after it could not be read"},
        {"a newer format", record(newer), 0,
         "the journal was written by a newer version of the program (format 2)"},
        {"another program's file", record(otherFile), 0, "the file is not a measurement journal"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(path_, c.bytes);
        const JournalContents contents = readBack();
        EXPECT_EQ(int(contents.points.size()), c.points);
        EXPECT_EQ(contents.damage.toStdString(), c.damage);
        EXPECT_EQ(contents.header == sampleHeader(), QByteArray(c.bytes).startsWith(header));
    }
}

TEST_F(JournalTest, UnreadableFileIsReportedNotMissing) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir("measure.journal"));
    const std::optional<JournalContents> c = MeasurementJournal::read(path_);
    ASSERT_TRUE(c.has_value());
    EXPECT_TRUE(c->points.empty());
    EXPECT_NE(c->damage, "");
}

// A file far larger than any run makes is read only so far: no matter what it claims, the
// program never takes it into memory whole.
TEST_F(JournalTest, HugeFileIsReadOnlyInPart) {
    writeJournal({samplePoint(1, 1), samplePoint(2, 2)});
    {
        QFile f(path_);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.resize(qint64(4) * 1024 * 1024 * 1024)); // sparse: zeros, no newline
    }
    const JournalContents c = readBack();
    EXPECT_EQ(c.points.size(), 2u);
    EXPECT_EQ(c.damage.toStdString(),
              "the journal is larger than any run makes; what follows point 2 was not "
              "read");
}

TEST_F(JournalTest, ResumeCutsTheDamagedTailOff) {
    const std::vector<JournalPoint> points{samplePoint(1, 1), samplePoint(2, 2), samplePoint(3, 3)};
    writeJournal(points);
    const QByteArray whole = fileBytes(path_);
    const std::vector<qsizetype> ends = recordEnds(whole);
    writeBytes(path_, whole.first(ends[3] - 10) + "\x01\x02 torn");
    const JournalContents found = readBack();
    ASSERT_EQ(found.points.size(), 2u);
    ASSERT_NE(found.damage, "");

    MeasurementJournal journal(path_);
    QString error;
    ASSERT_TRUE(journal.resume(found, &error)) << error.toStdString();
    EXPECT_EQ(fileBytes(path_), whole.first(ends[2])) << "cut to the last whole record";
    const JournalPoint next = samplePoint(found.nextPosition(), 9);
    ASSERT_TRUE(journal.append(next, &error)) << error.toStdString();
    const JournalContents c = readBack();
    EXPECT_EQ(c.header, sampleHeader());
    EXPECT_EQ(c.points, (std::vector<JournalPoint>{points[0], points[1], next}));
    EXPECT_EQ(c.damage, "");
}

// When the file no longer starts with what read() gave (gone, or changed since), resuming
// writes those contents anew rather than appending to something else.
TEST_F(JournalTest, ResumeWritesTheContentsWhenTheFileChanged) {
    writeJournal({samplePoint(1, 1), samplePoint(2, 2)});
    const JournalContents found = readBack();
    struct Case {
        const char* name;
        std::function<void()> change;
    };
    const std::vector<Case> cases = {
        {"removed", [&] { QFile::remove(path_); }},
        {"replaced by garbage", [&] { writeBytes(path_, "not a journal\n"); }},
        {"another run begun",
         [&] {
             MeasurementJournal other(path_);
             QString e;
             ASSERT_TRUE(other.begin(JournalHeader{}, &e));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.change();
        MeasurementJournal journal(path_);
        QString error;
        ASSERT_TRUE(journal.resume(found, &error)) << error.toStdString();
        ASSERT_TRUE(journal.append(samplePoint(3, 3), &error)) << error.toStdString();
        const JournalContents c2 = readBack();
        EXPECT_EQ(c2.header, found.header);
        EXPECT_EQ(c2.points,
                  (std::vector<JournalPoint>{found.points[0], found.points[1], samplePoint(3, 3)}));
        EXPECT_EQ(c2.damage, "");
    }
}

// A disk that fills up: the failed write is reported with the file and the reason, and leaves
// the journal as it was before it.
TEST_F(JournalTest, FullDisk) {
    QString error;
    writeJournal({samplePoint(1, 1)});
    const QByteArray kept = fileBytes(path_);
    {
        MeasurementJournal journal(path_);
        FileSizeLimit limit(64);
        ASSERT_TRUE(limit.active());
        EXPECT_FALSE(journal.begin(JournalHeader{}, &error));
    }
    EXPECT_TRUE(error.contains(dir_.path())) << error.toStdString();
    EXPECT_TRUE(error.contains("too large")) << "says why: " << error.toStdString();
    EXPECT_EQ(fileBytes(path_), kept) << "the earlier journal is untouched";
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files), QStringList{"measure.journal"});

    MeasurementJournal journal(path_);
    ASSERT_TRUE(journal.resume(readBack(), &error)) << error.toStdString();
    error.clear();
    {
        FileSizeLimit limit(kept.size() + 100); // a part of the record fits
        ASSERT_TRUE(limit.active());
        EXPECT_FALSE(journal.append(samplePoint(2, 2, 500), &error));
    }
    EXPECT_TRUE(error.contains(path_)) << error.toStdString();
    EXPECT_TRUE(error.contains("too large")) << error.toStdString();
    EXPECT_EQ(fileBytes(path_), kept) << "the torn part is taken back";

    ASSERT_TRUE(journal.append(samplePoint(2, 2, 500), &error)) << "with room again it goes on";
    const JournalContents c = readBack();
    EXPECT_EQ(c.points, (std::vector<JournalPoint>{samplePoint(1, 1), samplePoint(2, 2, 500)}));
    EXPECT_EQ(c.damage, "");
}

} // namespace
} // namespace viro
