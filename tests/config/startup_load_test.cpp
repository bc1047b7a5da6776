// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ini_file.h"
#include "config/program_dir.h"
#include "config/settings.h"
#include "config/startup_load.h"
#include "tests/config/config_test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <vector>

namespace pingvard {
namespace {

using test::FileMode;
using test::ReadFileText;
using test::TempDirTest;
using test::WriteFileText;

// Records what the load fills, and every call in order into a shared trace.
class TFakeTarget : public TStartupTarget {
public:
    explicit TFakeTarget(std::vector<std::string>& trace) : m_trace(trace) {}

    std::map<std::string, std::string> Values; // "MaxTimeouts", "Address2", ...
    std::vector<std::pair<std::string, std::string>> Script;

    void SetMaxTimeouts(int32_t v) override { Record("MaxTimeouts", std::to_string(v)); }
    void SetPingInterval(int32_t v) override { Record("PingInterval", std::to_string(v)); }
    void SetResetHost(const std::string& host) override { Record("ResetHost", host); }
    void AddScriptStep(const std::string& challenge, const std::string& answer) override {
        Script.emplace_back(challenge, answer);
        m_trace.push_back("step " + challenge + " -> " + answer);
    }
    void SetHostLabel(int slot, const std::string& text) override {
        m_labels.at(Slot(slot)) = text;
        Record("Label" + std::to_string(slot + 1), text);
    }
    std::string HostLabel(int slot) const override { return m_labels.at(Slot(slot)); }
    void SetDoReset(int slot, bool doReset) override {
        m_doReset.at(Slot(slot)) = doReset;
        Record("DoReset" + std::to_string(slot + 1), doReset ? "1" : "0");
    }
    bool DoReset(int slot) const override { return m_doReset.at(Slot(slot)); }
    void SetDisplayName(int slot, const std::string& name) override {
        Record("DisplayName" + std::to_string(slot + 1), name);
    }
    void SetSlotHost(int slot, const std::string& address, int32_t timeoutMs) override {
        const auto n = std::to_string(slot + 1);
        Values["Address" + n] = address;
        Values["Timeout" + n] = std::to_string(timeoutMs);
        m_trace.push_back("worker " + n + " " + address + " " + std::to_string(timeoutMs));
    }

private:
    static size_t Slot(int slot) { return static_cast<size_t>(slot); }
    void Record(const std::string& what, const std::string& value) {
        Values[what] = value;
        m_trace.push_back("set " + what + "=" + value);
    }
    std::vector<std::string>& m_trace;
    std::array<std::string, 4> m_labels;
    std::array<bool, 4> m_doReset{};
};

// Passes every operation on to a real TIniFile and writes it into the trace.
class TTracingIniFile : public TCustomIniFile {
public:
    TTracingIniFile(const std::string& fileName, std::vector<std::string>& trace,
                    std::string refuseWriteOf = {})
        : TCustomIniFile(fileName), m_inner(fileName), m_trace(trace),
          m_refuse(std::move(refuseWriteOf)) {}
    std::string ReadText(const std::string& s, const std::string& k,
                         const std::string& def) override {
        m_trace.push_back("R " + s + "/" + k);
        return m_inner.ReadText(s, k, def);
    }
    void WriteText(const std::string& s, const std::string& k, const std::string& v) override {
        m_trace.push_back("W " + s + "/" + k + "=" + v);
        if (s + "/" + k == m_refuse)
            throw EIniFileException("Unable to write to " + FileName());
        m_inner.WriteText(s, k, v);
    }
    std::shared_ptr<const TProfileIndex> Index() override { return m_inner.Index(); }

private:
    TIniFile m_inner;
    std::vector<std::string>& m_trace;
    std::string m_refuse; // "Section/Key" whose write fails
};

class StartupLoad : public TempDirTest {
protected:
    // Runs the load on pingvard.ini in the current directory.
    TFakeTarget Load() {
        TFakeTarget target(m_trace);
        RunStartupLoad(target);
        return target;
    }
    std::optional<std::string> FileValue(const std::string& section, const std::string& key) {
        return TProfileStore("pingvard.ini").Read(section, key);
    }
    std::vector<std::string> m_trace;
};

TEST_F(StartupLoad, CreatesTheFreshFileByteForByte) {
    const auto target = Load();
    EXPECT_EQ(ReadFileText("pingvard.ini"),
              ReadFileText(PINGVARD_TEST_DATA_DIR "/fresh_pingvard.ini"));
    EXPECT_EQ(FileMode("pingvard.ini"), 0600u); // it holds the device password
    EXPECT_EQ(target.Values.at("MaxTimeouts"), "5");
    EXPECT_EQ(target.Values.at("PingInterval"), "2000");
    EXPECT_EQ(target.Values.at("ResetHost"), "192.168.168.1");
    EXPECT_EQ(target.Values.at("DisplayName4"), "AP");
    EXPECT_EQ(target.Values.at("Address4"), "192.168.168.1");
    EXPECT_EQ(target.Values.at("DoReset4"), "0");
    ASSERT_EQ(target.Script.size(), 3u);
    EXPECT_EQ(target.Script[2], (std::pair<std::string, std::string>{"(y/n)?", "y"}));
}

TEST_F(StartupLoad, ALoadOfItsOwnFileChangesNothing) {
    Load();
    const auto first = ReadFileText("pingvard.ini");
    Load();
    EXPECT_EQ(ReadFileText("pingvard.ini"), first);
}

TEST_F(StartupLoad, ReadsAndWritesInTheFixedOrder) {
    WriteFileText("pingvard.ini", "[ResetHost]\nChallengesCount=1\nChallenge1=login:\n");
    TFakeTarget target(m_trace);
    TTracingIniFile ini(ConfigFileName(), m_trace);
    RunStartupLoad(ini, target);
    std::vector<std::string> expected = {"R Constants/MaxTimeouts",
                                         "set MaxTimeouts=5",
                                         "W Constants/MaxTimeouts=5",
                                         "R Constants/PingInterval",
                                         "set PingInterval=2000",
                                         "W Constants/PingInterval=2000",
                                         "R ResetHost/Hostname",
                                         "set ResetHost=192.168.168.1",
                                         "W ResetHost/Hostname=192.168.168.1",
                                         "R ResetHost/ChallengesCount",
                                         "R ResetHost/Challenge1",
                                         "R ResetHost/Answer1",
                                         "step login: -> "};
    const char* labels[] = {"pool.ntp.org", "www.yahoo.com", "www.geant.org", "AP"};
    for (int n = 1; n <= 4; ++n)
        expected.insert(expected.end(), {"R Host" + std::to_string(n) + "/DisplayName",
                                         "set Label" + std::to_string(n) + "=" + labels[n - 1]});
    for (int n = 1; n <= 4; ++n)
        expected.push_back("W Host" + std::to_string(n) + "/DisplayName=" + labels[n - 1]);
    for (int n = 1; n <= 4; ++n)
        expected.insert(expected.end(),
                        {"R Host" + std::to_string(n) + "/TimeoutDoReset",
                         "set DoReset" + std::to_string(n) + (n < 4 ? "=1" : "=0")});
    for (int n = 1; n <= 4; ++n) {
        const auto s = "Host" + std::to_string(n);
        const std::string host = n == 4 ? "192.168.168.1" : labels[n - 1];
        const std::string flag = n < 4 ? "1" : "0";
        expected.insert(expected.end(),
                        {"R " + s + "/Hostname", "R " + s + "/Timeout",
                         "set DisplayName" + std::to_string(n) + "=" + labels[n - 1],
                         "W " + s + "/Hostname=" + host, "W " + s + "/Timeout=1000",
                         "W " + s + "/TimeoutDoReset=" + flag,
                         "worker " + std::to_string(n) + " " + host + " 1000"});
    }
    EXPECT_EQ(m_trace, expected);
}

TEST_F(StartupLoad, InstallsTheDefaultScriptInItsOrder) {
    TFakeTarget target(m_trace);
    TTracingIniFile ini(ConfigFileName(), m_trace);
    RunStartupLoad(ini, target);
    std::vector<std::string> fileOps; // the target's calls are covered elsewhere
    std::copy_if(
        m_trace.begin(), m_trace.end(), std::back_inserter(fileOps),
        [](const std::string& op) { return op.starts_with("R ") || op.starts_with("W "); });
    const auto first = std::find(fileOps.begin(), fileOps.end(), "R ResetHost/ChallengesCount");
    ASSERT_LE(first + 14, fileOps.end());
    const std::vector<std::string> script(first, first + 14);
    EXPECT_EQ(script, (std::vector<std::string>{
                          "R ResetHost/ChallengesCount", "W ResetHost/ChallengesCount=3",
                          "W ResetHost/Challenge1=password:", "W ResetHost/Answer1=kelvarno",
                          "W ResetHost/Challenge2=Command>", "W ResetHost/Answer2=reset system",
                          "W ResetHost/Challenge3=(y/n)?", "W ResetHost/Answer3=y",
                          "R ResetHost/Challenge1", "R ResetHost/Answer1", "R ResetHost/Challenge2",
                          "R ResetHost/Answer2", "R ResetHost/Challenge3", "R ResetHost/Answer3"}));
}

// One hand-written value in, what the system uses and what the file holds after.
struct TValueCase {
    const char* name;
    std::string file;           // initial pingvard.ini
    std::string used;           // key in TFakeTarget::Values
    std::string expectedUse;    //
    std::string section, key;   // entry checked in the file afterwards
    std::string expectedStored; //
};

class StartupLoadValue : public StartupLoad, public ::testing::WithParamInterface<TValueCase> {};

TEST_P(StartupLoadValue, IsUsedAndWrittenBackNormalised) {
    const auto& c = GetParam();
    WriteFileText("pingvard.ini", c.file);
    const auto target = Load();
    EXPECT_EQ(target.Values.at(c.used), c.expectedUse);
    EXPECT_EQ(FileValue(c.section, c.key), c.expectedStored);
}

TValueCase Timeout(const char* name, const std::string& text, const std::string& use) {
    return {name, "[Host1]\nTimeout=" + text + "\n", "Timeout1", use, "Host1", "Timeout", use};
}
TValueCase Interval(const char* name, const std::string& text, const std::string& use) {
    return {name,
            "[Constants]\nPingInterval=" + text + "\n",
            "PingInterval",
            use,
            "Constants",
            "PingInterval",
            use};
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupLoadValue,
    ::testing::Values(TValueCase{"HexWithZeroX", "[Constants]\nMaxTimeouts=0x0A\n", "MaxTimeouts",
                                 "10", "Constants", "MaxTimeouts", "10"},
                      Timeout("HexWithDollar", "$3E8", "1000"), Timeout("HexWithX", "x10", "16"),
                      Timeout("AllBitsSetIsMinusOne", "$FFFFFFFF", "-1"),
                      Timeout("HexBeyond32Bits", "$100000000", "1000"),
                      Timeout("SignBeforeHexMarker", "-$10", "1000"),
                      Timeout("SmallestInteger", "-2147483648", "-2147483648"),
                      Timeout("OneBeyondTheLargest", "2147483648", "1000"),
                      Timeout("ZeroIsUsedUnchanged", "0", "0"),
                      Interval("UnitAfterDigits", "2000ms", "2000"),
                      Interval("BlankInside", "2 000", "2000"), Interval("Empty", "", "2000"),
                      Interval("BlanksAroundAreRemoved", "   750   ", "750"),
                      TValueCase{"FlagFiveIsTrue", "[Host4]\nTimeoutDoReset=5\n", "DoReset4", "1",
                                 "Host4", "TimeoutDoReset", "1"},
                      TValueCase{"FlagYesGivesTheSlotDefault", "[Host4]\nTimeoutDoReset=yes\n",
                                 "DoReset4", "0", "Host4", "TimeoutDoReset", "0"},
                      TValueCase{"EmptyHostnameTakesTheSlotDefault", "[Host2]\nHostname=\n",
                                 "Address2", "www.yahoo.com", "Host2", "Hostname", "www.yahoo.com"},
                      TValueCase{"EmptyResetHostStaysEmpty", "[ResetHost]\nHostname=\n",
                                 "ResetHost", "", "ResetHost", "Hostname", ""},
                      TValueCase{"EmptyDisplayNameStaysEmpty", "[Host3]\nDisplayName=\n",
                                 "DisplayName3", "", "Host3", "DisplayName", ""},
                      TValueCase{"NamesMatchWithoutCase", "[HOST1]\nhostname=10.0.0.1\n",
                                 "Address1", "10.0.0.1", "host1", "HostName", "10.0.0.1"},
                      TValueCase{"LongValueIsCutTo2047",
                                 "[Host1]\nDisplayName=" + std::string(3000, 'n') + "\n",
                                 "DisplayName1", std::string(2047, 'n'), "Host1", "DisplayName",
                                 std::string(2047, 'n')}),
    [](const auto& param) { return std::string{param.param.name}; });

struct TScriptCase {
    const char* name;
    std::string resetHost; // lines of the [ResetHost] section
    std::vector<std::pair<std::string, std::string>> script;
    std::string storedCount;
};

class StartupLoadScript : public StartupLoad, public ::testing::WithParamInterface<TScriptCase> {};

TEST_P(StartupLoadScript, ReadsOrInstallsTheScript) {
    const auto& c = GetParam();
    WriteFileText("pingvard.ini", "[ResetHost]\n" + c.resetHost + "Challenge4=keep\n");
    const auto target = Load();
    EXPECT_EQ(target.Script, c.script);
    EXPECT_EQ(FileValue("ResetHost", "ChallengesCount"), c.storedCount);
    EXPECT_EQ(FileValue("ResetHost", "Challenge4"), "keep"); // never read, never removed
}

const std::vector<std::pair<std::string, std::string>> kDefault = {
    {"password:", "kelvarno"}, {"Command>", "reset system"}, {"(y/n)?", "y"}};

INSTANTIATE_TEST_SUITE_P(
    Cases, StartupLoadScript,
    ::testing::Values(TScriptCase{"Absent", "Challenge1=old\nAnswer1=old\n", kDefault, "3"},
                      TScriptCase{"Zero", "ChallengesCount=0\nChallenge2=old\n", kDefault, "3"},
                      TScriptCase{"NotANumber", "ChallengesCount=two\n", kDefault, "3"},
                      TScriptCase{"Negative", "ChallengesCount=-1\nChallenge1=a\n", {}, "-1"},
                      TScriptCase{
                          "MissingAnswerIsEmpty",
                          "ChallengesCount=2\nChallenge1=login:\nAnswer1=me\nChallenge2=pw:\n",
                          {{"login:", "me"}, {"pw:", ""}},
                          "2"}),
    [](const auto& param) { return std::string{param.param.name}; });

TEST_F(StartupLoad, AMissingAnswerIsNotAddedToTheFile) {
    WriteFileText("pingvard.ini", "[ResetHost]\nChallengesCount=2\nChallenge1=a\nAnswer1=b\n");
    Load();
    EXPECT_EQ(FileValue("ResetHost", "Answer2"), std::nullopt);
    EXPECT_EQ(FileValue("ResetHost", "Challenge2"), std::nullopt);
}

TEST_F(StartupLoad, AHugeStepCountIsReadUpToTheLimit) {
    WriteFileText("pingvard.ini", "[ResetHost]\nChallengesCount=2147483647\n");
    const auto target = Load();
    EXPECT_EQ(target.Script.size(), static_cast<size_t>(kMaxScriptSteps));
    EXPECT_EQ(FileValue("ResetHost", "ChallengesCount"), "2147483647");
}

// Lines the system does not write, in a CR LF file as Windows editors leave it.
const std::string kHandEdited = "; Pingvard settings, edited by hand\r\n"
                                "[Constants]\r\n"
                                "MaxTimeouts=3\r\n"
                                "Colour=blue\r\n"
                                "\r\n"
                                "[ResetHost]\r\n"
                                "Hostname=10.1.1.1\r\n"
                                "ChallengesCount=3\r\n"
                                "Challenge1=login:\r\n"
                                "Answer1=admin\r\n"
                                "; the password step\r\n"
                                "Challenge2=password:\r\n"
                                "Answer2=secret\r\n"
                                "Challenge3=#\r\n"
                                "Answer3=reboot\r\n"
                                "Challenge4=unused\r\n"
                                "[Extra]\r\n"
                                "Anything=at all\r\n";

TEST_F(StartupLoad, KeepsHandEditedLinesThroughALoadAndASave) {
    WriteFileText("pingvard.ini", kHandEdited);
    Load();
    {
        // The settings dialog's save.
        TSettings settings;
        settings.MaxTimeouts = 4;
        settings.PingInterval = 1500;
        settings.ResetHost = "10.1.1.2";
        for (int slot = 0; slot < kSlotCount; ++slot) {
            const std::string n = std::to_string(slot + 1);
            settings.Hosts[static_cast<size_t>(slot)] = {"10.0.0." + n, "Host " + n, 900,
                                                         slot == 0};
        }
        TIniFile ini(ConfigFileName());
        settings.Save(ini);
    }
    std::string expected = kHandEdited;
    auto replace = [&](const std::string& from, const std::string& to) {
        expected.replace(expected.find(from), from.size(), to);
    };
    replace("MaxTimeouts=3", "MaxTimeouts=4");
    replace("Colour=blue\r\n", "Colour=blue\r\nPingInterval=1500\r\n"); // end of its section
    replace("Hostname=10.1.1.1", "Hostname=10.1.1.2");
    for (int n = 1; n <= 4; ++n)
        expected += "[Host" + std::to_string(n) + "]\r\nDisplayName=Host " + std::to_string(n) +
                    "\r\nHostname=10.0.0." + std::to_string(n) +
                    "\r\nTimeout=900\r\nTimeoutDoReset=" + (n == 1 ? "1" : "0") + "\r\n";
    EXPECT_EQ(ReadFileText("pingvard.ini"), expected);
}

TEST_F(StartupLoad, EndsAtAFailingWriteWithEarlierSlotsInPlace) {
    TFakeTarget target(m_trace);
    TTracingIniFile ini(ConfigFileName(), m_trace, "Host2/Hostname");
    EXPECT_THROW(RunStartupLoad(ini, target), EIniFileException);
    EXPECT_EQ(m_trace.back(), "W Host2/Hostname=www.yahoo.com");
    EXPECT_EQ(target.Values.at("DisplayName2"), "www.yahoo.com"); // set before the write
    EXPECT_EQ(target.Values.at("Address1"), "pool.ntp.org");      // slot 1 has its worker
    EXPECT_EQ(target.Values.count("Address2"), 0u);               // slot 2 never got one
    EXPECT_EQ(TProfileStore("pingvard.ini").Read("Host2", "Timeout"), std::nullopt);
}

// The read-only cases: the load stops at its first write, MaxTimeouts, with
// what it read before in force and the file unchanged.
void ExpectStopsAtMaxTimeouts(TFakeTarget& target, const std::vector<std::string>& trace) {
    try {
        RunStartupLoad(target);
        ADD_FAILURE() << "the load did not stop";
    } catch (const EIniFileException& e) {
        EXPECT_STREQ(e.what(), ("Unable to write to " + GetProgramDir() + "pingvard.ini").c_str());
    }
    EXPECT_EQ(trace, std::vector<std::string>{"set MaxTimeouts=3"});
}

TEST_F(StartupLoad, StopsAtMaxTimeoutsWhenTheFileHasNoWriteBits) {
    WriteFileText("pingvard.ini", kHandEdited);
    ASSERT_EQ(::chmod("pingvard.ini", 0444), 0);
    TFakeTarget target(m_trace);
    ExpectStopsAtMaxTimeouts(target, m_trace);
    EXPECT_EQ(ReadFileText("pingvard.ini"), kHandEdited);
}

TEST_F(StartupLoad, StopsAtMaxTimeoutsWhenTheDirectoryHasNoWriteBits) {
    ASSERT_EQ(::chmod(".", 0555), 0);
    TFakeTarget target(m_trace);
    try {
        RunStartupLoad(target);
        ADD_FAILURE() << "the load did not stop";
    } catch (const EIniFileException&) {
    }
    EXPECT_EQ(m_trace, std::vector<std::string>{"set MaxTimeouts=5"});
    EXPECT_FALSE(test::FileExists("pingvard.ini"));
}

TEST_F(StartupLoad, StopsAtMaxTimeoutsOnAReadOnlyFileSystem) {
    if (const auto reason = test::MountNamespaceUnavailableReason(); !reason.empty())
        GTEST_SKIP() << reason;
    WriteFileText("pingvard.ini", kHandEdited);
    const auto failure = test::RunWithReadOnlyMount(m_dir.Path(), [] {
        std::vector<std::string> trace;
        TFakeTarget target(trace);
        try {
            RunStartupLoad(target);
            return std::string{"the load did not stop"};
        } catch (const EIniFileException& e) {
            if (e.what() != "Unable to write to " + GetProgramDir() + "pingvard.ini")
                return "wrong message: " + std::string{e.what()};
        }
        return trace == std::vector<std::string>{"set MaxTimeouts=3"} ? std::string{}
                                                                      : "went on: " + trace.back();
    });
    EXPECT_EQ(failure, "");
    EXPECT_EQ(ReadFileText("pingvard.ini"), kHandEdited);
}

} // namespace
} // namespace pingvard

namespace pingvard {
namespace {

// Whether a process that has loaded the settings can still dump core: the
// load runs in a child with the variable given, which answers by its status.
int DumpableAfterLoad(const char* allowCoreDumps) {
    return test::RunInChild([allowCoreDumps] {
        // A load earlier in this process made it undumpable, and a child
        // inherits that: start from a dumpable one.
        ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
        if (allowCoreDumps != nullptr) {
            ::setenv("PINGVARD_ALLOW_CORE_DUMPS", allowCoreDumps, 1);
        }
        // The test process itself is undumpable once an earlier test loaded
        // settings in it, and a child inherits that.
        ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
        TIniFile ini("pingvard.ini");
        TSettings::Load(ini, "./");
        ::_exit(::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0));
    });
}

class CoreDumps : public test::TempDirTest {};

TEST_F(CoreDumps, ALoadedProcessHoldsSecretsAndIsNotDumpableUnlessAskedFor) {
    ASSERT_EQ(DumpableAfterLoad(nullptr), 0);
    ASSERT_EQ(DumpableAfterLoad("0"), 0);
    ASSERT_EQ(DumpableAfterLoad("1"), 1);
}

} // namespace
} // namespace pingvard
