// rssreader-tool: the reader's scriptable companion. Every capability of the
// core has a command here that prints its result as one JSON value.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "Commands.h"
#include "platform/Debug.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"

namespace {

struct CCommand {
    int (*run)(const CArguments&);
    const char* usage;
};

int CommandHelp(const CArguments& args);

const std::map<std::string, CCommand>& CommandTable()
{
    static const std::map<std::string, CCommand> table = {
        {"start", {CommandStart, "start                 create the data folder, seed and load the subscriptions"}},
        {"feed", {CommandFeed, "feed FILE [--url URL] parse a feed document (as fetched from URL: relative links\n"
                               "                      resolve against it)"}},
        {"opml", {CommandOpml, "opml FILE             load a subscription (OPML) file"}},
        {"opml-save", {CommandOpmlSave, "opml-save IN OUT      load IN and save it as OUT"}},
        {"date", {CommandDate, "date TEXT             read a date text"}},
        {"w3cdate", {CommandW3cDate, "w3cdate TEXT          read a W3C (ISO 8601) date text"}},
        {"strip", {CommandStrip, "strip TEXT            remove markup from a text"}},
        {"decode", {CommandDecode, "decode TEXT           decode the basic entities of a text"}},
        {"settings", {CommandSettings, "settings              show every option: stored index, label, quantity used"}},
        {"set", {CommandSet, "set [--index] NAME VALUE  change one option (see Settings below)"}},
        {"feeds", {CommandFeeds, "feeds                 list the stored feeds"}},
        {"pages", {CommandPages, "pages URL             list the stored pages of a feed, newest first"}},
        {"cleanup", {CommandCleanup, "cleanup               drop feeds left out of the tree, trim every feed"}},
        {"mark", {CommandMark, "mark URL KEY STATE    set a page read, unread or delete it"}},
        {"store-feed", {CommandStoreFeed, "store-feed URL TITLE  store a feed record alone (not a subscription: the next clean-up\n"
                                          "                        removes it unless the tree has the feed)"}},
        {"tree", {CommandTree, "tree                  the subscription tree as the reader shows it: labels and icons"}},
        {"subscribe", {CommandSubscribe, "subscribe URL [--name NAME] [--folder PATH] [--root]\n"
                                         "                        subscribe to a feed (or a site's: the first it announces):\n"
                                         "                        checked, fetched, named from its channel"}},
        {"mkdir", {CommandMkdir, "mkdir NAME [--folder PATH]  a new folder (at the top level without --folder)"}},
        {"rename", {CommandRename, "rename PATH NAME      rename a folder or feed"}},
        {"delete", {CommandDelete, "delete PATH           delete a folder (with all inside it) or a feed, with its pages"}},
        {"mark-read", {CommandMarkRead, "mark-read PATH        mark every page of a feed, or of the feeds in a folder, read"}},
        {"mark-unread", {CommandMarkUnread, "mark-unread PATH      ... or unread"}},
        {"move", {CommandMove, "move PATH up|down [N] move an entry N steps (1) as move mode does"}},
        {"properties", {CommandProperties, "properties PATH       a feed's properties"}},
        {"import", {CommandImport, "import FILE|URL [--folder PATH]  import the feeds of an OPML file or address"}},
        {"export", {CommandExport, "export FILE           write the tree as an OPML file"}},
        {"merge", {CommandMerge, "merge URL FILE        merge a feed document into a stored feed"}},
        {"fetch", {CommandFetch, "fetch URL FILE [--timeout MS]  download URL into FILE as a feed is"}},
        {"update", {CommandUpdate, "update [--feed URL] [--timeout MS] [--automatic]  update every feed of the subscriptions, or one;\n"
                                     "                      --automatic runs it as the timer would"}},
        {"search", {CommandSearch, "search KEYWORD [--check] [--timeout MS]  the online search's candidates for a keyword;\n"
                                   "                        --check downloads each as Add does and tells which are feeds"}},
        {"discover", {CommandDiscover, "discover URL          the feeds behind an address: the address itself, the feeds its\n"
                                       "                        page announces, or a site's common feed places"}},
        {"find", {CommandFind, "find WORDS... [--limit N]  the stored pages that hold every word, newest first (200)"}},
        {"account", {CommandAccount, "account set URL USER   set up the sync account (the password on standard input, one\n"
                                     "                        line; the login is tried first) | account show | account remove"}},
        {"notify", {CommandNotify, "notify sync-end|net-disconnect  raise the event the reader watches"}},
        {"help", {CommandHelp, "help                  this text (also --help)"}},
    };
    return table;
}

void PrintHelp()
{
    std::puts("Usage: rssreader-tool [--debug] COMMAND [ARGUMENTS]\n"
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
    std::puts("\nPATH names an entry of the tree by its display names from the top level\n"
              "down, joined with \"/\"; a \"/\" inside a name is written \"//\".");
    PrintSettingsHelp();
    std::puts("\nData live in $XDG_DATA_HOME/RSSReader, options in\n"
              "$XDG_CONFIG_HOME/RSSReader/registry.reg. The debug lines go to stderr\n"
              "with --debug (before the command) or RSSREADER_DEBUG=1.");
}

int CommandHelp(const CArguments&)
{
    PrintHelp();
    return kExitDone;
}

// Debug lines would bury the tool's own messages on stderr: they are shown
// only when asked for.
bool DebugLinesRequested(bool option)
{
    const char* variable = std::getenv("RSSREADER_DEBUG");
    return option || (variable != nullptr && variable[0] != '\0' && std::strcmp(variable, "0") != 0);
}

} // namespace

int main(int argc, char** argv)
{
    const bool debug = argc > 1 && std::strcmp(argv[1], "--debug") == 0;
    const int first = debug ? 2 : 1;
    SetDebugOutputEnabled(DebugLinesRequested(debug));
    if (first >= argc || std::strcmp(argv[first], "--help") == 0 || std::strcmp(argv[first], "-h") == 0) {
        PrintHelp();
        return first >= argc ? kExitUsage : kExitDone;
    }
    const auto command = CommandTable().find(argv[first]);
    if (command == CommandTable().end())
        return UsageError(std::string("unknown command ") + argv[first]);
    const int result = command->second.run(CArguments(argv + first + 1, argv + argc));
    // The databases are flushed and closed as at the reader's shutdown.
    CZelviaRssItemDB::DestroyInstance();
    CZelviaRssDB::DestroyInstance();
    return result;
}
