#pragma once
// A scratch folder for a benchmark's files, removed with everything in it on
// every way out of main.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

class CScratchFolder {
public:
    // name: the program, used in the folder's name and in messages.
    bool Create(const char* name)
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/" + name + "-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "%s: cannot create a folder from %s: %s\n", name, pattern.c_str(),
                         std::strerror(errno));
            return false;
        }
        m_path = pattern;
        return true;
    }
    ~CScratchFolder()
    {
        std::error_code error;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, error);
    }
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};
