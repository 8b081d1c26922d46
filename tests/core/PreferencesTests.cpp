#include "ChildProcess.h"
#include "Preferences.h"
#include "TestRegistry.h"

#include <gtest/gtest.h>

#include <string>

using namespace kelvora_core;
using test_support::readRegistryValue;
using test_support::writeRegistryValue;

namespace {

const char* const kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// Every case works under its own company and application words and removes
// what it wrote.
class PreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_app = "App" + std::to_string(GetCurrentProcessId()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        Preferences::setCompanyAndApp(kCompany, m_app);
    }
    void TearDown() override {
        test_support::deleteRegistryTree(std::string("Software\\") + kCompany);
        Preferences::setCompanyAndApp("Kelvora", "Vexa");
    }
    std::string keyOf(const std::string& section) const {
        return std::string("Software\\") + kCompany + "\\" + m_app + "\\" + section;
    }

    static constexpr const char* kCompany = "KelvoraTestCo";
    std::string m_app;
};

std::string dword(uint32_t value) {
    return std::string(reinterpret_cast<char*>(&value), 4);
}

} // namespace

TEST_F(PreferencesTest, MissingValuesGiveTheDefaults) {
    EXPECT_EQ(42, Preferences::getInt("Nowhere", "x", 42));
    EXPECT_TRUE(Preferences::getBool("Nowhere", "x", true));
    EXPECT_FALSE(Preferences::getBool("Nowhere", "x", false));
    EXPECT_STREQ("fallback", Preferences::getString("Nowhere", "x", "fallback"));
    Preferences::setInt(kAdapters, "other", 1);
    EXPECT_STREQ("", Preferences::getString(kAdapters, kProgramsToHook, ""));
}

TEST_F(PreferencesTest, StringIsStoredAsRegSzWithItsNul) {
    Preferences::setString(kAdapters, kProgramsToHook, "a.exe;b.exe");
    const auto value = readRegistryValue(keyOf(kAdapters), kProgramsToHook);
    ASSERT_TRUE(value.exists);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
    EXPECT_EQ(std::string("a.exe;b.exe\0", 12), value.data);
    EXPECT_STREQ("a.exe;b.exe", Preferences::getString(kAdapters, kProgramsToHook, "x"));
}

TEST_F(PreferencesTest, EmptyStringIsStoredAsOneNulByte) {
    Preferences::setString(kFlashAdapter, kModulesToIntercept, "");
    const auto value = readRegistryValue(keyOf(kFlashAdapter), kModulesToIntercept);
    EXPECT_EQ(std::string(1, '\0'), value.data);
    EXPECT_STREQ("", Preferences::getString(kFlashAdapter, kModulesToIntercept, "x"));
}

TEST_F(PreferencesTest, IntegersAndBooleansAreRegDword) {
    Preferences::setInt("UI", "minRate", -7);
    Preferences::setBool("UI", "on", true);
    Preferences::setBool("UI", "off", false);
    const auto minRate = readRegistryValue(keyOf("UI"), "minRate");
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), minRate.type);
    EXPECT_EQ(dword(static_cast<uint32_t>(-7)), minRate.data);
    EXPECT_EQ(dword(1), readRegistryValue(keyOf("UI"), "on").data);
    EXPECT_EQ(dword(0), readRegistryValue(keyOf("UI"), "off").data);
    EXPECT_EQ(-7, Preferences::getInt("UI", "minRate", 0));
    EXPECT_TRUE(Preferences::getBool("UI", "on", false));
    EXPECT_FALSE(Preferences::getBool("UI", "off", true));
}

TEST_F(PreferencesTest, AnyNonZeroIntegerReadsAsTrue) {
    Preferences::setInt("UI", "flag", 17);
    EXPECT_TRUE(Preferences::getBool("UI", "flag", false));
}

TEST_F(PreferencesTest, IntegerOfMoreThanFourBytesGivesTheDefault) {
    writeRegistryValue(keyOf("UI"), "wide", REG_BINARY, std::string(8, '\1'));
    EXPECT_EQ(5, Preferences::getInt("UI", "wide", 5));
}

TEST_F(PreferencesTest, ShortIntegerDataReadsAsTheNumberItHolds) {
    writeRegistryValue(keyOf("UI"), "short", REG_BINARY, std::string("\x02\x01", 2));
    EXPECT_EQ(0x0102, Preferences::getInt("UI", "short", 5));
}

TEST_F(PreferencesTest, StringTypeIsIgnoredOnRead) {
    writeRegistryValue(keyOf("UI"), "bin", REG_BINARY, std::string("ab\0cd", 5));
    EXPECT_STREQ("ab", Preferences::getString("UI", "bin", "x"));
    writeRegistryValue(keyOf("UI"), "unterminated", REG_BINARY, "xyz");
    EXPECT_STREQ("xyz", Preferences::getString("UI", "unterminated", "d"));
}

TEST_F(PreferencesTest, StringsUpTo65536BytesAreRead) {
    const std::string longest(65535, 'q');
    Preferences::setString(kAdapters, "long", longest);
    EXPECT_EQ(longest, std::string(Preferences::getString(kAdapters, "long", "d")));
    writeRegistryValue(keyOf(kAdapters), "tooLong", REG_SZ, std::string(65536, 'q') + '\0');
    EXPECT_STREQ("d", Preferences::getString(kAdapters, "tooLong", "d"));
}

TEST_F(PreferencesTest, ResultTextLivesUntilTheNextGetString) {
    Preferences::setString(kAdapters, "one", "first");
    Preferences::setString(kAdapters, "two", "second");
    const char* earlier = Preferences::getString(kAdapters, "one", "");
    EXPECT_STREQ("first", earlier);
    const char* later = Preferences::getString(kAdapters, "two", "");
    EXPECT_STREQ("second", later);
    EXPECT_EQ(earlier, later); // one result string for the whole process
}

TEST_F(PreferencesTest, WritingCreatesEveryKeyAlongThePath) {
    EXPECT_FALSE(test_support::registryKeyExists(std::string("Software\\") + kCompany));
    Preferences::setString("Deep\\Er", "v", "x");
    EXPECT_TRUE(test_support::registryKeyExists(keyOf("Deep")));
    EXPECT_TRUE(readRegistryValue(keyOf("Deep\\Er"), "v").exists);
}

TEST_F(PreferencesTest, CompanyAndAppChooseTheKey) {
    Preferences::setCompanyAndApp(kCompany, "Other");
    Preferences::setInt("S", "n", 3);
    EXPECT_TRUE(readRegistryValue(std::string("Software\\") + kCompany + "\\Other\\S", "n").exists);
    EXPECT_FALSE(readRegistryValue(keyOf("S"), "n").exists);
}

TEST_F(PreferencesTest, StartupEntryIsNamedAfterTheAppAndHoldsTheExecutablePath) {
    test_support::createRegistryKey(kRunKey); // opened, never created
    EXPECT_FALSE(Preferences::checkStartup());
    Preferences::addToStartup();
    EXPECT_TRUE(Preferences::checkStartup());
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const auto entry = readRegistryValue(kRunKey, m_app);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), entry.type);
    EXPECT_EQ(std::string(path, length) + '\0', entry.data);
    Preferences::removeFromStartup();
    EXPECT_FALSE(Preferences::checkStartup());
    Preferences::removeFromStartup();
}

TEST_F(PreferencesTest, AnyStartupEntryOfTheNameCounts) {
    writeRegistryValue(kRunKey, m_app, REG_SZ, std::string("c:\\elsewhere\\other.exe") + '\0');
    EXPECT_TRUE(Preferences::checkStartup());
    Preferences::removeFromStartup();
    EXPECT_FALSE(readRegistryValue(kRunKey, m_app).exists);
}

TEST(PreferencesDefaults, FreshProcessWritesUnderKelvoraVexa) {
    const auto peer = test_support::runProcess(test_support::besideThisProgram("core_peer.exe") +
                                               " default-prefs");
    ASSERT_TRUE(peer.finished);
    const auto value = readRegistryValue("Software\\Kelvora\\Vexa\\Adapters", "ProgramsToHook");
    EXPECT_EQ(std::string("peer.exe") + '\0', value.data);
    EXPECT_TRUE(readRegistryValue(kRunKey, "Vexa").exists);
    test_support::deleteRegistryTree("Software\\Kelvora\\Vexa");
}

TEST(PreferencesDefaults, RegistryToolShowsWhatWasWritten) {
    Preferences::setCompanyAndApp("KelvoraRegCheck", "Vexa");
    Preferences::setString(kAdapters, kProgramsToHook, "alpha.exe;beta.exe");
    Preferences::setInt(kAdapters, "count", 26);
    const auto shown = test_support::runProcess(
        "reg.exe query \"HKCU\\Software\\KelvoraRegCheck\\Vexa\\Adapters\"");
    Preferences::setCompanyAndApp("Kelvora", "Vexa");
    test_support::deleteRegistryTree("Software\\KelvoraRegCheck");
    ASSERT_TRUE(shown.finished);
    EXPECT_NE(std::string::npos,
              shown.output.find("ProgramsToHook    REG_SZ    alpha.exe;beta.exe"))
        << shown.output;
    EXPECT_NE(std::string::npos, shown.output.find("count    REG_DWORD    0x1a")) << shown.output;
}
