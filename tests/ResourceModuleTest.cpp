// The string table's text form, the choice of the language file and what a
// language file must hold before it replaces the built-in texts.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "TestSupport.h"
#include "platform/Unicode.h"
#include "resources/ResourceModule.h"
#include "resources/StringTable.h"

namespace {

// Sets the locale variables for one test and puts them back afterwards.
class CLocaleEnvironment {
public:
    CLocaleEnvironment()
    {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            m_saved[name] = value != nullptr ? std::optional<std::string>(value) : std::nullopt;
            unsetenv(name);
        }
    }
    ~CLocaleEnvironment()
    {
        for (const auto& [name, value] : m_saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    void Set(const char* name, const char* value) { setenv(name, value, 1); }

private:
    static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::map<std::string, std::optional<std::string>> m_saved;
};

class ResourceModuleTest : public CTempHomeTest {
protected:
    void TearDown() override
    {
        UseBuiltInResources();
        CTempHomeTest::TearDown();
    }

    // A language file holding every text of the built-in table as "T<id> "
    // plus the text (so its conversions stay), but for the changes given
    // and without the id dropped.
    std::string WriteLanguageFile(const std::string& name, const std::map<UINT, std::string>& changes = {},
                                  UINT drop = 0) const
    {
        std::string content = "# test language\n";
        const auto table = CStringTable::Parse(BuiltInStringTableText());
        table->ForEach([&](UINT id, const std::wstring& text) {
            if (id == drop)
                return;
            const auto changed = changes.find(id);
            // Appended piece by piece: "literal" + temporary makes g++ 12
            // warn, wrongly, of overlapping copies.
            content.append(std::to_string(id)).append("\t");
            if (changed != changes.end())
                content.append(changed->second);
            else
                content.append("T").append(std::to_string(id)).append(" ").append(Escape(text));
            content.append("\n");
        });
        const std::string path = HomePath(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteWholeFile(path, content);
        return path;
    }

    static std::string Escape(const std::wstring& text)
    {
        std::string out;
        for (const char c : WideToUtf8(text)) {
            switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default: out += c;
            }
        }
        return out;
    }
};

} // namespace

TEST(StringTableTest, TextsKeepTheirEscapesAsCharacters)
{
    std::string error;
    const auto table = CStringTable::Parse("\xEF\xBB\xBF# comment\r\n"
                                           "\n"
                                           "204\tClick \\\"New Subscription\\\" \\r\\nto create new feed.\r\n"
                                           "7\tback\\\\slash\\ttab\n"
                                           "8\t\n"
                                           "9\tGr\xC3\xBC\xC3\x9F" "e",
                                           &error);
    ASSERT_TRUE(table) << error;
    EXPECT_EQ(table->Size(), 4u);
    EXPECT_EQ(*table->Find(204), L"Click \"New Subscription\" \r\nto create new feed.");
    EXPECT_EQ(*table->Find(7), L"back\\slash\ttab");
    EXPECT_EQ(*table->Find(8), L"");
    EXPECT_EQ(*table->Find(9), L"Gr\u00FC\u00DFe");
    EXPECT_EQ(table->Find(10), nullptr);
}

TEST(StringTableTest, AMalformedLineRefusesTheWholeTable)
{
    const std::pair<const char*, const char*> broken[] = {
        {"1\tok\n2 no tab\n", "line 2"},
        {"1\tok\nx1\ttext\n", "line 2"},
        {"1\tunknown \\q escape\n", "line 1"},
        {"1\ttrailing backslash \\\n", "line 1"},
        {"1\tone\n1\ttwo\n", "line 2"},
        {"\ttext without id\n", "line 1"},
    };
    for (const auto& [text, where] : broken) {
        std::string error;
        EXPECT_FALSE(CStringTable::Parse(text, &error)) << text;
        EXPECT_NE(error.find(where), std::string::npos) << text << " -> " << error;
    }
}

TEST(ResourceModuleTest_, LanguageIdsComeFromTheLocaleName)
{
    EXPECT_EQ(LanguageIdForLocale("de_DE.UTF-8"), "0407");
    EXPECT_EQ(LanguageIdForLocale("de_AT.UTF-8"), "0c07");
    EXPECT_EQ(LanguageIdForLocale("de_BE"), "0407"); // a country not listed: the language's own
    EXPECT_EQ(LanguageIdForLocale("de"), "0407");
    EXPECT_EQ(LanguageIdForLocale("pt_BR"), "0416");
    EXPECT_EQ(LanguageIdForLocale("pt_PT.ISO-8859-1"), "0816");
    EXPECT_EQ(LanguageIdForLocale("zh_TW.UTF-8"), "0404");
    EXPECT_EQ(LanguageIdForLocale("EN_gb"), "0809");
    EXPECT_EQ(LanguageIdForLocale("sr_RS@latin"), "241a");
    EXPECT_EQ(LanguageIdForLocale("C"), "0409");
    EXPECT_EQ(LanguageIdForLocale("POSIX"), "0409");
    EXPECT_EQ(LanguageIdForLocale("C.UTF-8"), "0409");
    EXPECT_EQ(LanguageIdForLocale("xx_YY"), "");
}

TEST(ResourceModuleTest_, TheFirstLocaleVariableSetDecides)
{
    CLocaleEnvironment environment;
    EXPECT_EQ(UserLanguageId(), "0409");
    environment.Set("LANG", "fr_FR.UTF-8");
    EXPECT_EQ(UserLanguageId(), "040c");
    environment.Set("LC_MESSAGES", "it_IT.UTF-8");
    EXPECT_EQ(UserLanguageId(), "0410");
    environment.Set("LC_ALL", "es_ES.UTF-8");
    EXPECT_EQ(UserLanguageId(), "0c0a");
    environment.Set("LANGUAGE", "");
    EXPECT_EQ(UserLanguageId(), "0c0a"); // empty is unset
    environment.Set("LANGUAGE", "de_CH:fr");
    EXPECT_EQ(UserLanguageId(), "0807");
    EXPECT_EQ(ResourceModulePath("/opt/zelvia/bin/rssreader", UserLanguageId()),
              "/opt/zelvia/bin/rssreader.0807.mui");
}

TEST_F(ResourceModuleTest, TheLanguageFileBesideTheProgramReplacesTheTexts)
{
    CLocaleEnvironment environment;
    const std::string program = HomePath("bin/rssreader");
    WriteLanguageFile("bin/rssreader.0407.mui", {{128, "Feedleser"}});

    environment.Set("LANG", "de_DE.UTF-8");
    ASSERT_TRUE(SelectResourceModule(program));
    EXPECT_EQ(ResourceModuleFile(), program + ".0407.mui");
    EXPECT_EQ(LoadResString(128), L"Feedleser");
    EXPECT_EQ(LoadResString(171), L"T171 Update Feeds");
    EXPECT_EQ(LoadResString(204), L"T204 Click \"New Subscription\" \r\nto create new feed.");

    // No file for French: the built-in texts, and nothing reported.
    environment.Set("LANG", "fr_FR.UTF-8");
    EXPECT_FALSE(SelectResourceModule(program));
    EXPECT_EQ(ResourceModuleFile(), "");
    EXPECT_EQ(LoadResString(128), L"RSS Reader");
    EXPECT_EQ(LoadResString(204), L"Click \"New Subscription\" \r\nto create new feed.");
    EXPECT_EQ(LoadResString(175), L"%d/%d feed(s) updating...\r\nUpdating feed name:\r\n%s");
    EXPECT_EQ(LoadResString(99999), L"");
}

TEST_F(ResourceModuleTest, ALanguageFileThatCouldMisleadTheCallersIsRefused)
{
    // A missing text, or conversions the callers do not pass, would show
    // empty texts or format an int as a string.
    const std::string incomplete = WriteLanguageFile("incomplete.mui", {}, 232);
    const std::string swapped = WriteLanguageFile("swapped.mui", {{175, "%s: %d/%d"}});
    const std::string extra = WriteLanguageFile("extra.mui", {{232, "[%s] %s"}});
    const std::string good = WriteLanguageFile("good.mui", {{128, "Gut"}, {175, "%d/%d %%: %s"}});
    WriteWholeFile(HomePath("broken.mui"), "128\tno end \\");

    ASSERT_TRUE(LoadResourceModule(good));
    EXPECT_EQ(LoadResString(128), L"Gut");
    for (const std::string& path : {incomplete, swapped, extra, HomePath("broken.mui"), HomePath("missing.mui")}) {
        EXPECT_FALSE(LoadResourceModule(path)) << path;
        EXPECT_EQ(ResourceModuleFile(), good) << "the module in use stays";
        EXPECT_EQ(LoadResString(128), L"Gut");
    }
}

TEST_F(ResourceModuleTest, TheShippedGermanFileIsAcceptedAndTranslates)
{
    ASSERT_TRUE(LoadResourceModule(GERMAN_LANGUAGE_FILE));
    EXPECT_EQ(LoadResString(40027), L"Abbrechen");
    EXPECT_EQ(LoadResString(172), L"Verbindung wird hergestellt...");
    // Built-in again once asked.
    UseBuiltInResources();
    EXPECT_EQ(LoadResString(40027), L"Cancel");
}
