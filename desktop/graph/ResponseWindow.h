// The response window (View menu): the curves of both channels on one
// resizable graph with the page graph's grid, redrawn whenever the model
// changes, and exported as PNG or SVG pictures and as CSV points. Its
// tuning row adds measurements and fits the PEQ bands (TuningBar.h).
#pragma once

#include <QWidget>

class CTuningBar;

class CResponseWindow : public QWidget {
    Q_OBJECT
public:
    explicit CResponseWindow(QWidget* parent = nullptr);

    // The graph itself, without the buttons.
    QWidget* Graph() const { return graph_; }
    CTuningBar* Tuning() const { return tuning_; }

    // The exports of the present setting; the pictures at the graph's
    // present size. False when the file cannot be written.
    bool ExportPng(const QString& path) const;
    bool ExportSvg(const QString& path) const;
    bool ExportCsv(const QString& path) const;

private:
    using Exporter = bool (CResponseWindow::*)(const QString&) const;
    void AskAndExport(const QString& caption, const QString& filter, const QString& suffix, Exporter exporter);

    QWidget* graph_ = nullptr;
    CTuningBar* tuning_ = nullptr;
};
