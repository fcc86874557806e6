#include "protocol_fixture.h"
#include "therapy/protocol_source.h"

#include "records/connection.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace viro;

TEST(ProtocolSource, ReadsProtocolsInNumberOrderWithTheirConditions) {
    QTemporaryDir dir;
    const QString path = dir.filePath("viroze.mdb");
    const QString written = writeProtocolDatabase(
        path, {{"P20", "Later"}, {"p05", "Lower case"}, {"P10", "No rows"}},
        {{"P20", "2", "1", 45.5, 20, 40, true},
         {"P05", "0000002", "", 0, 0, 0, false},
         {"P20", "0000000000000000000000001", "", 0, 0, 0, false}});
    ASSERT_TRUE(written.isEmpty()) << written.toStdString();

    Connection connection(ConnectionRole::StandardProtocols);
    QString error;
    ASSERT_TRUE(connection.open(path, &error)) << error.toStdString();
    std::vector<ProtocolCandidate> protocols;
    ASSERT_TRUE(loadProtocolCandidates(connection.database(), &protocols, &error))
        << error.toStdString();

    ASSERT_EQ(protocols.size(), 3u);
    EXPECT_EQ(protocols[0].ProNo, "p05");
    EXPECT_EQ(protocols[1].ProNo, "P10");
    EXPECT_EQ(protocols[2].ProNo, "P20");
    EXPECT_GT(protocols[0].MKEY, 0);
    // The condition numbered "P05" belongs to protocol "p05": numbers link ignoring case.
    ASSERT_EQ(protocols[0].conditions.size(), 1u);
    EXPECT_EQ(protocols[0].conditions[0].ProCond, "0000002");
    EXPECT_TRUE(protocols[1].conditions.empty());
    ASSERT_EQ(protocols[2].conditions.size(), 2u);
    const ProtocolCondition& must =
        protocols[2].conditions[0].ProFlg ? protocols[2].conditions[0]
                                          : protocols[2].conditions[1];
    EXPECT_EQ(must.ProEng, 45.5);
    EXPECT_EQ(must.ProAGL, 20);
    EXPECT_EQ(must.ProAGH, 40);
    EXPECT_EQ(must.ProAnd, "1");
}

} // namespace
