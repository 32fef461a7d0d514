// satlog-dump's outputs under attack and under failure: what an output name stands for, the
// temporary file beside it, parallel runs, a full disk, signals, a closed pipe, the exit-status
// rule, and file names that hold terminal control bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.hpp"
#include "tests/support/command_run.hpp"
#include "tests/support/raw_log_builder.hpp"
#include "tests/support/reference_data.hpp"
#include "tests/support/sample_ephemeris.hpp"
#include "tests/support/scratch_directory.hpp"
#include "tools/dump/dump_main.hpp"
#include "tools/dump/output_file_system.hpp"
#include "tools/dump/whole_file.hpp"
#include "tools/sim/sim_run.hpp"

namespace fs = std::filesystem;

namespace {

class OutputFiles : public ::testing::Test {
  protected:
    // A minute of the built-in sky (or of the day's broadcast ephemerides), 2010-07-01 00:00 GPS.
    std::string Simulate(const std::string& name, const char* seconds = "60",
                         bool broadcast = false) {
        const std::string log = dir_ / name;
        std::vector<std::string> args{"satlog-sim", "--log", log,          "--start",  "345600",
                                      "--duration", seconds, "--position", "50,10,300"};
        if (broadcast) {
            args.insert(args.end(), {"--nav", (ReferenceDataDir() / "brdc1820.10n").string()});
        }
        EXPECT_EQ(RunCommand(SimMain, args).status, 0);
        return log;
    }
    CommandRun Dump(std::vector<std::string> args) {
        args.insert(args.begin(), "satlog-dump");
        return RunCommand(DumpMain, args);
    }
    // The names in the scratch folder.
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_.Path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    ScratchDirectory dir_;
};

// A whole SVG document.
bool IsSvg(const std::string& text) {
    return text.rfind("<?xml", 0) == 0 && text.find("</svg>") != std::string::npos;
}

// The observation file without its PGM / RUN BY / DATE line, which holds the time of the run.
std::string WithoutRunTime(const std::string& text) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end == std::string::npos ? end : end - at + 1);
        if (line.find("PGM / RUN BY / DATE") == std::string::npos) {
            out += line;
        }
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
}

TEST_F(OutputFiles, AnOutputThatIsNotARegularFileIsNeverReplaced) {
    const std::string log = Simulate("sky.log");
    const std::string pipe = dir_ / "sky.fifo";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const CommandRun refused = Dump({"skyplot", log, "-o", pipe});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("sky.fifo is a pipe: not written over"), std::string::npos)
        << refused.err;
    struct stat st {};
    ASSERT_EQ(lstat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // A link to a regular file writes the file it names; the link stays.
    std::ofstream(dir_ / "target.svg") << "old";
    fs::create_symlink(dir_ / "target.svg", dir_ / "link.svg");
    ASSERT_EQ(Dump({"skyplot", log, "-o", dir_ / "link.svg"}).status, 0);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.svg"));
    EXPECT_TRUE(IsSvg(ReadTextFile(dir_ / "target.svg")));

    // "-" is standard output.
    const CommandRun toOutput = Dump({"skyplot", log, "-o", "-"});
    EXPECT_EQ(toOutput.status, 0) << toOutput.err;
    EXPECT_TRUE(IsSvg(toOutput.out));
}

TEST_F(OutputFiles, TheTemporaryIsANewFileOfItsOwn) {
    // A link planted where the temporary used to be created, and a log whose name is the
    // output's with ".part" after it.
    std::ofstream(dir_ / "precious.txt") << "precious";
    fs::create_symlink(dir_ / "precious.txt", dir_ / "sky.svg.part");
    const std::string log = Simulate("victim.part");
    const std::string before = ReadTextFile(log);

    ASSERT_EQ(Dump({"skyplot", log, "-o", dir_ / "sky.svg"}).status, 0);
    ASSERT_EQ(Dump({"skyplot", log, "-o", dir_ / "victim"}).status, 0);
    EXPECT_EQ(ReadTextFile(dir_ / "precious.txt"), "precious");
    EXPECT_TRUE(fs::is_symlink(dir_ / "sky.svg.part"));
    EXPECT_EQ(ReadTextFile(log), before);
    EXPECT_TRUE(IsSvg(ReadTextFile(dir_ / "victim")));
    EXPECT_EQ(Names(), (std::set<std::string>{"precious.txt", "sky.svg", "sky.svg.part", "victim",
                                              "victim.part"}));
}

TEST_F(OutputFiles, AFailedWriteLeavesNoFileBehind) {
    const std::string log = Simulate("mavu0.txt");
    ChildOptions options;
    options.argv = {SATLOG_DUMP_PATH,    "rinex", log, "--week", "1590", "--dir",
                    dir_.Path().string()};
    options.fileSizeLimit = 4096;  // as a full disk would stop it, inside the observation file
    options.output = ChildOptions::Stream::Capture;
    options.error = ChildOptions::Stream::Capture;
    ChildProcess dump(options);
    EXPECT_EQ(dump.Wait(std::chrono::seconds(60)), 2);
    const auto errors = dump.Lines(ChildProcess::Channel::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].text.find("File too large"), std::string::npos) << errors[0].text;
    EXPECT_EQ(Names(), (std::set<std::string>{"mavu0.txt"}));
}

TEST_F(OutputFiles, AnInterruptLeavesNoTemporaryBehind) {
    const std::string path = dir_ / "sky.svg";
    const auto writeAndStop = [&path] {
        RemoveTemporariesOnSignals();
        WholeFile file(path);
        std::string problem;
        std::string text = "<svg";
        if (file.Open(problem)) {
            file.Write(text);
            std::raise(SIGTERM);
        }
    };
    EXPECT_EXIT(writeAndStop(), ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_TRUE(Names().empty());
}

TEST_F(OutputFiles, ParallelExportsLeaveOneWholeExport) {
    SATLOG_REQUIRE_REFERENCE("brdc1820.10n");
    // Two logs of the same day that export to the same names with different contents.
    const std::string logs[] = {Simulate("a.log", "60"), Simulate("b.log", "90", true)};
    std::string obs[2], nav[2];
    for (int k = 0; k < 2; ++k) {
        const std::string alone = dir_ / ("alone" + std::to_string(k));
        fs::create_directory(alone);
        ASSERT_EQ(
            Dump({"rinex", logs[k], "--week", "1590", "--station", "test", "--dir", alone}).status,
            0);
        obs[k] = WithoutRunTime(ReadTextFile(alone + "/test1820.10o"));
        nav[k] = WithoutRunTime(ReadTextFile(alone + "/test1820.10n"));
    }
    ASSERT_NE(obs[0], obs[1]);
    ASSERT_NE(nav[0], nav[1]);

    const std::string shared = dir_ / "shared";
    fs::create_directory(shared);
    for (int round = 0; round < 6; ++round) {
        std::vector<std::thread> runs;
        int statuses[4] = {};
        for (int k = 0; k < 4; ++k) {
            runs.emplace_back([&, k] {
                statuses[k] = Dump({"rinex", logs[k % 2], "--week", "1590", "--station", "test",
                                    "--dir", shared})
                                  .status;
            });
        }
        for (std::thread& t : runs) {
            t.join();
        }
        for (const int status : statuses) {
            EXPECT_EQ(status, 0);
        }
        const std::string o = WithoutRunTime(ReadTextFile(shared + "/test1820.10o"));
        const std::string n = WithoutRunTime(ReadTextFile(shared + "/test1820.10n"));
        const int which = o == obs[0] ? 0 : o == obs[1] ? 1 : -1;
        ASSERT_NE(which, -1) << "round " << round << ": the observation file is neither export";
        EXPECT_EQ(n, nav[which]) << "round " << round << ": the pair mixes two exports";
        EXPECT_EQ(std::distance(fs::directory_iterator(shared), fs::directory_iterator()), 2);
    }
}

TEST_F(OutputFiles, TheRinexPairAppearsWholeOrNotAtAll) {
    const std::string log = Simulate("mavu0.txt");
    // Last time's observation file, and a navigation file that cannot be written.
    std::ofstream(dir_ / "mavu1820.10o") << "last time's\n";
    fs::create_directory(dir_ / "mavu1820.10n");
    const CommandRun run = Dump({"rinex", log, "--week", "1590", "--dir", dir_.Path().string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("mavu1820.10n is a directory"), std::string::npos) << run.err;
    EXPECT_EQ(ReadTextFile(dir_ / "mavu1820.10o"), "last time's\n");
    EXPECT_EQ(Names(), (std::set<std::string>{"mavu0.txt", "mavu1820.10o", "mavu1820.10n"}));
}

TEST_F(OutputFiles, APairWhoseSecondRenameFailsGivesTheFirstBack) {
    std::ofstream(dir_ / "a") << "old a";
    WholeFile a(dir_ / "a"), b(dir_ / "b");
    std::string problem, textA = "new a", textB = "new b";
    ASSERT_TRUE(a.Open(problem) && b.Open(problem)) << problem;
    a.Write(textA);
    b.Write(textB);
    ASSERT_TRUE(a.Finish(problem) && b.Finish(problem)) << problem;
    // Something takes b's name between the writing and the renaming.
    fs::create_directories(fs::path(dir_ / "b") / "in the way");
    WholeFile* const pair[] = {&a, &b};
    EXPECT_FALSE(CommitWholeFiles(pair, problem));
    EXPECT_NE(problem.find("cannot put"), std::string::npos) << problem;
    EXPECT_EQ(ReadTextFile(dir_ / "a"), "old a");
    EXPECT_EQ(Names(), (std::set<std::string>{"a", "b"}));
}

TEST_F(OutputFiles, EveryCommandFollowsOneExitStatusRule) {
    const std::string log = Simulate("mavu0.txt");
    // Standard output on a full disk.
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"rinex", log, "--week", "1590", "--dir", dir_.Path().string()},
          {"skyplot", log, "-o", dir_ / "sky.svg"}}) {
        std::vector<const char*> argv{"satlog-dump"};
        for (const std::string& a : args) {
            argv.push_back(a.c_str());
        }
        TemporaryStream err;
        EXPECT_EQ(DumpMain(static_cast<int>(argv.size()), argv.data(), full, err.get()), 2)
            << args[0];
        EXPECT_NE(err.Contents().find("cannot write the output: No space left on device"),
                  std::string::npos)
            << err.Contents();
    }
    std::fclose(full);

    // A readable log without a fix: nothing to plot, as rinex has nothing to export without an
    // epoch.
    RawLogBuilder noFix;
    noFix.Ephemeris(SampleEphemeris(3)).Measurement(3, 1, 0.07).Epoch(1500);
    const std::string noFixLog = dir_ / "nofix.log";
    std::FILE* f = std::fopen(noFixLog.c_str(), "wb");
    noFix.WriteTo(f);
    std::fclose(f);
    const CommandRun sky = Dump({"skyplot", noFixLog, "-o", dir_ / "nofix.svg"});
    EXPECT_EQ(sky.status, 1) << sky.err;
    EXPECT_FALSE(fs::exists(dir_ / "nofix.svg"));
}

TEST_F(OutputFiles, AReaderThatStopsEarlyEndsTheCommandQuietly) {
    const std::string log = Simulate("mavu0.txt", "1200");
    const std::string err = dir_ / "err.txt";
    const std::string status = dir_ / "status.txt";
    // The fix of 20 minutes is far more than a pipe holds; head takes one line.
    const std::string script =
        "set -o pipefail; \"$0\" fix \"$1\" 2>\"$2\" | head -1 >/dev/null; "
        "echo $? >\"$3\"";
    const std::string command = "bash -c '" + script + "' '" SATLOG_DUMP_PATH "' '" + log + "' '" +
                                err + "' '" + status + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(ReadTextFile(status), "2\n");
    EXPECT_EQ(ReadTextFile(err), "");
}

TEST_F(OutputFiles, FileNamesReachTheTerminalEscaped) {
    const std::string name = "a\x1b]0;owned\x07\nb.log";
    const std::string log = Simulate(name);
    const CommandRun summary = Dump({"summary", log, "--week", "1590"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    EXPECT_NE(summary.out.find("a\\x1B]0;owned\\x07\\x0Ab.log\n"), std::string::npos)
        << summary.out;
    const CommandRun missing = Dump({"fix", log + ".gone"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("a\\x1B]0;owned\\x07\\x0Ab.log.gone: "), std::string::npos)
        << missing.err;
    for (const std::string& text : {summary.out, summary.err, missing.err}) {
        EXPECT_EQ(text.find('\x1b'), std::string::npos);
        EXPECT_EQ(text.find('\x07'), std::string::npos);
    }
}

}  // namespace
