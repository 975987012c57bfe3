// The registry stand-in: typed values in a file, written atomically and
// safely from several threads and processes.

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "TestSupport.h"
#include "platform/Registry.h"
#include "platform/Unicode.h"

namespace fs = std::filesystem;

namespace {

class RegistryTest : public CTempHomeTest {
protected:
    std::string StoreFile() const { return HomePath("config/RSSReader/registry.reg"); }

    CRegKey OpenKey(const std::wstring& path = L"Software\\Test")
    {
        CRegKey key;
        EXPECT_EQ(key.Create(HKEY_CURRENT_USER, path), ERROR_SUCCESS);
        return key;
    }
};

} // namespace

TEST_F(RegistryTest, StoresTypedValuesUnderTheConfigFolder)
{
    CRegKey key = OpenKey();
    DWORD number = 0;
    std::wstring text;
    EXPECT_EQ(key.QueryDWORDValue(L"Missing", number), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(StoreFile())); // opening a key writes nothing

    ASSERT_EQ(key.SetDWORDValue(L"Count", 0xFFFFFFFFu), ERROR_SUCCESS);
    ASSERT_EQ(key.SetStringValue(L"Name", L"tab\there \"quoted\" back\\slash\nnew line ✓"), ERROR_SUCCESS);
    ASSERT_TRUE(fs::exists(StoreFile()));

    CRegKey again = OpenKey(L"software/TEST"); // either separator, any case
    ASSERT_EQ(again.QueryDWORDValue(L"count", number), ERROR_SUCCESS);
    EXPECT_EQ(number, 0xFFFFFFFFu);
    ASSERT_EQ(again.QueryStringValue(L"NAME", text), ERROR_SUCCESS);
    EXPECT_EQ(text, L"tab\there \"quoted\" back\\slash\nnew line ✓");

    // A value of the other type is not converted.
    EXPECT_EQ(again.QueryStringValue(L"Count", text), ERROR_INVALID_DATA);
    EXPECT_EQ(again.QueryDWORDValue(L"Name", number), ERROR_INVALID_DATA);

    // The roots are separate.
    CRegKey machine;
    ASSERT_EQ(machine.Create(HKEY_LOCAL_MACHINE, L"Software\\Test"), ERROR_SUCCESS);
    EXPECT_EQ(machine.QueryDWORDValue(L"Count", number), ERROR_FILE_NOT_FOUND);

    EXPECT_EQ(again.DeleteValue(L"Count"), ERROR_SUCCESS);
    EXPECT_EQ(again.QueryDWORDValue(L"Count", number), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(again.DeleteValue(L"Count"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, OpenFailsForKeysWithoutValuesAndSubKeysNest)
{
    CRegKey missing;
    EXPECT_EQ(missing.Open(HKEY_CURRENT_USER, L"Software\\Nothing"), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(missing.IsOpen());

    CRegKey base = OpenKey(L"Software\\Vendor");
    CRegKey sub;
    ASSERT_EQ(sub.Create(base, L"Settings"), ERROR_SUCCESS);
    ASSERT_EQ(sub.SetDWORDValue(L"X", 1), ERROR_SUCCESS);
    CRegKey opened;
    EXPECT_EQ(opened.Open(HKEY_CURRENT_USER, L"Software\\Vendor"), ERROR_SUCCESS);
    DWORD value = 0;
    CRegKey direct;
    ASSERT_EQ(direct.Open(HKEY_CURRENT_USER, L"Software\\Vendor\\Settings"), ERROR_SUCCESS);
    EXPECT_EQ(direct.QueryDWORDValue(L"X", value), ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
}

TEST_F(RegistryTest, ABatchWritesNothingUntilCommitThenEverything)
{
    CRegKey key = OpenKey();
    CRegWriteBatch batch(key);
    batch.SetDWORDValue(L"One", 1);
    batch.SetStringValue(L"Two", L"two");
    DWORD number = 0;
    EXPECT_EQ(key.QueryDWORDValue(L"One", number), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(batch.Commit(), ERROR_SUCCESS);
    std::wstring text;
    EXPECT_EQ(key.QueryDWORDValue(L"One", number), ERROR_SUCCESS);
    EXPECT_EQ(number, 1u);
    EXPECT_EQ(key.QueryStringValue(L"Two", text), ERROR_SUCCESS);
    EXPECT_EQ(text, L"two");
}

TEST_F(RegistryTest, SeesChangesMadeToTheFileByHand)
{
    CRegKey key = OpenKey();
    ASSERT_EQ(key.SetDWORDValue(L"Count", 1), ERROR_SUCCESS);
    DWORD number = 0;
    ASSERT_EQ(key.QueryDWORDValue(L"Count", number), ERROR_SUCCESS);
    std::string edited = ReadWholeFile(StoreFile());
    edited.replace(edited.find("dword:00000001"), 14, "dword:0000002a");
    WriteWholeFile(StoreFile(), edited); // same size, same inode
    const auto later = fs::last_write_time(StoreFile()) + std::chrono::seconds(1);
    fs::last_write_time(StoreFile(), later);
    ASSERT_EQ(key.QueryDWORDValue(L"Count", number), ERROR_SUCCESS);
    EXPECT_EQ(number, 42u);
}

TEST_F(RegistryTest, AnUnreadableFileReadsAsEmptyAndIsKeptAsideOnTheNextWrite)
{
    fs::create_directories(fs::path(StoreFile()).parent_path());
    const std::string damaged = "[HKEY_CURRENT_USER\\Software\\Test]\n\"Count\"=dword:zz\n";
    WriteWholeFile(StoreFile(), damaged);

    CRegKey key = OpenKey();
    DWORD number = 7;
    EXPECT_EQ(key.QueryDWORDValue(L"Count", number), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(ReadWholeFile(StoreFile()), damaged); // reading leaves it alone

    ASSERT_EQ(key.SetDWORDValue(L"Other", 5), ERROR_SUCCESS);
    EXPECT_EQ(ReadWholeFile(StoreFile() + ".damaged"), damaged);
    EXPECT_EQ(key.QueryDWORDValue(L"Other", number), ERROR_SUCCESS);
    EXPECT_EQ(number, 5u);
}

TEST_F(RegistryTest, ConcurrentWritersLoseNothingAndLeaveNoTemporaryFiles)
{
    constexpr int kThreads = 4;
    constexpr int kProcesses = 3;
    constexpr int kValuesEach = 15;
    const auto writeValues = [](const std::wstring& prefix) {
        CRegKey key;
        key.Create(HKEY_CURRENT_USER, L"Software\\Test");
        for (int i = 0; i < kValuesEach; ++i)
            key.SetDWORDValue(prefix + std::to_wstring(i), static_cast<DWORD>(i));
    };
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            writeValues(L"process" + std::to_wstring(p) + L"-");
            _exit(0);
        }
        children.push_back(child);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(writeValues, L"thread" + std::to_wstring(t) + L"-");
    for (auto& thread : threads)
        thread.join();
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    CRegKey key = OpenKey();
    int found = 0;
    for (const std::wstring prefix : {L"thread", L"process"}) {
        for (int owner = 0; owner < (prefix == L"thread" ? kThreads : kProcesses); ++owner) {
            for (int i = 0; i < kValuesEach; ++i) {
                DWORD value = 99;
                if (key.QueryDWORDValue(prefix + std::to_wstring(owner) + L"-" + std::to_wstring(i), value)
                        == ERROR_SUCCESS
                    && value == static_cast<DWORD>(i))
                    ++found;
            }
        }
    }
    EXPECT_EQ(found, (kThreads + kProcesses) * kValuesEach);
    ExpectNoTemporaryFiles(fs::path(StoreFile()).parent_path().string());
}
