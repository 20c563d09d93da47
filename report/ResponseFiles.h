// The response window's exports: the plot of both channels as a PNG or SVG
// picture of a given size (the screen's look), and the points of both
// channels as CSV. Each file is written whole or not at all: an existing
// file is replaced only once the new one is complete.
#pragma once

#include <QFont>
#include <QSize>
#include <QString>

struct ParameterModel;

bool SaveResponsePng(const QString& path, const ParameterModel& model, QSize size, const QFont& font);
bool SaveResponseSvg(const QString& path, const ParameterModel& model, QSize size, const QFont& font);
bool SaveResponseCsv(const QString& path, const ParameterModel& model);
