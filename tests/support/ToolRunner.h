#pragma once
// Runs rssreader-tool as another process would, with the test's environment,
// and collects its stdout, its stderr and its exit code.

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/wait.h>
#include <vector>

struct CToolRun {
    int exitCode = -1;
    std::string output;
    std::string errors; // stderr
    nlohmann::json Json() const { return nlohmann::json::parse(output); }
};

// input, when given, is what the tool reads on its standard input.
inline CToolRun RunRssReaderTool(const std::vector<std::string>& args, const std::string* input = nullptr)
{
    // Built by appending: "literal" + temporary string makes g++ 12 warn,
    // wrongly, of overlapping copies.
    auto appendQuoted = [](std::string& command, const std::string& text) {
        command += '\'';
        for (char c : text) {
            if (c == '\'')
                command += "'\\''";
            else
                command += c;
        }
        command += '\'';
    };
    std::string command;
    appendQuoted(command, RSSREADER_TOOL);
    for (const auto& arg : args) {
        command += ' ';
        appendQuoted(command, arg);
    }
    // stderr goes to a file of its own: read through a second pipe, a tool
    // that fills it while we wait on stdout would hang.
    std::string errorFile = (std::filesystem::temp_directory_path() / "rssreader-tool-stderr-XXXXXX").string();
    const int errorFd = mkstemp(errorFile.data());
    if (errorFd < 0)
        return CToolRun{};
    close(errorFd);
    command += " 2>";
    appendQuoted(command, errorFile);
    std::string inputFile;
    if (input != nullptr) {
        inputFile = (std::filesystem::temp_directory_path() / "rssreader-tool-stdin-XXXXXX").string();
        const int inputFd = mkstemp(inputFile.data());
        if (inputFd < 0) {
            unlink(errorFile.c_str());
            return CToolRun{};
        }
        close(inputFd);
        std::ofstream(inputFile, std::ios::binary) << *input;
        command += " <";
        appendQuoted(command, inputFile);
    }
    CToolRun result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        unlink(errorFile.c_str());
        if (!inputFile.empty())
            unlink(inputFile.c_str());
        return result;
    }
    std::array<char, 4096> buffer{};
    size_t read = 0;
    while ((read = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.output.append(buffer.data(), read);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ostringstream errors;
    errors << std::ifstream(errorFile, std::ios::binary).rdbuf();
    result.errors = errors.str();
    unlink(errorFile.c_str());
    if (!inputFile.empty())
        unlink(inputFile.c_str());
    return result;
}
