// The live curve on the response graph: a solid line where its coherence
// can be trusted, a faint one where it is low, none where too little was
// averaged yet; the stored trace beside it, on the live one's level as the
// comparison finds it (a measurement's level is not the live trace's). Both are moved together, so
// that the stored trace (without one, the live curve) lies at 0 dB on
// average over the fit's range. A proposal's predicted curve is drawn
// with them.
#pragma once

#include <QWidget>

#include <optional>

#include "LiveTransfer.h"
#include "response/Response.h"
#include "tuning/LevelCurveFile.h"

// The live trace at the graph's frequency steps, each step taking its
// nearest point: `trusted` where the coherence can be trusted, `faint`
// where it is known but low; NaN elsewhere.
struct LiveLevels {
    ResponseCurve trusted;
    ResponseCurve faint;
};
LiveLevels LiveLevelsOf(const LiveTrace& trace);

class LiveGraph : public QWidget {
public:
    explicit LiveGraph(QWidget* parent);
    QSize sizeHint() const override;

    // `storedOffsetDb`: how far the live trace lies above the stored one over
    // all (LevelOffset), by which the stored trace is moved to the live one's level.
    void Show(const LiveTrace& trace, double storedOffsetDb = 0.0);
    void SetStored(const std::optional<LevelCurve>& stored);
    // The live curve as a proposal would make it, at the graph's steps; nothing: none.
    void SetPredicted(const std::optional<ResponseCurve>& predicted);

    const LiveLevels& Live() const { return live_; }
    bool ShowsStored() const { return stored_.has_value(); }
    bool ShowsPredicted() const { return predicted_.has_value(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    LiveLevels live_;
    std::optional<ResponseCurve> stored_;
    double storedOffsetDb_ = 0.0;
    std::optional<ResponseCurve> predicted_;
};
