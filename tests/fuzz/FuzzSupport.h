#pragma once
// What both harnesses share: the parsers take a path, not bytes, so every
// input goes through one scratch file per fuzzing process (parallel jobs
// each get their own), removed again when the process ends normally.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "platform/Unicode.h"

namespace fuzz {

inline std::string& ScratchPath()
{
    static std::string path;
    return path;
}

inline void RemoveScratch()
{
    if (!ScratchPath().empty())
        ::unlink(ScratchPath().c_str());
}

// Called from LLVMFuzzerInitialize.
inline void Initialise(const char* name)
{
    // The core's debug lines would drown the fuzzer's own output.
    ::setenv("RSSREADER_DEBUG", "0", 1);
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + name + "-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        std::perror("mkstemp");
        std::abort();
    }
    ::close(fd);
    ScratchPath() = pattern;
    std::atexit(RemoveScratch);
}

// Harnesses that reach the store or the options get a home of their own,
// so that fuzzing never touches the user's data. Called from
// LLVMFuzzerInitialize, before anything opens a store.
inline void UsePrivateHome(const char* name)
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + name + "-home-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    ::setenv("HOME", pattern.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (pattern + "/data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (pattern + "/cache").c_str(), 1);
    ::setenv("XDG_DOCUMENTS_DIR", (pattern + "/documents").c_str(), 1);
}

// The input as the file's whole content; the wide path to hand the parser.
inline std::wstring WriteScratch(const std::uint8_t* data, size_t size)
{
    std::FILE* file = std::fopen(ScratchPath().c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0) {
        std::perror(ScratchPath().c_str());
        std::abort();
    }
    return Utf8ToWide(ScratchPath());
}

// Every text the core hands out went through Utf8ToWide, which promises
// Unicode scalar values only: ill-formed input must have become U+FFFD.
inline bool IsScalarText(const std::wstring& text)
{
    for (wchar_t ch : text) {
        const auto value = static_cast<std::uint32_t>(ch);
        if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
    }
    return true;
}

// A broken promise is a finding like a crash: report it and stop so that
// libFuzzer saves the input.
inline void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

} // namespace fuzz
