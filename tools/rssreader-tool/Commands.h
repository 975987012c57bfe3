#pragma once
// The commands of rssreader-tool. Each takes its arguments (after the
// command name) and returns the exit code: 0 done, 1 nothing to show
// ("null" printed), 2 wrong use.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

using CArguments = std::vector<std::string>;

int CommandFeed(const CArguments& args);
int CommandOpml(const CArguments& args);
int CommandOpmlSave(const CArguments& args);
int CommandDate(const CArguments& args);
int CommandW3cDate(const CArguments& args);
int CommandStrip(const CArguments& args);
int CommandDecode(const CArguments& args);
int CommandStart(const CArguments& args);
int CommandSettings(const CArguments& args);
int CommandSet(const CArguments& args);
int CommandFeeds(const CArguments& args);
int CommandPages(const CArguments& args);
int CommandCleanup(const CArguments& args);
int CommandMark(const CArguments& args);
int CommandStoreFeed(const CArguments& args);
int CommandMerge(const CArguments& args);
int CommandFetch(const CArguments& args);
int CommandNotify(const CArguments& args);
int CommandUpdate(const CArguments& args);
int CommandTree(const CArguments& args);
int CommandSubscribe(const CArguments& args);
int CommandMkdir(const CArguments& args);
int CommandRename(const CArguments& args);
int CommandDelete(const CArguments& args);
int CommandMarkRead(const CArguments& args);
int CommandMarkUnread(const CArguments& args);
int CommandMove(const CArguments& args);
int CommandProperties(const CArguments& args);
int CommandImport(const CArguments& args);
int CommandExport(const CArguments& args);
int CommandSearch(const CArguments& args);
int CommandDiscover(const CArguments& args);
int CommandFind(const CArguments& args);
int CommandAccount(const CArguments& args);

// Sends the marks queued for the sync account's server, as the window does
// after a mark: {"sent", "overruled", "pending"} and the reason when the
// server could not take them; null without an account or queued marks.
nlohmann::ordered_json SendQueuedMarks();

// The setting names and their values, for --help.
void PrintSettingsHelp();

inline constexpr int kExitDone = 0;
inline constexpr int kExitNothing = 1;
inline constexpr int kExitUsage = 2;        // also: an update that could not connect
inline constexpr int kExitSomeFailed = 3;   // an update finished, but some feed failed
inline constexpr int kExitStore = 4;        // the store or the options could not be opened or written
inline constexpr int kExitBusy = 5;         // another update of the same data folder is running
inline constexpr int kExitInterrupted = 130; // cancelled with Ctrl-C

// Prints "null" and returns kExitNothing.
int PrintNothing();
// Prints the message on stderr and returns kExitUsage.
int UsageError(const std::string& message);
// Prints the message on stderr and returns kExitStore.
int StoreError(const std::string& message);
// True when the input file can be read; otherwise says on stderr why not.
bool CheckInputFile(const std::string& path);
struct CViewMessage;
// The texts of messages the GUI would show, one a line on stderr.
void PrintMessages(const std::vector<CViewMessage>& messages);
// True when both databases are open; otherwise says on stderr which one
// could not be opened and why.
bool StoreIsOpen();
