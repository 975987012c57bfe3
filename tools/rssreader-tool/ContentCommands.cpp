// Commands over documents and texts: feeds, subscription files, dates.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Commands.h"
#include "JsonOut.h"
#include "content/DateText.h"
#include "content/FeedParser.h"
#include "content/TextUtil.h"
#include "platform/Unicode.h"
#include "resources/ResourceModule.h"
#include "store/DataStorage.h"
#include "subscriptions/OpmlFile.h"
#include "subscriptions/SubscriptionFile.h"
#include "update/Leftovers.h"

int PrintNothing()
{
    std::puts("null");
    return kExitNothing;
}

int UsageError(const std::string& message)
{
    std::fprintf(stderr, "rssreader-tool: %s (see rssreader-tool --help)\n", message.c_str());
    return kExitUsage;
}

bool CheckInputFile(const std::string& path)
{
    // The parsers say only that they got no document; the system says why.
    // Non-blocking, so that a FIFO given by mistake cannot hang the tool.
    int error = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0)
        error = errno;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    if (fd >= 0)
        ::close(fd);
    if (error != 0)
        std::fprintf(stderr, "rssreader-tool: cannot read %s: %s\n", path.c_str(), std::strerror(error));
    return error == 0;
}

namespace {

bool ExpectArguments(const CArguments& args, size_t count) { return args.size() == count; }

// What the reader says of a subscription file it cannot load.
int OpmlIncorrect()
{
    std::fprintf(stderr, "rssreader-tool: %s\n", WideToUtf8(LoadResString(IDS_OPML_INCORRECT)).c_str());
    return PrintNothing();
}

int PrintText(const std::wstring& text)
{
    PrintJson(ToUtf8(text));
    return kExitDone;
}

} // namespace

int CommandFeed(const CArguments& args)
{
    const bool withUrl = args.size() == 3 && args[1] == "--url";
    if (!withUrl && !ExpectArguments(args, 1))
        return UsageError("feed takes one FILE [--url URL]");
    if (!CheckInputFile(args[0]))
        return PrintNothing();
    const auto channel = ParseFeedFile(Utf8ToWide(args[0]), 0, withUrl ? Utf8ToWide(args[2]) : std::wstring());
    if (!channel) {
        std::fprintf(stderr, "rssreader-tool: %s holds no feed the reader can read\n", args[0].c_str());
        return PrintNothing();
    }
    PrintJson(ChannelToJson(*channel));
    return kExitDone;
}

int CommandOpml(const CArguments& args)
{
    if (!ExpectArguments(args, 1))
        return UsageError("opml takes one FILE");
    if (!CheckInputFile(args[0]))
        return PrintNothing();
    const auto doc = LoadOpmlFile(Utf8ToWide(args[0]));
    if (!doc)
        return OpmlIncorrect();
    PrintJson(OpmlToJson(*doc));
    return kExitDone;
}

int CommandOpmlSave(const CArguments& args)
{
    if (!ExpectArguments(args, 2))
        return UsageError("opml-save takes IN and OUT");
    if (!CheckInputFile(args[0]))
        return PrintNothing();
    const auto doc = LoadOpmlFile(Utf8ToWide(args[0]));
    if (!doc)
        return OpmlIncorrect();
    if (!SaveOpmlFile(*doc, Utf8ToWide(args[1]))) {
        std::fprintf(stderr, "rssreader-tool: Creating %s failed.\n", args[1].c_str());
        return PrintNothing();
    }
    PrintJson(Json{{"saved", args[1]}, {"outlines", doc->outlines.size()}});
    return kExitDone;
}

int CommandDate(const CArguments& args)
{
    if (!ExpectArguments(args, 1))
        return UsageError("date takes one TEXT");
    PrintJson(DateToJson(ParseDateText(Utf8ToWide(args[0]))));
    return kExitDone;
}

int CommandW3cDate(const CArguments& args)
{
    if (!ExpectArguments(args, 1))
        return UsageError("w3cdate takes one TEXT");
    CDateTime date = CDateTime::MakeNull(); // stays null when the text is too short to read
    ReadW3cDate(Utf8ToWide(args[0]), date);
    PrintJson(DateToJson(date));
    return kExitDone;
}

int CommandStrip(const CArguments& args)
{
    if (!ExpectArguments(args, 1))
        return UsageError("strip takes one TEXT");
    return PrintText(StripMarkup(Utf8ToWide(args[0])));
}

int CommandDecode(const CArguments& args)
{
    if (!ExpectArguments(args, 1))
        return UsageError("decode takes one TEXT");
    std::wstring text = Utf8ToWide(args[0]);
    return PrintText(DecodeBasicEntities(text));
}

int CommandStart(const CArguments& args)
{
    if (!ExpectArguments(args, 0))
        return UsageError("start takes no arguments");
    CreateFolderPath(GetDataFolder());
    if (!IsFolder(GetDataFolder()))
        return StoreError("cannot create the data folder " + ToUtf8(GetDataFolder()));
    RemoveLeftoverFiles();
    const std::wstring subscriptions = GetDataFolderFile(kSubscriptionFileName);
    CSubscriptionLock lock(subscriptions);
    PrepareDataFolder();
    const CLoadedSubscriptions loaded = LoadSubscriptionFile(subscriptions);
    PrintMessages(loaded.messages);
    Json result{{"dataFolder", ToUtf8(GetDataFolder())}, {"subscriptionFile", ToUtf8(subscriptions)}};
    result["subscriptions"] = OpmlToJson(*loaded.doc);
    result["complete"] = loaded.complete;
    PrintJson(result);
    return kExitDone;
}
