// The response window (View menu): the curves of both channels on one
// resizable graph with the page graph's grid, redrawn whenever the model
// changes, and exported as PNG or SVG pictures and as CSV points.
#pragma once

#include <QWidget>

class CResponseWindow : public QWidget {
    Q_OBJECT
public:
    explicit CResponseWindow(QWidget* parent = nullptr);

    // The graph itself, without the buttons.
    QWidget* Graph() const { return graph_; }

    // The exports of the present setting; the pictures at the graph's
    // present size. False when the file cannot be written.
    bool ExportPng(const QString& path) const;
    bool ExportSvg(const QString& path) const;
    bool ExportCsv(const QString& path) const;

private:
    using Exporter = bool (CResponseWindow::*)(const QString&) const;
    void AskAndExport(const QString& caption, const QString& filter, const QString& suffix, Exporter exporter);

    QWidget* graph_ = nullptr;
};
