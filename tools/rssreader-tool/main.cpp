// rssreader-tool: the reader's scriptable companion. Every capability of the
// core has a command here that prints its result as one JSON value.

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "Commands.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"

namespace {

struct CCommand {
    int (*run)(const CArguments&);
    const char* usage;
};

const std::map<std::string, CCommand>& CommandTable()
{
    static const std::map<std::string, CCommand> table = {
        {"start", {CommandStart, "start                 create the data folder, seed and load the subscriptions"}},
        {"feed", {CommandFeed, "feed FILE             parse a feed document"}},
        {"opml", {CommandOpml, "opml FILE             load a subscription (OPML) file"}},
        {"opml-save", {CommandOpmlSave, "opml-save IN OUT      load IN and save it as OUT"}},
        {"date", {CommandDate, "date TEXT             read a date text"}},
        {"w3cdate", {CommandW3cDate, "w3cdate TEXT          read a W3C (ISO 8601) date text"}},
        {"strip", {CommandStrip, "strip TEXT            remove markup from a text"}},
        {"decode", {CommandDecode, "decode TEXT           decode the basic entities of a text"}},
        {"settings", {CommandSettings, "settings              show every option, stored and mapped"}},
        {"set", {CommandSet, "set NAME VALUE        change one option (LastUpdated takes \"now\")"}},
        {"feeds", {CommandFeeds, "feeds                 list the stored feeds"}},
        {"pages", {CommandPages, "pages URL             list the stored pages of a feed, newest first"}},
        {"cleanup", {CommandCleanup, "cleanup               drop feeds left out of the tree, trim every feed"}},
        {"mark", {CommandMark, "mark URL KEY STATE    set a page read, unread or delete it"}},
        {"add-feed", {CommandAddFeed, "add-feed URL TITLE    store a new feed's record"}},
        {"merge", {CommandMerge, "merge URL FILE        merge a feed document into a stored feed"}},
        {"fetch", {CommandFetch, "fetch URL FILE [--timeout MS]  download URL into FILE as a feed is"}},
        {"update", {CommandUpdate, "update [--feed URL] [--timeout MS]  update every feed of the subscriptions, or one"}},
        {"notify", {CommandNotify, "notify sync-end|net-disconnect  raise the event the reader watches"}},
    };
    return table;
}

void PrintHelp()
{
    std::puts("Usage: rssreader-tool COMMAND [ARGUMENTS]\n"
              "Prints one JSON value on stdout. Exit codes:\n"
              "  0    done (update: every feed updated)\n"
              "  1    nothing to show (prints null), or fetch got no document\n"
              "  2    wrong use; update: no connection\n"
              "  3    update finished, but some feed failed\n"
              "  4    the store or the options could not be opened or written\n"
              "  5    update: another update of the same data folder is running\n"
              "  130  update cancelled with Ctrl-C\n\nCommands:");
    for (const auto& [name, command] : CommandTable())
        std::printf("  %s\n", command.usage);
    std::puts("\nData live in $XDG_DATA_HOME/RSSReader, options in\n"
              "$XDG_CONFIG_HOME/RSSReader/registry.reg. RSSREADER_DEBUG=0 silences\n"
              "the debug lines on stderr.");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintHelp();
        return argc < 2 ? kExitUsage : kExitDone;
    }
    const auto command = CommandTable().find(argv[1]);
    if (command == CommandTable().end())
        return UsageError(std::string("unknown command ") + argv[1]);
    const int result = command->second.run(CArguments(argv + 2, argv + argc));
    // The databases are flushed and closed as at the reader's shutdown.
    CZelviaRssItemDB::DestroyInstance();
    CZelviaRssDB::DestroyInstance();
    return result;
}
