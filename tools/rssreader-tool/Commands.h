#pragma once
// The commands of rssreader-tool. Each takes its arguments (after the
// command name) and returns the exit code: 0 done, 1 nothing to show
// ("null" printed), 2 wrong use.

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
int CommandAddFeed(const CArguments& args);
int CommandMerge(const CArguments& args);
int CommandFetch(const CArguments& args);
int CommandNotify(const CArguments& args);
int CommandUpdate(const CArguments& args);

inline constexpr int kExitDone = 0;
inline constexpr int kExitNothing = 1;
inline constexpr int kExitUsage = 2;

// Prints "null" and returns kExitNothing.
int PrintNothing();
// Prints the message on stderr and returns kExitUsage (also the exit code of
// an update that could not connect).
int UsageError(const std::string& message);
