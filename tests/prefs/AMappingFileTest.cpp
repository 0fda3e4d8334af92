// "mapping.xml": where the store finds it, reading it, writing it whole, and
// saves that fail or race a reader. The other processes are this program
// again, running one of the disabled tests.

#include "tests/prefs/APrefsTestSupport.h"
#include "tests/support/AChildProgram.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using std::filesystem::path;

mode_t ModeOf(const path& file)
{
    struct stat status {};
    return stat(file.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

void Folder(const path& at)
{
    std::filesystem::create_directories(at);
}

class AMappingFileTest : public ::testing::Test {
protected:
    void SetUp() override { Folder(fHome.StoreFolder()); }
    AConfigHome fHome;
};

// Nuvexa/mapping.xml in $XDG_CONFIG_HOME when that is absolute, else in
// .config of HOME; missing configuration folders are made private to the
// user, the file itself only by a save.
TEST(AMappingLocationTest, TheFileIsNuvexaMappingXmlInTheConfigFolder)
{
    const char* const kNoFolder = "PrefController: Could not locate config file";
    const char* const kNoFile = "PrefController: Error loading preferences";
    const struct {
        const char* fRule;
        const char* fConfigHome;                    // a leading "/" is the test's root
        std::function<void(const path&)> fPrepare;  // given the test's root
        const char* fFile;                          // below the test's root, or the failure
    } rows[] = {
        {"XDG_CONFIG_HOME, its missing folders made private", "/a/b", nullptr, "/a/b/Nuvexa/mapping.xml"},
        {"an empty XDG_CONFIG_HOME means .config of HOME", "", nullptr, "/home/.config/Nuvexa/mapping.xml"},
        {"a relative XDG_CONFIG_HOME means .config of HOME", "a/b", nullptr, "/home/.config/Nuvexa/mapping.xml"},
        {"a link to a folder is the folder", "/c",
         [](const path& r) { Folder(r / "c"), Folder(r / "d"), std::filesystem::create_directory_symlink(r / "d", r / "c/Nuvexa"); },
         "/c/Nuvexa/mapping.xml"},
        {"a plain file named Nuvexa", "/c", [](const path& r) { Folder(r / "c"), WriteWholeFile(r / "c/Nuvexa", ""); }, kNoFolder},
        {"a configuration folder below a plain file", "/f/c", [](const path& r) { WriteWholeFile(r / "f", ""); }, kNoFolder},
        {"a folder named mapping.xml", "/c", [](const path& r) { Folder(r / "c/Nuvexa/mapping.xml"); }, kNoFile},
        {"a dangling link named mapping.xml", "/c",
         [](const path& r) { Folder(r / "c/Nuvexa"), std::filesystem::create_symlink(r / "gone", r / "c/Nuvexa/mapping.xml"); },
         kNoFile},
        {"a FIFO named mapping.xml, not waited on", "/c",
         [](const path& r) { Folder(r / "c/Nuvexa"), mkfifo((r / "c/Nuvexa/mapping.xml").c_str(), 0600); }, kNoFile},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fRule);
        ATemporaryFolder root;
        const std::string rootText = root.Path().string();
        Folder(root.Path() / "home");
        AScopedEnvironment home("HOME", rootText + "/home");
        AScopedEnvironment config("XDG_CONFIG_HOME", (row.fConfigHome[0] == '/' ? rootText : "") + row.fConfigHome);
        if (row.fPrepare)
            row.fPrepare(root.Path());
        std::unique_ptr<APrefController> store;
        const std::string failure = FailureOf([&] { store = std::make_unique<APrefController>(); });
        EXPECT_EQ(store ? store->GetXmlPath().substr(rootText.size()) : failure, row.fFile);
        if (!store)
            continue;
        EXPECT_EQ(APrefController::GetDefaultXmlPath(), store->GetXmlPath());
        EXPECT_FALSE(std::filesystem::exists(store->GetXmlPath()));
        store->FlushXml();
        EXPECT_TRUE(std::filesystem::exists(store->GetXmlPath()));
        for (path made = path(store->GetXmlPath()).parent_path().parent_path();
             !row.fPrepare && made != root.Path() / "home" && made != root.Path(); made = made.parent_path())
            EXPECT_EQ(ModeOf(made), 0700u) << made;
    }
}

// Each prefs/read/<rule>.xml is loaded into a store holding other records;
// <rule>.expected holds the records it gives, or its failure and the empty
// store a failure leaves. When <rule>.written exists, the store writes it.
TEST_F(AMappingFileTest, EachFileReadsAsItsRecordsOrItsFailure)
{
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(FixturePath("prefs/read"))) {
        path fixture = entry.path();
        if (fixture.extension() != ".xml")
            continue;
        SCOPED_TRACE(fixture.stem().string());
        ++count;
        std::filesystem::remove(fHome.MappingPath());
        APrefController store;
        store.AddOrUpdateDevice(kDeviceRFMouse, 1, 1001, 0);
        store.AddOrUpdateEvent(kDeviceRFMouse, 4, kLaunchExec, "/in-memory-only");
        std::filesystem::copy_file(fixture, fHome.MappingPath());
        const std::string expected = ReadWholeFile(path(fixture).replace_extension(".expected"));
        const std::string loaded = FailureOf([&] { store.Load(); });
        EXPECT_EQ((loaded == "no failure" ? "" : loaded + "\n") + DescribeStore(store), expected);
        std::unique_ptr<APrefController> fresh;
        const std::string constructed = FailureOf([&] { fresh = std::make_unique<APrefController>(); });
        EXPECT_EQ(fresh ? DescribeStore(*fresh) : constructed + "\n", expected);
        if (const path written = path(fixture).replace_extension(".written"); std::filesystem::exists(written)) {
            store.FlushXml();
            EXPECT_EQ(ReadWholeFile(fHome.MappingPath()), ReadWholeFile(written));
        }
    }
    EXPECT_EQ(count, 11);
}

TEST_F(AMappingFileTest, EveryFieldAndArgumentReadsBackUnchanged)
{
    const std::string arguments[] = {
        "/home/me/My Scripts/a&b <c> \"d\" 'e'.sh", "&amp; &lt; ]]> <!-- --> <?pi?>",
        "tab\there, line\nend, return\rhere, bell\x07, escape\x1B", "  leading and trailing blanks  ",
        "caf\xC3\xA9 \xE2\x98\xBA \xF0\x9F\x96\xB1", "not UTF-8: \xFF\xFE\xC3", std::string(10000, 'x'),
    };
    APrefController store;
    store.AddOrUpdateDevice(kDeviceRFMouse, 0xFFFFFFFFu, 0x80000000u, -1);
    store.AddOrUpdateDevice(kDeviceBTMouse, kVendorID, 1002, INT32_MAX);
    store.AddOrUpdateDevice(kDevicePresenter, kVendorID, 2001, 1);
    for (int32_t id = 0; id < 7; ++id)
        store.AddOrUpdateEvent(kDeviceBTMouse, id - 2, id % 5, arguments[id]);
    store.AddOrUpdateEvent(kDevicePresenter, INT32_MIN, kLaunchPredefinedKeys, "13");
    store.AddOrUpdateEvent(kDevicePresenter, INT32_MAX, kLaunchDefault, std::nullopt);
    store.FlushXml();
    EXPECT_EQ(DescribeStore(APrefController()), DescribeStore(store));
}

TEST_F(AMappingFileTest, TheFileIsReplacedWholeFromTheRecordsKeepingItsModeAndItsLink)
{
    APrefController store;
    store.AddOrUpdateDevice(kDeviceBTMouse, kVendorID, 1002, 0);
    store.FlushXml();
    EXPECT_EQ(ModeOf(fHome.MappingPath()), 0600u) << "a first file is private";
    WriteWholeFile(fHome.MappingPath(), "<devices><device device_type=\"rfmouse\"/></devices>");
    ASSERT_EQ(chmod(fHome.MappingPath().c_str(), 0644), 0);
    store.FlushXml();
    EXPECT_EQ(DescribeStore(APrefController()), "1 65261 1002 0:\n") << "the records alone are written, never merged";
    EXPECT_EQ(ModeOf(fHome.MappingPath()), 0644u) << "a replacement keeps the mode";
    EXPECT_EQ(ListFolder(fHome.StoreFolder()), "mapping.xml") << "no temporary file is left";

    const path target = fHome.Root() / "mapping.xml";
    std::filesystem::rename(fHome.MappingPath(), target);
    std::filesystem::create_symlink(target, fHome.MappingPath());
    store.RemoveDevice(kDeviceBTMouse);
    store.FlushXml();
    EXPECT_TRUE(std::filesystem::is_symlink(fHome.MappingPath())) << "a linked file is replaced behind its link";
    EXPECT_EQ(DescribeStore(APrefController(target.string())), "");
    EXPECT_EQ(ListFolder(fHome.Root()), "config mapping.xml");
}

std::vector<std::string> ChildTest(const std::string& name)
{
    return {"--gtest_also_run_disabled_tests", "--gtest_filter=AMappingFileChild.DISABLED_" + name};
}

// The failure of a save, and whether it changed the records.
std::string FailedSave(APrefController& store)
{
    const std::string records = DescribeStore(store);
    const std::string failure = FailureOf([&] { store.FlushXml(); });
    return DescribeStore(store) == records ? failure : failure + ", and the records changed";
}

TEST(AMappingFileChild, DISABLED_ChangeAndSave)
{
    APrefController store;
    ASSERT_EQ(store.GetDevices().size(), 2u);
    store.AddOrUpdateEvent(kDeviceBTMouse, 4, kLaunchExec, "/usr/bin/xterm");
    EXPECT_EQ(FailedSave(store), "PrefController: Error saving preferences");
}

TEST_F(AMappingFileTest, ASaveThatFailsKeepsTheOldFileAndTheRecords)
{
    fHome.InstallFixture("prefs/read/example.xml");
    const std::string oldFile = ReadWholeFile(fHome.MappingPath());
    // Root ignores permission bits, so the save into the shut folder runs as
    // "nobody"; any other user is kept out by the folder's mode alone.
    ASSERT_TRUE(fHome.ShutOutOtherSavers());
    AProgramOptions nobody;
    nobody.fUnprivileged = true;
    AProgramResult child = RunProgram(BuildBinaryPath("prefs_tests"), ChildTest("ChangeAndSave"), nobody);
    EXPECT_EQ(child.fStatus, 0) << child.fStdout;
    EXPECT_EQ(ReadWholeFile(fHome.MappingPath()), oldFile);
    EXPECT_EQ(ListFolder(fHome.StoreFolder()), "mapping.xml");

    AConfigHome other;
    APrefController store;
    std::filesystem::create_directory(other.MappingPath());
    WriteWholeFile(other.MappingPath() / "inside", "kept");
    store.AddOrUpdateDevice(kDeviceBTMouse, kVendorID, 1002, 0);
    EXPECT_EQ(FailedSave(store), "PrefController: Error saving preferences") << "a folder at the path";
    EXPECT_EQ(ListFolder(other.StoreFolder()), "mapping.xml") << "the temporary file is removed";
    EXPECT_EQ(ReadWholeFile(other.MappingPath() / "inside"), "kept");
}

// Two stores whose files differ a hundredfold in size, so that a partly
// written large file would be cut in its middle.
void Fill(APrefController& store, bool large)
{
    store.ClearDevices();
    for (EDeviceType type = 0; type < (large ? 3 : 1); ++type) {
        store.AddOrUpdateDevice(type, kVendorID, 1001 + type, 1);
        for (int32_t id = 0; id < (large ? 300 : 1); ++id)
            store.AddOrUpdateEvent(type, id, kLaunchExec, "/opt/application/number/" + std::to_string(id));
    }
}

TEST(AMappingFileChild, DISABLED_SaveLargeAndSmallInTurn)
{
    APrefController writer;
    for (int save = 0; save < 150; ++save)
        Fill(writer, save % 2 == 0), writer.FlushXml();
}

TEST_F(AMappingFileTest, AReaderNeverSeesAPartlyWrittenFile)
{
    APrefController reader;
    Fill(reader, true);
    const std::string large = DescribeStore(reader);
    Fill(reader, false);
    const std::string small = DescribeStore(reader);
    reader.FlushXml();

    AChildProgram saver(BuildBinaryPath("prefs_tests"), ChildTest("SaveLargeAndSmallInTurn"));
    int reads = 0;
    std::string problem;
    for (; saver.IsRunning() && problem.empty(); ++reads) {
        problem = FailureOf([&] { reader.Load(); });
        if (problem == "no failure")
            problem = DescribeStore(reader) == small || DescribeStore(reader) == large ? "" : "a partial store";
    }
    EXPECT_EQ(saver.Wait(10.0), 0) << saver.Stdout();
    EXPECT_EQ(problem, "") << "read " << reads;
    EXPECT_GT(reads, 0);
    reader.Load();
    EXPECT_EQ(DescribeStore(reader), small) << "the last save wrote the small store";
    EXPECT_EQ(ListFolder(fHome.StoreFolder()), "mapping.xml");
    RecordProperty("reads", reads);
}

} // namespace
