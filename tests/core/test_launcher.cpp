#include "core/launcher.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

using viro::LaunchRequest;
using viro::planLaunch;

// A file system that holds exactly the given paths, and remembers what was asked.
struct FakeFiles {
    std::set<QString> files;
    mutable std::vector<QString> asked;
    viro::FileExistsFn fn() const {
        return [this](const QString& p) {
            asked.push_back(p);
            return files.count(p) > 0;
        };
    }
};

struct RecordingOpener : viro::ShellOpener {
    std::vector<std::pair<QString, QString>> opened;
    void open(const QString& program, const QString& parameter) override {
        opened.emplace_back(program, parameter);
    }
};

struct LaunchCase {
    const char* name;
    QString program;
    QString parameter;
    std::set<QString> files;
    bool launch;
    QString expectedProgram;
    QString expectedParameter;
};

TEST(Launcher, ResolvesDriveLettersAndTrims) {
    const std::vector<LaunchCase> cases{
        {"program on D: found on E:", "D:\\apps\\x.exe", "", {"E:\\apps\\x.exe"}, true,
         "E:\\apps\\x.exe", ""},
        {"existing program kept", "D:\\apps\\x.exe", "", {"D:\\apps\\x.exe"}, true,
         "D:\\apps\\x.exe", ""},
        {"quoted program found on Q:", "\"D:\\a b\\x.exe\"", "", {"Q:\\a b\\x.exe"}, true,
         "\"Q:\\a b\\x.exe\"", ""},
        {"program nowhere is not launched", "D:\\apps\\x.exe", "page.html", {}, false, "", ""},
        {"program without drive letter launched as given", "  wmplayer.exe ", "", {}, true,
         "wmplayer.exe", ""},
        {"parameter moved to the drive that has it", "x.exe", "D:\\doc.txt", {"F:\\doc.txt"},
         true, "x.exe", "F:\\doc.txt"},
        {"parameter found nowhere is kept", "x.exe", " D:\\doc.txt ", {}, true, "x.exe",
         "D:\\doc.txt"},
        {"empty program opens the parameter", "", "https://www.tarvel.example/", {}, true, "",
         "https://www.tarvel.example/"},
        {"nothing to open", "  ", "  ", {}, false, "", ""},
        {"drive R: is past the last letter tried", "D:\\x.exe", "", {"R:\\x.exe"}, false, "",
         ""},
    };
    for (const LaunchCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFiles files{c.files, {}};
        const LaunchRequest r = planLaunch(c.program, c.parameter, files.fn());
        EXPECT_EQ(r.launch, c.launch);
        if (c.launch) {
            EXPECT_EQ(r.program, c.expectedProgram);
            EXPECT_EQ(r.parameter, c.expectedParameter);
        }
    }
}

TEST(Launcher, TriesFifteenDriveLettersInOrder) {
    FakeFiles files;
    planLaunch("D:\\x.exe", "", files.fn());
    // The original text first, then C to Q.
    ASSERT_EQ(files.asked.size(), 16u);
    EXPECT_EQ(files.asked.front(), "D:\\x.exe");
    EXPECT_EQ(files.asked[1], "C:\\x.exe");
    EXPECT_EQ(files.asked.back(), "Q:\\x.exe");
}

TEST(Launcher, LaunchProgramOpensOnlyResolvedRequests) {
    FakeFiles files{{"E:\\tool.exe"}, {}};
    RecordingOpener opener;
    viro::launchProgram("D:\\tool.exe", " -v ", opener, files.fn());
    viro::launchProgram("D:\\missing.exe", "", opener, files.fn());
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(opener.opened[0].first, "E:\\tool.exe");
    EXPECT_EQ(opener.opened[0].second, "-v");
}

TEST(Launcher, SystemOpenerSendsDocumentsToTheDocumentHandler) {
    QString opened;
    viro::SystemShellOpener opener([&](const QString& d) { opened = d; });
    opener.open(QString(), "\"https://www.tarvel.example/\"");
    EXPECT_EQ(opened, "https://www.tarvel.example/");
}

} // namespace
