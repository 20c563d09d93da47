// quenbar-cli report: one record of a memory file as a one-page PDF.
#include <gtest/gtest.h>

#include "tests/cli/CliRunner.h"
#include "tests/cli/MemoryFileBytes.h"
#include "tests/report/PdfProbe.h"

namespace {

TEST(CliReport, WritesOneA4PageNamedAfterTheRecord)
{
    std::array<RecordBytes, 6> records{};
    records[3].name = "Main PA";
    records[4] = {.used = 0, .name = "Spare"};
    const std::string file = TempPath("venue.cmf");
    WriteBytes(file, MemoryFileBytes(records));

    const std::string out = TempPath("memory4.pdf");
    const CliRun run = RunCli({"report", file, "4", out});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Report of memory 4 (Main PA) written to " + out + "\n");
    const PdfFacts facts = ReadPdfFacts(out);
    ASSERT_TRUE(facts.opened);
    EXPECT_EQ(facts.pages, 1);
    EXPECT_EQ(facts.pageSize, kA4PageSize);
    EXPECT_EQ(facts.title, "Main PA");
    EXPECT_NE(PdfText(out).find("Memory 4 of venue.cmf"), std::string::npos);

    // A record the file marks empty is reported as such.
    const std::string spare = TempPath("memory5.pdf");
    ASSERT_EQ(RunCli({"report", file, "5", spare}).exitCode, 0);
    EXPECT_NE(PdfText(spare).find("Memory 5 of venue.cmf (marked empty)"), std::string::npos);
}

TEST(CliReport, RefusesBadArgumentsAndUnwritableFilesWithExitCode2)
{
    const std::string file = TempPath("good.cmf");
    WriteBytes(file, MemoryFileBytes({}));
    std::vector<unsigned char> cut = MemoryFileBytes({});
    cut.resize(600);
    const std::string shortFile = TempPath("short.cmf");
    WriteBytes(shortFile, cut);

    const CliRun badFile = RunCli({"report", shortFile, "1", TempPath("a.pdf")});
    EXPECT_EQ(badFile.exitCode, 2);
    EXPECT_EQ(badFile.err, "File format error!\n" + shortFile + ": 600 of 704 bytes.\n");
    const CliRun unwritable = RunCli({"report", file, "1", "/nonexistent-folder/a.pdf"});
    EXPECT_EQ(unwritable.exitCode, 2);
    EXPECT_NE(unwritable.err.find("Cannot write file /nonexistent-folder/a.pdf"), std::string::npos);
    EXPECT_EQ(RunCli({"report", file, "7", TempPath("b.pdf")}).exitCode, 2);
    EXPECT_EQ(RunCli({"report", file, "1"}).exitCode, 2);
}

}  // namespace
