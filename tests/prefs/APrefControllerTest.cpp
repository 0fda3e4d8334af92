// The preferences store: records in memory, where "mapping.xml" lives, reading
// it, saving it whole, and saves that fail or race a reader.

#include "prefs/AException.h"
#include "prefs/ALeadingInteger.h"
#include "tests/support/AConfigHome.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <atomic>
#include <functional>
#include <numeric>
#include <optional>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace {

using std::filesystem::path;

unsigned ModeOf(const path& file) { return static_cast<unsigned>(std::filesystem::status(file).permissions()); }

// "<name>: <reason>" of the AException the action raises, or "no failure".
std::string FailureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const AException& failure) {
        return failure.GetName() + ": " + failure.GetReason();
    }
    return "no failure";
}

std::string ListFolder(const path& folder)  // the names in it, sorted, joined by spaces
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename());
    return std::accumulate(names.begin(), names.end(), std::string(), [](auto a, auto& b) { return a.empty() ? b : a + " " + b; });
}

} // namespace

// The rows of prefs/records.txt, played in turn on one store.
TEST(ARecordsTest, EachChangeAffectsOnlyWhatItNames)
{
    APrefController store("/nonexistent/mapping.xml");  // never written here
    for (const auto& [rule, changes, records] : ReadFixtureRows("prefs/records.txt")) {
        std::istringstream words(changes);
        for (std::string change; words >> change;) {
            int64_t a = 0, b = 0, c = 0, d = 0;
            std::string argument;
            if (change == "device" && words >> a >> b >> c >> d)
                store.AddOrUpdateDevice(a, b, c, d);
            else if (change == "event" && words >> a >> b >> c >> argument)
                store.AddOrUpdateEvent(a, b, c, argument == "-" ? std::nullopt : std::optional(argument));
            else if (change == "remove-event" && words >> a >> b)
                store.RemoveEvent(a, b);
            else if (change == "remove-events" && words >> a)
                store.RemoveAllEvents(a);
            else if (change == "remove-device" && words >> a)
                store.RemoveDevice(a);
            else if (change == "clear")
                store.ClearDevices();
            else if (change == "remove-all")
                store.RemoveAllDevices();
            else
                ADD_FAILURE() << "no such change: " << change;
        }
        std::string described = DescribeRecords(store);
        std::replace(described.begin(), described.end(), '\n', '|');
        EXPECT_EQ(described, records.empty() ? records : records + "|") << rule;
    }
    store.AddOrUpdateDevice(1, 1, 2, 0);
    store.AddOrUpdateEvent(1, 4, kLaunchExec, "/a");
    const ADevice* device = store.GetDevice(1);
    const AEvent* event = store.GetEvent(1, 4);
    store.AddOrUpdateDevice(1, 3, 4, 1);
    store.AddOrUpdateEvent(1, 4, kLaunchDefault, "");
    EXPECT_TRUE(store.GetDevice(1) == device && store.GetEvent(1, 4) == event) << "an update keeps the records";
    EXPECT_EQ(event->GetButtonId(), 4);
    EXPECT_EQ(store.GetEvent(2, 4), nullptr);
    // Absent names read as zero; types outside the tables write as the name of zero.
    EXPECT_EQ(APrefController::FromDeviceType(7), "rfmouse");
    EXPECT_EQ(APrefController::FromLaunchType(-1), "default");
    EXPECT_EQ(APrefController::ToDeviceType(std::nullopt), kDeviceRFMouse);
    EXPECT_EQ(APrefController::ToLaunchType(std::nullopt), kLaunchDefault);
}

TEST(ARecordsTest, NumbersReadAsTheirLeadingDecimalDigitsClampedTo32Bits)
{
    pugi::xml_document rows;
    ASSERT_TRUE(rows.load_file(FixturePath("prefs/leading-integers.xml").c_str()));
    const auto numbers = rows.child("numbers").children("number");
    for (pugi::xml_node row : numbers)
        EXPECT_EQ(ReadLeadingInteger(row.text().get()), row.attribute("value").as_int()) << row.attribute("rule").value();
    EXPECT_EQ(std::distance(numbers.begin(), numbers.end()), 21);
    EXPECT_EQ(ReadLeadingInteger(std::string_view("123456", 3)), 123) << "the view ends the number";
}

// The rows of prefs/locations.txt; the file itself is made only by a save.
TEST(AMappingLocationTest, TheFileIsNuvexaMappingXmlInTheConfigFolder)
{
    namespace fs = std::filesystem;
    for (const auto& [rule, given, file] : ReadFixtureRows("prefs/locations.txt")) {
        SCOPED_TRACE(rule);
        ATemporaryFolder root;
        const path& r = root.Path();
        fs::create_directories(r / "home");
        fs::create_directories(r / "c");
        std::istringstream words(given);
        std::string configHome;
        words >> configHome;
        AScopedEnvironment home("HOME", (r / "home").string());
        AScopedEnvironment config("XDG_CONFIG_HOME", (configHome.starts_with('/') ? r.string() : "") + configHome);
        bool prepared = false;
        for (std::string step; words >> step; prepared = true) {
            const size_t colon = step.find(':'), equals = step.find('=');
            const path at = r / step.substr(colon + 1, equals - colon - 1);
            if (step.starts_with("folder:"))
                fs::create_directories(at);
            else if (step.starts_with("file:"))
                WriteWholeFile(at, "");
            else if (step.starts_with("fifo:"))
                mkfifo(at.c_str(), 0600);
            else
                fs::create_symlink(r / step.substr(equals + 1), at);
        }
        std::optional<APrefController> store;
        const std::string failure = FailureOf([&] { store.emplace(); });
        EXPECT_EQ(store ? store->GetXmlPath().substr(r.string().size()) : failure, file);
        if (!store)
            continue;
        EXPECT_FALSE(fs::exists(store->GetXmlPath()));
        store->FlushXml();
        EXPECT_TRUE(fs::exists(store->GetXmlPath()));
        for (path made = path(store->GetXmlPath()).parent_path().parent_path();
             !prepared && made != r / "home" && made != r; made = made.parent_path())
            EXPECT_EQ(ModeOf(made), 0700u) << made;
    }
}

// Each prefs/read/<rule>.xml is loaded into a store holding other records;
// <rule>.expected holds the records it gives, or its failure and the empty
// store a failure leaves. When <rule>.written exists, the store writes it.
TEST(AMappingFileTest, EachFileReadsAsItsRecordsOrItsFailure)
{
    AConfigHome home;
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(FixturePath("prefs/read"))) {
        path fixture = entry.path();
        if (fixture.extension() != ".xml")
            continue;
        SCOPED_TRACE(fixture.stem().string());
        ++count;
        std::filesystem::remove(home.MappingPath());
        APrefController store;
        store.AddOrUpdateDevice(kDeviceRFMouse, 1, 1001, 0);
        store.AddOrUpdateEvent(kDeviceRFMouse, 4, kLaunchExec, "/in-memory-only");
        std::filesystem::copy_file(fixture, home.MappingPath());
        const std::string expected = ReadWholeFile(path(fixture).replace_extension(".expected"));
        const std::string loaded = FailureOf([&] { store.Load(); });
        EXPECT_EQ((loaded == "no failure" ? "" : loaded + "\n") + DescribeRecords(store), expected);
        if (const path written = path(fixture).replace_extension(".written"); std::filesystem::exists(written)) {
            store.FlushXml();
            EXPECT_EQ(ReadWholeFile(home.MappingPath()), ReadWholeFile(written));
        }
    }
    EXPECT_EQ(count, 12);
}

TEST(AMappingFileTest, ASaveReplacesTheFileWholeFromTheRecordsKeepingItsModeAndItsLink)
{
    AConfigHome home;
    APrefController store;
    store.AddOrUpdateDevice(kDeviceBTMouse, kVendorID, 1002, 0);
    store.FlushXml();
    EXPECT_EQ(ModeOf(home.MappingPath()), 0600u) << "a first file is private";
    WriteWholeFile(home.MappingPath(), "<devices><device device_type=\"rfmouse\"/></devices>");
    ASSERT_EQ(chmod(home.MappingPath().c_str(), 0644), 0);
    store.FlushXml();
    EXPECT_EQ(DescribeRecords(APrefController()), "1 65261 1002 0:\n") << "the records alone are written, never merged";
    EXPECT_EQ(ModeOf(home.MappingPath()), 0644u) << "a replacement keeps the mode";
    EXPECT_EQ(ListFolder(home.StoreFolder()), "mapping.xml") << "no temporary file is left";

    const path target = home.Root() / "mapping.xml";
    std::filesystem::rename(home.MappingPath(), target);
    std::filesystem::create_symlink(target, home.MappingPath());
    store.RemoveDevice(kDeviceBTMouse);
    store.FlushXml();
    EXPECT_TRUE(std::filesystem::is_symlink(home.MappingPath())) << "a linked file is replaced behind its link";
    EXPECT_EQ(DescribeRecords(APrefController(target.string())), "");
    EXPECT_EQ(ListFolder(home.Root()), "config mapping.xml");

    std::filesystem::remove(home.MappingPath());
    std::filesystem::create_directories(home.MappingPath() / "inside");
    store.AddOrUpdateDevice(kDeviceBTMouse, kVendorID, 1002, 0);
    EXPECT_EQ(FailureOf([&] { store.FlushXml(); }), "PrefController: Error saving preferences") << "a folder at the path";
    EXPECT_EQ(DescribeRecords(store), "1 65261 1002 0:\n") << "a failed save keeps the records";
    EXPECT_EQ(ListFolder(home.StoreFolder()), "mapping.xml") << "the temporary file is removed";
    EXPECT_EQ(ListFolder(home.MappingPath()), "inside");
}

// A large and a small store saved in turn by other stores while this one
// reads: a partly written large file would be cut midway.
TEST(AMappingFileTest, AReaderNeverSeesAPartlyWrittenFile)
{
    AConfigHome home;
    APrefController reader, large, small;
    for (EDeviceType type = 0; type < 3; ++type) {
        large.AddOrUpdateDevice(type, kVendorID, 1001 + type, 1);
        for (int32_t id = 0; id < 300; ++id)
            large.AddOrUpdateEvent(type, id, kLaunchExec, "/opt/application/number/" + std::to_string(id));
    }
    small.AddOrUpdateDevice(0, kVendorID, 1001, 1);
    small.FlushXml();
    const std::string largeRecords = DescribeRecords(large), smallRecords = DescribeRecords(small);
    std::atomic<bool> saving = true;
    std::thread saver([&] {
        for (int save = 0; save < 150; ++save)
            (save % 2 == 0 ? large : small).FlushXml();
        saving = false;
    });
    int reads = 0;
    std::string problem;
    for (; saving && problem.empty(); ++reads) {
        problem = FailureOf([&] { reader.Load(); });
        if (problem == "no failure")
            problem = DescribeRecords(reader) == smallRecords || DescribeRecords(reader) == largeRecords ? "" : "a partial store";
    }
    saver.join();
    EXPECT_EQ(problem, "") << "read " << reads;
    EXPECT_GT(reads, 0);
    reader.Load();
    EXPECT_EQ(DescribeRecords(reader), smallRecords) << "the last save wrote the small store";
    EXPECT_EQ(ListFolder(home.StoreFolder()), "mapping.xml");
}
