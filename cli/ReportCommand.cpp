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

// The report's text needs Qt's fonts, so its GUI runs, on a platform
// that needs no display.
class ReportGui {
public:
    ReportGui() : gui_(argc_, argv_) {}

private:
    char program_[12] = "quenbar-cli", platformOption_[10] = "-platform", platform_[10] = "offscreen";
    char* argv_[4] = {program_, platformOption_, platform_, nullptr};
    int argc_ = 3;
    QGuiApplication gui_;
};

void WriteReport(const ReportArgs& args)
{
    const SlotRecord record = ReadSlotRecord(ReadCheckedMemoryFile(args.file), args.slot - 1);
    const ReportGui gui;
    const ReportHeading heading = RecordHeading(record, args);
    if (!WriteSettingsReport(QString::fromStdString(args.out), RecordSetting(record), heading))
        throw CommandError(kExitBadInput, "Cannot write file " + args.out);
    std::cout << "Report of memory " << args.slot << " (" << heading.name.toStdString() << ") written to " << args.out
              << '\n';
}

}  // namespace

std::function<std::string(const ParameterModel&, const std::string&, const std::string&)> UnitReportMaker()
{
    auto gui = std::make_shared<std::unique_ptr<ReportGui>>();
    return [gui](const ParameterModel& setting, const std::string& unit, const std::string& device) {
        if (!*gui) *gui = std::make_unique<ReportGui>();
        const ReportHeading heading{QStringLiteral("Current setting"),
                                    QStringLiteral("The unit's current setting (%1 on %2)")
                                        .arg(QString::fromStdString(unit), QString::fromStdString(device))};
        const QByteArray pdf = SettingsReportPdf(setting, heading);
        return std::string(pdf.constData(), static_cast<std::size_t>(pdf.size()));
    };
}

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
