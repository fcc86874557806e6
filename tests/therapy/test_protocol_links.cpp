#include "therapy/protocol_links.h"

#include <gtest/gtest.h>

#include <set>

namespace {

using namespace viro;

struct RecordingOpener : ShellOpener {
    std::vector<std::pair<QString, QString>> opened;
    void open(const QString& program, const QString& parameter) override {
        opened.emplace_back(program, parameter);
    }
};

TEST(ProtocolLinks, EnabledByTheirCharacterOfProFN) {
    struct Case {
        const char* fn;
        int n;
        bool enabled;
    };
    const Case cases[] = {{"1000", 1, true}, {"1000", 2, false}, {"0001", 4, true},
                          {"01", 2, true},   {"01", 3, false},   {"", 1, false},
                          {"2111", 1, false}, {"1111", 5, false}, {"1111", 0, false}};
    for (const Case& c : cases)
        EXPECT_EQ(protocolLinkEnabled(c.fn, c.n), c.enabled) << c.fn << " link " << c.n;
}

TEST(ProtocolLinks, RunThroughTheLauncherWithBlanksRemoved) {
    ProtocolLinks links;
    links.ProFN = "0110";
    links.program = {"a.exe", "  D:\\tools\\view.exe ", "", "d.exe"};
    links.parameter = {"", " D:\\docs\\lung.pdf  ", " https://www.tarvel.example/lung ", ""};
    const std::set<QString> files{"F:\\tools\\view.exe", "D:\\docs\\lung.pdf"};
    const FileExistsFn exists = [&files](const QString& p) { return files.count(p) > 0; };
    RecordingOpener opener;

    EXPECT_FALSE(runProtocolLink(links, 1, opener, exists));
    EXPECT_TRUE(runProtocolLink(links, 2, opener, exists));
    EXPECT_TRUE(runProtocolLink(links, 3, opener, exists));
    EXPECT_FALSE(runProtocolLink(links, 4, opener, exists));

    ASSERT_EQ(opener.opened.size(), 2u);
    EXPECT_EQ(opener.opened[0].first, "F:\\tools\\view.exe"); // found on another drive
    EXPECT_EQ(opener.opened[0].second, "D:\\docs\\lung.pdf");
    EXPECT_EQ(opener.opened[1].first, "");
    EXPECT_EQ(opener.opened[1].second, "https://www.tarvel.example/lung");
}

} // namespace
