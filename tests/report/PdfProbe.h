// What poppler's own tools read from a PDF file: an independent reader of
// the files the program writes.
#pragma once

#include <string>

struct PdfFacts {
    bool opened = false;  // pdfinfo read the file
    int pages = 0;
    std::string pageSize;  // as pdfinfo prints it, such as kA4PageSize
    std::string title;
};

// An A4 page as pdfinfo names it (the writer rounds to whole points).
inline const std::string kA4PageSize = "595 x 842 pts (A4)";

PdfFacts ReadPdfFacts(const std::string& path);

// The text of every page, laid out as on the page (pdftotext -layout).
std::string PdfText(const std::string& path);
