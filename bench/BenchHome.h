#pragma once
// A private home for a benchmark of the whole reader: HOME and the XDG
// folders point into a scratch folder, so the reader and its tool use a
// data folder, options and runtime folder of their own.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "ScratchFolder.h"

inline bool MakeBenchHome(CScratchFolder& scratch, const char* name)
{
    if (!scratch.Create(name))
        return false;
    for (const char* variable : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR"}) {
        const std::string folder = scratch.File(variable);
        std::filesystem::create_directories(folder);
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        setenv(variable, folder.c_str(), 1);
    }
    unsetenv("XDG_DOCUMENTS_DIR");
    setenv("LANG", "C.UTF-8", 1);
    unsetenv("LANGUAGE");
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    return true;
}

inline std::string BenchDataFolder(const CScratchFolder& scratch) { return scratch.File("XDG_DATA_HOME") + "/RSSReader"; }
