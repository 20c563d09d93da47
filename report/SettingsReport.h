// The settings report: one A4 page to hand to a colleague, with the
// setting's name and where it comes from, every value of both output
// channels as the pages show them, and both channels' response graphs.
// Written as every report is (ReportPage.h).
#pragma once

#include "ReportPage.h"

// The report of the model's setting as a PDF file's bytes; empty when it
// cannot be made.
QByteArray SettingsReportPdf(const ParameterModel& model, const ReportHeading& heading);

// Writes the report of the model's setting to path, replacing a previous
// file only once the new one is complete. False when it cannot be written.
bool WriteSettingsReport(const QString& path, const ParameterModel& model, const ReportHeading& heading);
