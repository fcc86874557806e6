#include "core/launcher.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

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

// The desktop as the system opener sees it: what it started and what it opened.
struct FakeDesktop {
    QStringList started;  // program, then its arguments, joined by "|"
    std::vector<QUrl> opened;
    std::set<QString> cannotStart;
    viro::SystemShellOpener opener{
        [this](const QUrl& url) { opened.push_back(url); },
        [this](const QString& program, const QStringList& arguments) {
            if (cannotStart.count(program))
                return false;
            started << (QStringList{program} + arguments).join('|');
            return true;
        }};
};

class SystemOpener : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkdir("docs"));
        ASSERT_TRUE(QDir(dir.path()).mkdir("my tools"));
        write("my tools/run.sh", "#!/bin/sh\n", true);
        write("report.txt", "text", false);
        // A document on a FAT mount carries the execute bit but cannot run.
        write("scan.pdf", "%PDF-1.4", true);
    }
    void write(const QString& name, const QByteArray& content, bool executable) {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner;
        if (executable)
            mode |= QFile::ExeOwner;
        ASSERT_TRUE(f.setPermissions(mode));
    }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
};

TEST_F(SystemOpener, StartsProgramsAndOpensEverythingElseWithTheDesktop) {
    const QString sh = QStandardPaths::findExecutable("sh");
    ASSERT_FALSE(sh.isEmpty()) << "no sh on PATH";
    const QString script = path("my tools/run.sh");
    const QUrl report = QUrl::fromLocalFile(path("report.txt"));
    struct Case {
        const char* name;
        QString program;
        QString parameter;
        QStringList started;
        std::vector<QUrl> opened;
    };
    const std::vector<Case> cases{
        {"executable file with its arguments", script, "-v \"two words\"",
         {script + "|-v|two words"}, {}},
        {"quoted executable path with a blank", "\"" + script + "\"", "", {script}, {}},
        {"command on PATH", "sh", "-c true", {"sh|-c|true"}, {}},
        {"command given by its full path", sh, "", {sh}, {}},
        {"document", path("report.txt"), "ignored", {}, {report}},
        {"folder", path("docs"), "", {}, {QUrl::fromLocalFile(path("docs"))}},
        {"web address", "https://www.tarvel.example/a?b=c", "x", {},
         {QUrl("https://www.tarvel.example/a?b=c")}},
        {"mail address", "mailto:info@tarvel.example", "", {},
         {QUrl("mailto:info@tarvel.example")}},
        {"file URL", "file:///tmp/notes.txt", "", {}, {QUrl("file:///tmp/notes.txt")}},
        {"web address without a scheme", "www.tarvel.example", "", {},
         {QUrl("http://www.tarvel.example")}},
        {"executable bit on a document that cannot run", path("scan.pdf"), "", {},
         {QUrl::fromLocalFile(path("scan.pdf"))}},
        {"no program: the parameter's web address", "", "https://www.tarvel.example/", {},
         {QUrl("https://www.tarvel.example/")}},
        {"no program: the parameter's document", "", "\"" + path("report.txt") + "\"", {},
         {report}},
        {"no program: the parameter's program runs without arguments", "", script, {script},
         {}},
        {"Windows program that is not here", "wmplayer.exe", "", {}, {}},
        {"Windows path that is not here", "C:\\Tools\\run.exe", "-a", {}, {}},
        {"missing file", path("gone.txt"), "", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDesktop desktop;
        desktop.cannotStart = {path("scan.pdf")};
        desktop.opener.open(c.program, c.parameter);
        EXPECT_EQ(desktop.started, c.started);
        EXPECT_EQ(desktop.opened, c.opened);
    }
}

TEST_F(SystemOpener, ClassifiesAsTheDesktopOpens) {
    using viro::OpenTarget;
    struct Case {
        QString text;
        OpenTarget kind;
    };
    const std::vector<Case> cases{
        {path("my tools/run.sh"), OpenTarget::Executable},
        {"sh", OpenTarget::Executable},
        {path("report.txt"), OpenTarget::Document},
        {path("docs"), OpenTarget::Folder},
        {"http://x.example", OpenTarget::Link},
        {"WWW.x.example", OpenTarget::Link},
        {"C:\\x.exe", OpenTarget::Missing},
        {"c:/x", OpenTarget::Missing},
        {"no-such-command-for-viro", OpenTarget::Missing},
        {"", OpenTarget::Missing},
    };
    for (const Case& c : cases)
        EXPECT_EQ(viro::classifyOpenTarget(c.text), c.kind) << c.text.toStdString();
}

} // namespace
