// Where the store finds "mapping.xml", and the folders it makes on the way.

#include "prefs/AException.h"
#include "prefs/APrefController.h"
#include "tests/prefs/APrefsTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

mode_t ModeOf(const std::filesystem::path& path)
{
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

void ExpectCouldNotLocate()
{
    try {
        APrefController store;
        ADD_FAILURE() << "construction succeeded";
    } catch (const AException& failure) {
        EXPECT_EQ(failure.GetName(), "PrefController");
        EXPECT_EQ(failure.GetReason(), "Could not locate config file");
    }
}

TEST(AMappingLocationTest, TheFileLivesInNuvexaInsideXdgConfigHomeWhoseMissingFoldersArePrivate)
{
    ATemporaryFolder folder;
    AScopedEnvironment configHome("XDG_CONFIG_HOME", (folder.Path() / "a" / "b").string());
    APrefController store;
    EXPECT_EQ(store.GetXmlPath(), (folder.Path() / "a" / "b" / "Nuvexa" / "mapping.xml").string());
    EXPECT_EQ(APrefController::GetDefaultXmlPath(), store.GetXmlPath());
    EXPECT_EQ(ModeOf(folder.Path() / "a"), 0700u);
    EXPECT_EQ(ModeOf(folder.Path() / "a" / "b"), 0700u);
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path() / "a" / "b" / "Nuvexa"));
    EXPECT_FALSE(std::filesystem::exists(store.GetXmlPath()));
}

TEST(AMappingLocationTest, WithoutAnAbsoluteXdgConfigHomeTheFileIsInDotConfigOfHome)
{
    for (const char* configHome : {"", "relative/config"}) {
        SCOPED_TRACE(configHome);
        ATemporaryFolder home;
        AScopedEnvironment homeVariable("HOME", home.Path().string());
        AScopedEnvironment configVariable("XDG_CONFIG_HOME", configHome);
        EXPECT_EQ(APrefController::GetDefaultXmlPath(), (home.Path() / ".config" / "Nuvexa" / "mapping.xml").string());
        EXPECT_EQ(ModeOf(home.Path() / ".config"), 0700u);
    }
}

TEST(AMappingLocationTest, AnExistingFolderIsUsedAsItIsAndALinkToAFolderCounts)
{
    AConfigHome home;
    std::filesystem::create_directories(home.ConfigFolder());
    std::filesystem::create_directory(home.Root() / "elsewhere");
    std::filesystem::create_directory_symlink(home.Root() / "elsewhere", home.StoreFolder());
    APrefController store;
    store.FlushXml();
    EXPECT_TRUE(std::filesystem::exists(home.Root() / "elsewhere" / "mapping.xml"));
}

TEST(AMappingLocationTest, AFolderThatCannotBeMadeFailsToLocateTheFile)
{
    {
        SCOPED_TRACE("a plain file named Nuvexa");
        AConfigHome home;
        std::filesystem::create_directories(home.ConfigFolder());
        WriteWholeFile(home.StoreFolder(), "not a folder");
        ExpectCouldNotLocate();
        EXPECT_EQ(ReadWholeFile(home.StoreFolder()), "not a folder");
    }
    {
        SCOPED_TRACE("a dangling link named Nuvexa");
        AConfigHome home;
        std::filesystem::create_directories(home.ConfigFolder());
        std::filesystem::create_symlink(home.Root() / "gone", home.StoreFolder());
        ExpectCouldNotLocate();
    }
    {
        SCOPED_TRACE("a configuration folder below a plain file");
        ATemporaryFolder folder;
        WriteWholeFile(folder.Path() / "file", "");
        AScopedEnvironment configHome("XDG_CONFIG_HOME", (folder.Path() / "file" / "config").string());
        ExpectCouldNotLocate();
    }
}

} // namespace
