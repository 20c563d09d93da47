// The proposal of an equaliser-file import or a PEQ fit before it is
// applied: the channel's three bands in units, what became of each filter
// of the file or how far the fit comes, and the curves before and after.
#pragma once

#include <QDialog>
#include <QStringList>

#include <optional>
#include <vector>

#include "ResponsePlot.h"
#include "tuning/PeqBands.h"

struct PeqProposal {
    int slot = kSlotLeftRight;
    QString title;  // "Fit PEQ", "Import PEQ filters"
    PeqBands bands;
    std::optional<int> levelStep;  // the channel's new level, when it changes
    QStringList report;
    std::vector<PlotCurve> curves;  // before and after
};

class CDlgPeqProposal : public QDialog {
    Q_OBJECT
public:
    CDlgPeqProposal(QWidget* owner, PeqProposal proposal);
    const PeqProposal& Proposal() const { return proposal_; }

private:
    QWidget* MakeBandTable();

    PeqProposal proposal_;
};

// "Peak", "Low shelf", "High shelf", with "(flat)" for a band switched flat.
QString PeqBandTypeText(const PeqBand& band);
