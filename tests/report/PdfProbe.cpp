#include "tests/report/PdfProbe.h"

#include <cstdio>
#include <sstream>

namespace {

// The standard output of a shell command; its error output is dropped.
std::string Output(const std::string& command, int& status)
{
    std::string out;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        status = -1;
        return out;
    }
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, read);
    status = pclose(pipe);
    return out;
}

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

// The value after "Key:" on its line of pdfinfo's report, blanks trimmed.
std::string Field(const std::string& report, const std::string& key)
{
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(key + ":", 0) != 0) continue;
        const std::size_t start = line.find_first_not_of(' ', key.size() + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return {};
}

}  // namespace

PdfFacts ReadPdfFacts(const std::string& path)
{
    int status = 0;
    const std::string report = Output(std::string(QUENBAR_PDFINFO) + " " + Quoted(path), status);
    PdfFacts facts;
    facts.opened = status == 0;
    const std::string pages = Field(report, "Pages");
    facts.pages = pages.empty() ? 0 : std::stoi(pages);
    facts.pageSize = Field(report, "Page size");
    facts.title = Field(report, "Title");
    return facts;
}

std::string PdfText(const std::string& path)
{
    int status = 0;
    return Output(std::string(QUENBAR_PDFTOTEXT) + " -layout " + Quoted(path) + " -", status);
}
