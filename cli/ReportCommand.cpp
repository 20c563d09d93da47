#include "ReportCommand.h"

#include <QFileInfo>
#include <QGuiApplication>

#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "CommandError.h"
#include "MemoryFileAccess.h"
#include "SettingsReport.h"

namespace {

struct ReportArgs {
    std::string file;
    int slot = 0;
    std::string out;
};

ReportHeading RecordHeading(const SlotRecord& record, const ReportArgs& args)
{
    const QString name = QString::fromLatin1(record.name, static_cast<qsizetype>(strnlen(record.name, kMemNameBuffer)));
    const QString memory = QStringLiteral("Memory %1").arg(args.slot);
    QString source = memory + QStringLiteral(" of ") + QFileInfo(QString::fromStdString(args.file)).fileName();
    if (record.usedByte != 1) source += QStringLiteral(" (marked empty)");
    return {name.trimmed().isEmpty() ? memory : name.trimmed(), source};
}

void WriteReport(const ReportArgs& args)
{
    const SlotRecord record = ReadSlotRecord(ReadCheckedMemoryFile(args.file), args.slot - 1);
    // The report's text needs Qt's fonts, so its GUI runs, on a platform
    // that needs no display.
    char program[] = "quenbar-cli", platformOption[] = "-platform", platform[] = "offscreen";
    char* argv[] = {program, platformOption, platform, nullptr};
    int argc = 3;
    const QGuiApplication gui(argc, argv);
    const ReportHeading heading = RecordHeading(record, args);
    if (!WriteSettingsReport(QString::fromStdString(args.out), RecordSetting(record), heading))
        throw CommandError(kExitBadInput, "Cannot write file " + args.out);
    std::cout << "Report of memory " << args.slot << " (" << heading.name.toStdString() << ") written to " << args.out
              << '\n';
}

}  // namespace

void AddReportCommand(CLI::App& app, CommandAction& action)
{
    auto args = std::make_shared<ReportArgs>();
    CLI::App* report = app.add_subcommand(
        "report", "Write the settings report of one record as a one-page PDF: its values and response graphs");
    report->add_option("FILE", args->file, "memory file (.cmf)")->required();
    report->add_option("SLOT", args->slot, "record 1..6")->required()->check(CLI::Range(1, kMemorySlots));
    report->add_option("OUT", args->out, "the PDF to write")->required();
    report->callback([&action, args] { action = [args] { WriteReport(*args); }; });
}
